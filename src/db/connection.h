#pragma once
// An ADO-like connection over Qt SQL. Connection strings keep their ADO form,
//   Provider=...;Data Source=...;Initial Catalog=...;User ID=...;Password=...
// and the provider decides the Qt driver (SQLite, PostgreSQL, or ODBC for the rest).
// Failures throw DbError, to be trapped by the caller's reporter.
#include "platform/errors.h"

#include <QObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>
#include <memory>

namespace tavo::db {

// ADO's error numbers where the layer itself refuses an operation.
inline constexpr qint64 kErrNoCurrentRecord = 3021; // BOF or EOF is true
inline constexpr qint64 kErrItemNotFound = 3265; // no field of that name or ordinal
inline constexpr qint64 kErrObjectClosed = 3704; // the recordset is closed
inline constexpr qint64 kErrConnectionClosed = 3709; // the connection is closed or invalid
inline constexpr qint64 kErrNotSupported = 3251; // the cursor does not support the operation

class DbError : public TavoError {
public:
    using TavoError::TavoError;
};

enum class Cursor {
    // Only moveNext. SQLite streams the rows; the server drivers take them in at once, so that
    // other statements can run on the connection while the recordset is read.
    ForwardOnly,
    Client, // all rows held by the client; moves in both directions
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
    void moveFirst(); // Client cursor only
    void moveLast(); // Client cursor only
    int recordCount() const; // -1 for a forward-only cursor
    void close();

    int fieldCount() const; // 0 for a closed recordset
    QString fieldName(int index) const;
    // Field names compare without regard to letter case; an unknown name throws DbError.
    QVariant value(int index) const;
    QVariant value(const QString &field) const;
    bool isNull(const QString &field) const;
    bool isNull(int index) const;
    // The value as text: NULL is empty, numbers in their shortest plain form (2, 0.5),
    // dates "YYYY/MM/DD hh:mm:ss" ("YYYY/MM/DD" for a date column at midnight).
    QString text(const QString &field) const;
    QString text(int index) const;
    // The numeric value of the text, as a Basic Val() reads it: leading number, else 0.
    double number(const QString &field) const;
    double number(int index) const;

    struct Impl;

private:
    friend class Connection;
    std::unique_ptr<Impl> d;
};

// Tells when the link to the server is found lost (with the failure's text) and when it is back
// (with an empty text). Each loss is told once, however many statements meet it.
class LinkEvents : public QObject {
    Q_OBJECT
signals:
    void changed(bool up, const QString &detail);
};

// What the text log and the echo say of a link event.
QString linkEventLine(bool up, const QString &detail);

class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // Seconds; 0 means no limit. ADO's defaults: 15 to connect, 30 per command.
    void setConnectionTimeout(int seconds);
    void setCommandTimeout(int seconds);
    int connectionTimeout() const;
    int commandTimeout() const;
    // An SQLite file that does not exist is refused unless this is set (the demo creates sites);
    // otherwise a mistyped path would silently open an empty database.
    void setCreateIfMissing(bool create);
    // Opens the ADO-form connection string; a relative file name in it is taken from `baseDir`
    // (the current folder when empty). Throws DbError when it cannot.
    void open(const QString &connectionString, const QString &baseDir = {});
    // Closes and opens again with the same string, e.g. after the server went away.
    void reopen();
    // Closes the connection. Forward-only recordsets still streaming from it are closed too;
    // client-cursor recordsets keep their rows.
    void close();
    bool isOpen() const;

    LinkEvents &linkEvents();
    // The link to the server was lost (found by a statement, or by the driver while it waited
    // for the server's notifications) and is not open again yet: the next statement tries.
    bool linkLost() const;

    // Called after each statement has run and its rows were read, with the statement's text:
    // tests step in between two statements this way (a server restarted at a chosen moment).
    using StatementHook = std::function<void(const QString &sql)>;
    void setStatementHook(StatementHook hook);

    QString connectionString() const;
    QString provider() const; // as written in the string, e.g. "SQLOLEDB.1"
    QString dataSource() const; // the "Data Source" property
    QString driverName() const; // the Qt driver: "QSQLITE", "QPSQL" or "QODBC"
    // The Qt connection underneath, for prepared statements in bulk (the demo's generator).
    // Do not keep the copy beyond the life of the connection.
    QSqlDatabase database() const;

    // Runs a statement; returns the number of rows it affected (-1 for a query that returns rows).
    // A statement that fails because the link to a database server is gone (the server
    // restarted, the network dropped) is run once more on a fresh connection, outside a
    // transaction only; an error of the statement itself is never run again. While the server
    // stays away, every later statement first tries to open the link again, for as long as it
    // takes; its failure is thrown as a repeated error (ErrorInfo::repeated), the loss having
    // been reported by the statement that found it.
    int execute(const QString &sql);
    // Runs `insert`, an "INSERT INTO t (...) VALUES (...)" of one row, and returns the key the
    // database gave that row in its identity column `keyColumn`: from the statement itself
    // (RETURNING on PostgreSQL, OUTPUT on SQL Server) or the connection's last insert id, never
    // from a later look at the table, where another station's row may already stand.
    QVariant insertReturningKey(const QString &insert, const QString &keyColumn);
    // Runs a query, with the same second chance. A statement that returns no rows gives a closed
    // recordset (isOpen() false).
    Recordset openRecordset(const QString &sql, Cursor cursor = Cursor::ForwardOnly);

    void beginTrans();
    void commitTrans();
    void rollbackTrans();

    struct Impl;

private:
    // Runs `sql` on `q`; on a lost link reconnects once and runs it again on a fresh query.
    void run(QSqlQuery &q, const QString &sql);
    // Throws unless the connection is open; a lost link is opened again first.
    void requireLink();
    // Tells the loss of the link and opens it anew; throws `lostBy` (with the reconnection's own
    // failure added) when it cannot.
    void replaceLostLink(const DbError &lostBy);
    void afterStatement(const QString &sql) const;

    std::unique_ptr<Impl> d;
};

// A transaction for the length of a scope: committed by commit(), rolled back otherwise
// (a failing rollback is not reported: the error that left the scope is the one that matters).
class Transaction {
public:
    explicit Transaction(Connection &connection);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    void commit();

private:
    Connection &m_connection;
    bool m_open = true;
};

// The main connection of the process, opened at start-up.
Connection &gCNT();

} // namespace tavo::db
