#pragma once
// An ADO-like connection over Qt SQL. Connection strings keep their ADO form,
//   Provider=...;Data Source=...;Initial Catalog=...;User ID=...;Password=...
// and the provider decides the Qt driver (SQLite, PostgreSQL, or ODBC for the rest).
// Failures throw DbError, to be trapped by the caller's reporter.
#include "util/errors.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <memory>

namespace tavo::db {

class DbError : public TavoError {
public:
    using TavoError::TavoError;
};

enum class Cursor {
    ForwardOnly, // rows stream from the server; only moveNext
    Client,      // all rows held by the client; moves in both directions
};

class Recordset {
public:
    Recordset();
    ~Recordset();
    Recordset(Recordset &&) noexcept;
    Recordset &operator=(Recordset &&) noexcept;

    bool isOpen() const;
    bool eof() const; // past the last row (also true for an empty result)
    bool bof() const; // before the first row
    void moveNext();
    void movePrevious(); // Client cursor only
    void moveFirst();    // Client cursor only
    void moveLast();     // Client cursor only
    int recordCount() const; // -1 for a forward-only cursor
    void close();

    int fieldCount() const;
    QString fieldName(int index) const;
    // Field names compare without regard to letter case; an unknown name throws DbError.
    QVariant value(int index) const;
    QVariant value(const QString &field) const;
    bool isNull(const QString &field) const;
    // The value as text: NULL is empty, numbers in their shortest plain form (2, 0.5),
    // dates "YYYY/MM/DD hh:mm:ss" ("YYYY/MM/DD" for a date column at midnight).
    QString text(const QString &field) const;
    QString text(int index) const;
    // The numeric value of the text, as a Basic Val() reads it: leading number, else 0.
    double number(const QString &field) const;

private:
    friend class Connection;
    struct Impl;
    std::unique_ptr<Impl> d;
};

class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    void setConnectionTimeout(int seconds);
    void setCommandTimeout(int seconds);
    // Opens the ADO-form connection string; throws DbError when it cannot.
    void open(const QString &connectionString);
    void close();
    bool isOpen() const;

    QString connectionString() const;
    QString provider() const;   // as written in the string, e.g. "SQLOLEDB.1"
    QString dataSource() const; // the "Data Source" property

    // Runs a statement; returns the number of rows it affected.
    int execute(const QString &sql);
    Recordset openRecordset(const QString &sql, Cursor cursor = Cursor::ForwardOnly);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The main connection of the process, opened at start-up.
Connection &gCNT();

} // namespace tavo::db
