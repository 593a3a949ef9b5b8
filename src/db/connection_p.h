#pragma once
// What a connection and the recordsets it opens share inside the data layer: their state, and
// how a driver's error becomes the error the callers see. Not for use outside src/db.
#include "db/connection.h"
#include "db/connectionstring.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>
#include <QVector>

namespace tavo::db {

using namespace Qt::StringLiterals;

// The driver's own error number when it has a numeric one (SQLite, ODBC natives); PostgreSQL's
// SQLSTATE is not a number and goes into the text instead.
DbError errorFrom(const QSqlError &error, const QString &context = {});

// libpq under the PostgreSQL driver (postgresnotices.cpp); for other drivers these do nothing.
// Takes the notices of the server of `db` instead of libpq, which prints them on standard error:
// a FATAL or PANIC (the server ending the session while no statement ran) is kept in `farewell`,
// the others go to the Qt log. With a null `farewell` every notice goes to the Qt log.
void takeServerNotices(const QSqlDatabase &db, QString *farewell);
// libpq's text of the last failure on the link of `db`, on one line.
QString linkFailureText(const QSqlDatabase &db);

// ---------------------------------------------------------------------------------------------
// Recordset

struct Recordset::Impl {
    Connection::Impl *owner = nullptr; // set while rows still stream from the connection
    bool open = false;
    Cursor cursor = Cursor::ForwardOnly;
    QSqlRecord record;
    QHash<QString, int> fieldIndex; // lower-case name -> first field of that name

    bool streaming = false;
    QSqlQuery query; // streaming: stands on the current row while onRow
    bool onRow = false;

    QVector<QVector<QVariant>> rows; // buffered
    qsizetype position = 0; // buffered: -1 before the first row, rows.size() past the last

    void detach();
    void requireOpen() const
    {
        if (!open)
            throw DbError(kErrObjectClosed, u"Operation is not allowed when the object is closed."_s);
    }
    bool atRow() const { return streaming ? onRow : (position >= 0 && position < rows.size()); }
    void requireRow() const
    {
        requireOpen();
        if (!atRow())
            throw DbError(kErrNoCurrentRecord,
                u"Either BOF or EOF is True, or the current record has been deleted. "
                "Requested operation requires a current record."_s);
    }
    void requireClientCursor(const char *operation) const
    {
        requireOpen();
        if (cursor != Cursor::Client)
            throw DbError(kErrNotSupported,
                u"%1 needs a client cursor; this recordset is forward-only."_s.arg(
                    QString::fromLatin1(operation)));
    }
    int indexOf(const QString &field) const
    {
        requireOpen();
        const auto it = fieldIndex.constFind(field.trimmed().toLower());
        if (it == fieldIndex.constEnd())
            throw DbError(kErrItemNotFound,
                u"Item cannot be found in the collection corresponding to the requested name or "
                "ordinal: "_s
                    + field);
        return *it;
    }
    void checkIndex(int index) const
    {
        requireOpen();
        if (index < 0 || index >= record.count())
            throw DbError(kErrItemNotFound,
                u"Item cannot be found in the collection corresponding to the requested name or "
                "ordinal: %1"_s.arg(index));
    }
    QVariant valueAt(int index) const
    {
        checkIndex(index);
        requireRow();
        return streaming ? query.value(index) : rows[position][index];
    }
    void advanceStream()
    {
        onRow = query.next();
        if (!onRow && query.lastError().isValid())
            throw errorFrom(query.lastError());
    }
};

// ---------------------------------------------------------------------------------------------
// Connection

struct Connection::Impl {
    QString name;
    QString connectionString;
    QString baseDir;
    DriverTarget target;
    int connectionTimeout = 15;
    int commandTimeout = 30;
    bool createIfMissing = false;
    bool open = false;
    bool inTransaction = false;
    bool linkLost = false;
    QDateTime lastTry; // the last attempt to open a lost link again
    std::unique_ptr<LinkEvents> linkEvents = std::make_unique<LinkEvents>();
    Connection::StatementHook statementHook;
    QSet<Recordset::Impl *> streams;
    // What a PostgreSQL server said when it ended the session while no statement was running.
    QString serverFarewell;

    void tellLink(bool up, const QString &detail) const { emit linkEvents->changed(up, detail); }

    QSqlDatabase db() const { return QSqlDatabase::database(name, false); }
    void requireOpen() const
    {
        if (!open)
            throw DbError(kErrConnectionClosed,
                u"The connection cannot be used to perform this operation. It is "
                "either closed or invalid in this context."_s);
    }
    // The driver found the link closed by itself: PostgreSQL's reads the server's farewell while
    // it waits for notifications, between two statements.
    bool closedUnderneath() const
    {
        if (!open || target.driver == u"QSQLITE"_s)
            return false;
        const QSqlDatabase database = db();
        return database.isValid() && !database.driver()->isOpen();
    }
    // Why a link closed underneath: the server's own words when it gave them, else the driver's
    // or libpq's.
    DbError closedLinkError() const;
    void closeAll()
    {
        const auto live = streams;
        for (Recordset::Impl *rs : live)
            rs->detach();
        streams.clear();
        if (!name.isEmpty()) {
            {
                QSqlDatabase database = db();
                // A driver still held elsewhere outlives this state: it must not write into it.
                takeServerNotices(database, nullptr);
                if (database.isValid())
                    database.close();
            }
            QSqlDatabase::removeDatabase(name);
            name.clear();
        }
        open = false;
        inTransaction = false;
        serverFarewell.clear();
    }
};

} // namespace tavo::db
