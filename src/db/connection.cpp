#include "db/connection.h"
#include "db/connection_p.h"

#include "db/connectionstring.h"
#include "db/valuetext.h"
#include "platform/services.h"
#include "util/report.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

using namespace Qt::StringLiterals;

namespace tavo::db {

DbError errorFrom(const QSqlError &error, const QString &context)
{
    const QString code = error.nativeErrorCode().trimmed();
    bool numeric = false;
    const qint64 number = code.toLongLong(&numeric);
    QString text = error.databaseText().trimmed();
    // The PostgreSQL driver ends its text with "(SQLSTATE)", named below in full.
    if (!numeric && !code.isEmpty() && text.endsWith(u'(' + code + u')'))
        text = text.chopped(code.size() + 2).trimmed();
    const QString driverText = error.driverText().trimmed();
    if (text.isEmpty())
        text = driverText;
    else if (!driverText.isEmpty() && !text.contains(driverText))
        text += u" ("_s + driverText + u')';
    if (!numeric && !code.isEmpty())
        text += u" [SQLSTATE "_s + code + u']';
    if (!context.isEmpty())
        text = context + u": "_s + text;
    return DbError(numeric && number != 0 ? number : kGenericErrorNumber, text);
}

namespace {

// SQLSTATE classes of a broken link: 08 (connection exception) and the server's own shutdown
// (57P01 admin shutdown, 57P02 crash shutdown, 57P03 cannot connect now).
bool linkStateLost(const QString &sqlState)
{
    return sqlState.startsWith(u"08"_s) || sqlState == u"57P01"_s || sqlState == u"57P02"_s
        || sqlState == u"57P03"_s;
}

// How soon after a failed attempt a lost link is tried again.
constexpr qint64 kRetryMs = 1000;

QString nextConnectionName()
{
    static quint64 counter = 0;
    return u"tavo-db-%1"_s.arg(++counter);
}

} // namespace

// ---------------------------------------------------------------------------------------------

DbError Connection::Impl::closedLinkError() const
{
    if (!serverFarewell.isEmpty())
        return DbError(kErrConnectionClosed, serverFarewell);
    // A statement of the driver's own (a LISTEN) may have met the server's farewell.
    const QSqlDatabase database = db();
    const QSqlError driverError = database.isValid() ? database.driver()->lastError() : QSqlError();
    if (linkStateLost(driverError.nativeErrorCode().trimmed()))
        return errorFrom(driverError);
    const QString reason = linkFailureText(database);
    return DbError(
        kErrConnectionClosed, reason.isEmpty() ? u"The database server closed the connection."_s : reason);
}

Connection::Connection()
    : d(std::make_unique<Impl>())
{
}

Connection::~Connection()
{
    d->closeAll();
}

void Connection::setConnectionTimeout(int seconds)
{
    d->connectionTimeout = qMax(0, seconds);
}
void Connection::setCommandTimeout(int seconds)
{
    d->commandTimeout = qMax(0, seconds);
}
int Connection::connectionTimeout() const
{
    return d->connectionTimeout;
}
int Connection::commandTimeout() const
{
    return d->commandTimeout;
}
void Connection::setCreateIfMissing(bool create)
{
    d->createIfMissing = create;
}

void Connection::open(const QString &connectionString, const QString &baseDir)
{
    d->closeAll();
    d->connectionString = connectionString;
    d->baseDir = baseDir;
    d->target = DriverTarget {};
    const DriverTarget target
        = translateConnectionString(connectionString, d->connectionTimeout, baseDir, installedOdbcDrivers());
    d->target = target;

    if (!QSqlDatabase::isDriverAvailable(target.driver))
        throw DbError(kErrProviderNotFound,
            u"The Qt SQL driver %1 for %2 is not installed"_s.arg(target.driver, target.provider));
    if (target.sqliteFile && !d->createIfMissing && !QFileInfo(target.databaseName).isFile())
        throw DbError(kErrBadConnectionString, u"The database file does not exist: "_s + target.databaseName);

    const QString name = nextConnectionName();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(target.driver, name);
        db.setDatabaseName(target.databaseName);
        if (!target.hostName.isEmpty())
            db.setHostName(target.hostName);
        if (target.port > 0)
            db.setPort(target.port);
        if (!target.userName.isEmpty())
            db.setUserName(target.userName);
        if (!target.password.isEmpty())
            db.setPassword(target.password);
        db.setConnectOptions(target.connectOptions);
        if (!db.open()) {
            const DbError error
                = errorFrom(db.lastError(), u"Cannot open the %1 connection"_s.arg(target.provider));
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            throw error;
        }
    }
    d->name = name;
    d->open = true;
    d->linkLost = false;
    takeServerNotices(d->db(), &d->serverFarewell);
    try {
        QSqlDatabase db = d->db();
        QSqlQuery q(db);
        if (target.driver == u"QSQLITE"_s && target.sqliteFile) {
            // Readers and the POS writer do not block each other in WAL mode. A file system that
            // cannot hold the WAL keeps the old journal, which still works.
            q.exec(u"PRAGMA journal_mode=WAL"_s);
        } else if (target.driver == u"QPSQL"_s || db.driver()->dbmsType() == QSqlDriver::PostgreSQL) {
            // A backslash in a value must never end a literal, whatever the server's default;
            // the same server reached through ODBC reads literals the same way.
            if (!q.exec(u"SET standard_conforming_strings = on"_s))
                throw errorFrom(q.lastError());
            // The command timeout is told to the native driver here; ODBC has a timeout of its own.
            if (target.driver == u"QPSQL"_s && d->commandTimeout > 0
                && !q.exec(u"SET statement_timeout = %1"_s.arg(qint64(d->commandTimeout) * 1000)))
                throw errorFrom(q.lastError());
        }
    } catch (...) {
        d->closeAll();
        throw;
    }
}

void Connection::reopen()
{
    const QString cs = d->connectionString, dir = d->baseDir;
    open(cs, dir);
}

void Connection::close()
{
    d->closeAll();
    d->linkLost = false;
}

LinkEvents &Connection::linkEvents()
{
    return *d->linkEvents;
}

bool Connection::linkLost() const
{
    return d->linkLost || d->closedUnderneath();
}

void Connection::setStatementHook(StatementHook hook)
{
    d->statementHook = std::move(hook);
}

void Connection::afterStatement(const QString &sql) const
{
    // A copy: the hook may replace itself.
    if (const StatementHook hook = d->statementHook)
        hook(sql);
}

void Connection::requireLink()
{
    if (d->closedUnderneath()) {
        // A transaction's work is gone with its link: its statement fails, and the first one
        // after it opens the link again.
        if (d->inTransaction)
            throw d->closedLinkError();
        replaceLostLink(d->closedLinkError());
        return;
    }
    if (d->open || !d->linkLost) {
        d->requireOpen();
        return;
    }
    // A server out of reach (not refusing) costs the whole connect timeout: the statements of
    // one cycle share an attempt rather than each waiting it out.
    const QDateTime now = platform::services().clock->now();
    if (d->lastTry.isValid() && now >= d->lastTry && d->lastTry.msecsTo(now) < kRetryMs)
        throw DbError(
            kErrConnectionClosed, u"The link to the database is lost; it is tried again shortly."_s, true);
    d->lastTry = now;
    try {
        reopen();
    } catch (const DbError &e) {
        throw DbError(e.number(), e.description(), true);
    }
    d->linkLost = false;
    d->tellLink(true, {});
}

void Connection::replaceLostLink(const DbError &lostBy)
{
    // The drivers' texts run over several lines; the loss is told on one.
    const QString reason = lostBy.description().simplified();
    try {
        reopen();
    } catch (...) {
        // Closed now, and so known lost: the next statement opens it again.
        d->linkLost = true;
        d->lastTry = platform::services().clock->now();
        QString outage = reason;
        if (const ErrorInfo failed = errorInFlight(); !failed.description.isEmpty())
            outage += u"; "_s + failed.description.simplified();
        d->tellLink(false, outage);
        throw DbError(lostBy.number(), outage);
    }
    d->tellLink(false, reason);
    d->tellLink(true, {});
}

bool Connection::isOpen() const
{
    return d->open && d->db().isOpen();
}

QString Connection::connectionString() const
{
    return d->connectionString;
}
QString Connection::provider() const
{
    return d->target.provider;
}
QString Connection::dataSource() const
{
    return d->target.dataSource;
}
QString Connection::driverName() const
{
    return d->target.driver;
}

QSqlDatabase Connection::database() const
{
    d->requireOpen();
    return d->db();
}

void Connection::run(QSqlQuery &q, const QString &sql)
{
    if (q.exec(sql))
        return;
    const QSqlError failure = q.lastError();
    // A file database has no link to lose, and a transaction's work is gone with its link.
    if (d->target.sqliteFile || d->target.driver == u"QSQLITE"_s || d->inTransaction)
        throw errorFrom(failure);
    bool lost = linkStateLost(failure.nativeErrorCode().trimmed()) || d->closedUnderneath();
    if (!lost) {
        // Drivers do not always name the cause: a connection that cannot answer the simplest
        // query is gone, while a statement error leaves it answering.
        QSqlQuery probe(d->db());
        const bool oracle = d->db().driver()->dbmsType() == QSqlDriver::Oracle;
        lost = !probe.exec(oracle ? u"SELECT 1 FROM DUAL"_s : u"SELECT 1"_s);
    }
    if (!lost)
        throw errorFrom(failure);
    const bool forwardOnly = q.isForwardOnly();
    const QSql::NumericalPrecisionPolicy precision = q.numericalPrecisionPolicy();
    q = QSqlQuery(); // lets go of the old link before it is removed
    const DbError lostBy = errorFrom(failure);
    replaceLostLink(lostBy.description().isEmpty() ? d->closedLinkError() : lostBy);
    q = QSqlQuery(d->db());
    q.setForwardOnly(forwardOnly);
    q.setNumericalPrecisionPolicy(precision);
    if (!q.exec(sql))
        throw errorFrom(q.lastError());
}

int Connection::execute(const QString &sql)
{
    requireLink();
    QSqlQuery q(d->db());
    q.setForwardOnly(true);
    run(q, sql);
    afterStatement(sql);
    if (q.isSelect())
        return -1;
    return q.numRowsAffected();
}

Recordset Connection::openRecordset(const QString &sql, Cursor cursor)
{
    requireLink();
    Recordset rs;
    Recordset::Impl &r = *rs.d;
    QSqlQuery q(d->db());
    q.setForwardOnly(true);
    q.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    run(q, sql);
    afterStatement(sql);
    if (!q.isSelect())
        return rs; // closed, as ADO gives for a statement without rows
    r.open = true;
    r.cursor = cursor;
    r.record = q.record();
    for (int i = 0; i < r.record.count(); ++i) {
        const QString key = r.record.fieldName(i).toLower();
        if (!r.fieldIndex.contains(key))
            r.fieldIndex.insert(key, i);
    }
    // Only SQLite streams: the server drivers cannot run a second statement on the connection
    // while rows of the first are still pending (the reports query inside their loops).
    if (cursor == Cursor::ForwardOnly && d->target.driver == u"QSQLITE"_s) {
        r.streaming = true;
        r.query = std::move(q);
        r.advanceStream();
        r.position = r.onRow ? 0 : -1;
        if (r.onRow) {
            r.owner = d.get();
            d->streams.insert(&r);
        } else {
            r.query.finish();
        }
        return rs;
    }
    const int fields = r.record.count();
    while (q.next()) {
        QVector<QVariant> row(fields);
        for (int i = 0; i < fields; ++i)
            row[i] = q.value(i);
        r.rows.append(std::move(row));
    }
    if (q.lastError().isValid())
        throw errorFrom(q.lastError());
    r.position = 0;
    return rs;
}

QVariant Connection::insertReturningKey(const QString &insert, const QString &keyColumn)
{
    requireLink();
    const QSqlDriver::DbmsType dbms = d->db().driver()->dbmsType();
    QString sql = insert;
    bool keyInResult = false;
    if (dbms == QSqlDriver::PostgreSQL) {
        sql += u" RETURNING "_s + keyColumn;
        keyInResult = true;
    } else if (dbms == QSqlDriver::MSSqlServer) {
        static const QRegularExpression values(
            u"\\)\\s*VALUES\\s*\\("_s, QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch m = values.match(sql);
        if (!m.hasMatch())
            throw DbError(kGenericErrorNumber, u"Not an INSERT of one row: "_s + insert);
        sql.insert(m.capturedStart() + 1, u" OUTPUT INSERTED."_s + keyColumn);
        keyInResult = true;
    }
    QSqlQuery q(d->db());
    q.setForwardOnly(true);
    run(q, sql);
    afterStatement(sql);
    QVariant key;
    if (keyInResult) {
        if (q.next())
            key = q.value(0);
    } else {
        key = q.lastInsertId();
    }
    if (!key.isValid() || key.isNull())
        throw DbError(kGenericErrorNumber, u"The database gave no key for the new row: "_s + insert);
    return key;
}

void Connection::beginTrans()
{
    requireLink();
    if (!d->db().transaction())
        throw errorFrom(d->db().lastError(), u"BeginTrans"_s);
    d->inTransaction = true;
}

void Connection::commitTrans()
{
    d->requireOpen();
    d->inTransaction = false;
    if (d->closedUnderneath())
        throw DbError(kErrConnectionClosed, u"CommitTrans: "_s + d->closedLinkError().description());
    if (!d->db().commit())
        throw errorFrom(d->db().lastError(), u"CommitTrans"_s);
}

void Connection::rollbackTrans()
{
    d->requireOpen();
    d->inTransaction = false;
    if (d->closedUnderneath())
        throw DbError(kErrConnectionClosed, u"RollbackTrans: "_s + d->closedLinkError().description());
    if (!d->db().rollback())
        throw errorFrom(d->db().lastError(), u"RollbackTrans"_s);
}

Transaction::Transaction(Connection &connection)
    : m_connection(connection)
{
    m_connection.beginTrans();
}

Transaction::~Transaction()
{
    if (!m_open)
        return;
    try {
        m_connection.rollbackTrans();
    } catch (...) {
    }
}

void Transaction::commit()
{
    m_connection.commitTrans();
    m_open = false;
}

QString linkEventLine(bool up, const QString &detail)
{
    return up ? u"資料庫連線恢復"_s : u"資料庫連線中斷: "_s + detail;
}

Connection &gCNT()
{
    // Never destroyed by the C++ runtime: the SQL driver plugins are gone by then. The
    // application's own end closes it while the drivers are still loaded.
    static Connection *const connection = [] {
        auto *c = new Connection;
        // The text log says when the service lost its database and when it had it back.
        QObject::connect(&c->linkEvents(), &LinkEvents::changed,
            [](bool up, const QString &detail) { WriteLog(linkEventLine(up, detail)); });
        if (QCoreApplication::instance())
            qAddPostRoutine([] { gCNT().close(); });
        return c;
    }();
    return *connection;
}

} // namespace tavo::db
