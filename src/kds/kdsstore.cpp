#include "kds/kdsstore.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <atomic>

using namespace Qt::StringLiterals;

namespace tavo::kds {

namespace {

const QString kStamp = u"yyyy/MM/dd hh:mm:ss"_s;

QString nextConnectionName()
{
    static std::atomic<int> serial { 0 };
    return u"tavo_kds_%1"_s.arg(++serial);
}

} // namespace

KdsStore::KdsStore(const QString &filePath)
    : m_connectionName(nextConnectionName())
{
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, m_connectionName);
    db.setDatabaseName(filePath);
    if (!db.open()) {
        m_error = db.lastError().text();
        return;
    }
    m_ok
        = exec(
              u"CREATE TABLE IF NOT EXISTS Bumps (Id INTEGER PRIMARY KEY AUTOINCREMENT, KPort TEXT NOT NULL, "
              u"OrderPID TEXT NOT NULL, UpToRNo INTEGER NOT NULL, BumpedAt TEXT NOT NULL)"_s)
        && exec(u"CREATE INDEX IF NOT EXISTS IX_Bumps_KPort ON Bumps (KPort, Id)"_s)
        && exec(u"CREATE TABLE IF NOT EXISTS CrossOffs (KPort TEXT NOT NULL, RNo INTEGER NOT NULL, "
                u"CrossedAt TEXT NOT NULL, PRIMARY KEY (KPort, RNo))"_s)
        && exec(
            u"CREATE TABLE IF NOT EXISTS DoneItems (KPort TEXT NOT NULL, RNo INTEGER NOT NULL, "
            u"OrderPID TEXT NOT NULL, Dish TEXT NOT NULL, OrderedAt TEXT NOT NULL, PRIMARY KEY (KPort, RNo))"_s)
        && exec(u"CREATE TABLE IF NOT EXISTS Sessions (TokenHash BLOB PRIMARY KEY, PinHash BLOB NOT NULL, "
                u"CreatedAt TEXT NOT NULL)"_s);
}

KdsStore::~KdsStore()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

bool KdsStore::exec(const QString &sql, const QVariantList &values) const
{
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    if (!q.prepare(sql)) {
        m_error = q.lastError().text();
        return false;
    }
    for (const QVariant &v : values)
        q.addBindValue(v);
    if (!q.exec()) {
        m_error = q.lastError().text();
        return false;
    }
    return true;
}

bool KdsStore::bump(const QString &port, const QString &orderPID, qint64 upToRNo, const QDateTime &at)
{
    return m_ok
        && exec(u"INSERT INTO Bumps (KPort, OrderPID, UpToRNo, BumpedAt) VALUES (?, ?, ?, ?)"_s,
            { port, orderPID, upToRNo, at.toString(kStamp) });
}

QHash<QString, qint64> KdsStore::bumpedUpTo(const QString &port) const
{
    QHash<QString, qint64> upTo;
    if (!m_ok)
        return upTo;
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.prepare(u"SELECT OrderPID, MAX(UpToRNo) FROM Bumps WHERE KPort = ? GROUP BY OrderPID"_s);
    q.addBindValue(port);
    if (!q.exec()) {
        m_error = q.lastError().text();
        return upTo;
    }
    while (q.next())
        upTo.insert(q.value(0).toString(), q.value(1).toLongLong());
    return upTo;
}

std::optional<QString> KdsStore::recall(
    const QString &port, const std::function<bool(const QString &orderPID, qint64 upTo)> &showsAgain)
{
    if (!m_ok)
        return std::nullopt;
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.prepare(u"SELECT Id, OrderPID, UpToRNo FROM Bumps WHERE KPort = ? ORDER BY Id DESC"_s);
    q.addBindValue(port);
    if (!q.exec()) {
        m_error = q.lastError().text();
        return std::nullopt;
    }
    while (q.next()) {
        const QString orderPID = q.value(1).toString();
        if (!showsAgain(orderPID, q.value(2).toLongLong()))
            continue;
        const qint64 id = q.value(0).toLongLong();
        q.finish();
        if (!exec(u"DELETE FROM Bumps WHERE Id = ?"_s, { id }))
            return std::nullopt;
        return orderPID;
    }
    return std::nullopt;
}

QList<Bump> KdsStore::bumpsBetween(const QString &port, const QDateTime &from, const QDateTime &to) const
{
    QList<Bump> bumps;
    if (!m_ok)
        return bumps;
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.prepare(u"SELECT Id, OrderPID, UpToRNo, BumpedAt FROM Bumps WHERE KPort = ? AND BumpedAt >= ? "
              u"AND BumpedAt < ? ORDER BY Id"_s);
    q.addBindValue(port);
    q.addBindValue(from.toString(kStamp));
    q.addBindValue(to.toString(kStamp));
    if (!q.exec()) {
        m_error = q.lastError().text();
        return bumps;
    }
    while (q.next())
        bumps.append({ q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toLongLong(),
            QDateTime::fromString(q.value(3).toString(), kStamp) });
    return bumps;
}

bool KdsStore::crossOff(const QString &port, qint64 rno, const QDateTime &at)
{
    // A second display crossing the same item keeps the first one's time.
    return m_ok
        && exec(u"INSERT OR IGNORE INTO CrossOffs (KPort, RNo, CrossedAt) VALUES (?, ?, ?)"_s,
            { port, rno, at.toString(kStamp) });
}

bool KdsStore::uncrossOff(const QString &port, qint64 rno)
{
    return m_ok && exec(u"DELETE FROM CrossOffs WHERE KPort = ? AND RNo = ?"_s, { port, rno });
}

QSet<qint64> KdsStore::crossedOff(const QString &port) const
{
    QSet<qint64> rows;
    if (!m_ok)
        return rows;
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.prepare(u"SELECT RNo FROM CrossOffs WHERE KPort = ?"_s);
    q.addBindValue(port);
    if (!q.exec()) {
        m_error = q.lastError().text();
        return rows;
    }
    while (q.next())
        rows.insert(q.value(0).toLongLong());
    return rows;
}

void KdsStore::forgetBefore(const QDateTime &when)
{
    if (!m_ok)
        return;
    exec(u"DELETE FROM Bumps WHERE BumpedAt < ?"_s, { when.toString(kStamp) });
    exec(u"DELETE FROM CrossOffs WHERE CrossedAt < ?"_s, { when.toString(kStamp) });
    exec(u"DELETE FROM DoneItems WHERE OrderedAt < ?"_s, { when.toString(kStamp) });
}

bool KdsStore::addSession(const QByteArray &tokenHash, const QByteArray &pinHash, const QDateTime &at)
{
    return m_ok
        && exec(u"INSERT OR REPLACE INTO Sessions (TokenHash, PinHash, CreatedAt) VALUES (?, ?, ?)"_s,
            { tokenHash, pinHash, at.toString(kStamp) });
}

bool KdsStore::hasSession(const QByteArray &tokenHash, const QByteArray &pinHash) const
{
    if (!m_ok)
        return false;
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.prepare(u"SELECT 1 FROM Sessions WHERE TokenHash = ? AND PinHash = ?"_s);
    q.addBindValue(tokenHash);
    q.addBindValue(pinHash);
    return q.exec() && q.next();
}

bool KdsStore::forgetSessions()
{
    return m_ok && exec(u"DELETE FROM Sessions"_s);
}

// ---- Reading the bumps back

namespace {

// A stamp as written by bump(), read by position: a day's bumps are tens of thousands of rows,
// and Qt's parser of formats takes longer than the query.
QDateTime wallClockStamp(const QString &text)
{
    const auto number = [&](qsizetype at, qsizetype size) { return QStringView(text).mid(at, size).toInt(); };
    if (text.size() != kStamp.size())
        return {};
    const QDate date(number(0, 4), number(5, 2), number(8, 2));
    const QTime time(number(11, 2), number(14, 2), number(17, 2));
    return date.isValid() && time.isValid() ? QDateTime(date, time, Qt::UTC) : QDateTime();
}

} // namespace

std::optional<QList<speed::Bump>> KdsStore::bumpsSince(const QString &port, const QDateTime &from) const
{
    if (!m_ok)
        return std::nullopt;
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.setForwardOnly(true);
    // The stamps sort as text in the order of the times they name.
    q.prepare(
        u"SELECT OrderPID, UpToRNo, BumpedAt FROM Bumps WHERE KPort = ? AND BumpedAt >= ? ORDER BY Id"_s);
    q.addBindValue(port);
    q.addBindValue(from.toString(kStamp));
    if (!q.exec()) {
        m_error = q.lastError().text();
        return std::nullopt;
    }
    QList<speed::Bump> bumps;
    while (q.next())
        bumps.append(
            { q.value(0).toString(), q.value(1).toLongLong(), wallClockStamp(q.value(2).toString()) });
    return bumps;
}

QHash<qint64, QDateTime> KdsStore::crossedOffSince(const QString &port, const QDateTime &from) const
{
    QHash<qint64, QDateTime> items;
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.setForwardOnly(true);
    q.prepare(u"SELECT RNo, CrossedAt FROM CrossOffs WHERE KPort = ? AND CrossedAt >= ?"_s);
    q.addBindValue(port);
    q.addBindValue(from.toString(kStamp));
    if (!m_ok || !q.exec())
        return items;
    while (q.next())
        items.insert(q.value(0).toLongLong(), wallClockStamp(q.value(1).toString()));
    return items;
}

bool KdsStore::recordDoneItems(const QString &port, const QList<speed::OrderedItem> &items)
{
    if (!m_ok)
        return false;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    db.transaction();
    for (const speed::OrderedItem &item : items)
        if (item.orderedAt.isValid()
            && !exec(
                u"INSERT OR IGNORE INTO DoneItems (KPort, RNo, OrderPID, Dish, OrderedAt) VALUES (?, ?, ?, ?, ?)"_s,
                { port, item.rno, item.orderPID, item.dish, item.orderedAt.toString(kStamp) })) {
            db.rollback();
            return false;
        }
    return db.commit();
}

QList<speed::OrderedItem> KdsStore::doneItemsSince(const QString &port, const QDateTime &from) const
{
    QList<speed::OrderedItem> items;
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.setForwardOnly(true);
    q.prepare(u"SELECT RNo, OrderPID, Dish, OrderedAt FROM DoneItems WHERE KPort = ? AND OrderedAt >= ?"_s);
    q.addBindValue(port);
    q.addBindValue(from.toString(kStamp));
    if (!m_ok || !q.exec())
        return items;
    while (q.next())
        items.append({ q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(),
            wallClockStamp(q.value(3).toString()) });
    return items;
}

} // namespace tavo::kds
