#pragma once
// The database telling the service that the watched table changed, so that a new order is
// listed the moment it is committed rather than at the next cycle. The cycle runs on beside it
// and stays the service's guarantee; the wake only shortens the wait.
//
// SQLite: PRAGMA data_version on the service's own connection, a few times a second; it moves
// only when another connection commits, and asking costs a few microseconds.
// PostgreSQL: LISTEN on the channel "tavo_orderi", when the trigger of
// demo/schema/postgresql-wake.sql is installed on ORDERI; without it, nothing.
// Other sources (SQL Server and ODBC): nothing; see the README.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class QSqlDriver;

namespace tavo::db {
class Connection;
}

namespace tavo::core {

class DatabaseWake : public QObject {
    Q_OBJECT
public:
    static constexpr int kPollMs = 25;

    explicit DatabaseWake(db::Connection &cnt, QObject *parent = nullptr);

    // Starts (or keeps) watching; on a link opened anew it listens again. False when this
    // database cannot wake the service.
    bool start();
    void stop();
    // "SQLite", "PostgreSQL", or empty while not watching.
    QString source() const { return m_source; }
    // Whether a change made while the service's own statements run can go unannounced
    // (PostgreSQL hands such notices over with the statements' answers).
    bool mayMissDuringScan() const { return m_source == u"PostgreSQL"; }

signals:
    void changed();

private:
    bool listening() const;
    bool listen();
    void poll();
    void notified(const QString &name);

    db::Connection &m_cnt;
    QString m_source;
    QTimer m_poll;
    qint64 m_version = -1;
    QPointer<QSqlDriver> m_driver;
};

// The channel the trigger notifies.
QString wakeChannel();
// The statements of demo/schema/postgresql-wake.sql, one by one.
QStringList wakeTriggerStatements();
// Installs the trigger on a PostgreSQL connection; false with the reason otherwise.
bool installWakeTrigger(db::Connection &cnt, QString *error);
// Whether the trigger is on ORDERI.
bool hasWakeTrigger(db::Connection &cnt);

} // namespace tavo::core
