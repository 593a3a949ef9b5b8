#include "core/databasewake.h"

#include "db/connection.h"
#include "util/report.h"

#include <QFile>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace tavo::core {

QString wakeChannel()
{
    return u"tavo_orderi"_s;
}

QStringList wakeTriggerStatements()
{
    QFile file(u":/sql/postgresql-wake.sql"_s);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // Statements end with ";" at the end of a line; a function body between $$ marks is one piece.
    QStringList statements;
    QString current;
    bool inBody = false;
    for (const QString &line : QString::fromUtf8(file.readAll()).split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (!inBody && (trimmed.isEmpty() || trimmed.startsWith(u"--"_s)))
            continue;
        current += line + u'\n';
        if (trimmed.count(u"$$"_s) % 2 == 1)
            inBody = !inBody;
        if (!inBody && trimmed.endsWith(u';')) {
            statements.append(current.trimmed());
            current.clear();
        }
    }
    return statements;
}

bool hasWakeTrigger(db::Connection &cnt)
{
    if (cnt.driverName() != u"QPSQL"_s)
        return false;
    return !cnt.openRecordset(
                   u"SELECT tgname FROM pg_trigger WHERE tgname = 'tavo_orderi_wake' AND tgrelid = to_regclass('orderi')"_s)
                .eof();
}

bool installWakeTrigger(db::Connection &cnt, QString *error)
{
    if (cnt.driverName() != u"QPSQL"_s) {
        if (error)
            *error = u"the wake trigger is for PostgreSQL; this database is reached through "_s
                + cnt.driverName();
        return false;
    }
    try {
        db::Transaction transaction(cnt);
        for (const QString &statement : wakeTriggerStatements())
            cnt.execute(statement);
        transaction.commit();
        return true;
    } catch (...) {
        if (error)
            *error = errorInFlight().description;
        return false;
    }
}

DatabaseWake::DatabaseWake(db::Connection &cnt, QObject *parent)
    : QObject(parent)
    , m_cnt(cnt)
{
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &DatabaseWake::poll);
}

bool DatabaseWake::start()
{
    try {
        const QString driver = m_cnt.driverName();
        if (driver == u"QSQLITE"_s) {
            if (!m_cnt.isOpen())
                return false;
            m_source = u"SQLite"_s;
            if (!m_poll.isActive()) {
                m_version = -1;
                poll();
                m_poll.start();
            }
            return true;
        }
        // A lost link is for listen() to open again; a connection closed on purpose stays so.
        if (driver != u"QPSQL"_s || !(m_cnt.isOpen() || m_cnt.linkLost()))
            return false;
        return listen();
    } catch (...) {
        m_source.clear();
        WriteErrLog(tags::DatabaseWake_start);
        return false;
    }
}

bool DatabaseWake::listening() const
{
    return m_driver && m_cnt.isOpen() && m_driver == m_cnt.database().driver()
        && m_driver->subscribedToNotifications().contains(wakeChannel());
}

bool DatabaseWake::listen()
{
    if (listening())
        return true;
    // Any statement may find the link lost and open it anew, which destroys the driver of the
    // old link: the driver is taken only after the last statement, and held by a guarded
    // pointer. A link lost between the look for the trigger and the LISTEN is opened anew by the
    // next look.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!hasWakeTrigger(m_cnt)) {
            m_source.clear();
            return false;
        }
        QSqlDriver *sql = m_cnt.database().driver();
        if (m_driver && m_driver != sql)
            disconnect(m_driver, nullptr, this, nullptr);
        m_driver = sql;
        // Queued: the driver hands notifications over from inside its own reading, and a scan run
        // there that finds the link lost would destroy the driver under it.
        connect(sql, &QSqlDriver::notification, this, &DatabaseWake::notified,
            Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection));
        if (sql->subscribeToNotification(wakeChannel())) {
            m_source = u"PostgreSQL"_s;
            return true;
        }
        if (sql->isOpen()) {
            WriteErrLog(tags::DatabaseWake_start, ErrorInfo { kGenericErrorNumber, sql->lastError().text() });
            break;
        }
    }
    m_source.clear();
    return false;
}

void DatabaseWake::stop()
{
    m_poll.stop();
    // A link that closed underneath listens to nothing any more.
    if (m_driver && m_driver->isOpen() && m_driver->subscribedToNotifications().contains(wakeChannel()))
        m_driver->unsubscribeFromNotification(wakeChannel());
    m_source.clear();
}

void DatabaseWake::notified(const QString &name)
{
    if (name == wakeChannel())
        emit changed();
}

void DatabaseWake::poll()
{
    QSqlQuery query(m_cnt.database());
    if (!query.exec(u"PRAGMA data_version"_s) || !query.next())
        return;
    const qint64 version = query.value(0).toLongLong();
    query.finish();
    if (version == m_version)
        return;
    const bool first = m_version < 0;
    m_version = version;
    if (!first)
        emit changed();
}

} // namespace tavo::core
