#pragma once
// The kitchen display's own file in the site folder (KDS.db, SQLite): the bumped orders, the items
// crossed off, each with its time, and the devices that entered the PIN. It survives a restart of the
// service, and it is the only thing the display writes: the POS tables are never touched.
#include "speed/servicetimes.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

namespace tavo::kds {

struct Bump {
    qint64 id = 0; // later bumps have higher ids
    QString orderPID;
    qint64 upTo = 0;
    QDateTime at;

    bool operator==(const Bump &) const = default;
};

class KdsStore {
public:
    // Opens or creates `filePath` on a connection of its own; ok() says whether it could.
    explicit KdsStore(const QString &filePath);
    ~KdsStore();
    KdsStore(const KdsStore &) = delete;
    KdsStore &operator=(const KdsStore &) = delete;

    bool ok() const { return m_ok; }
    QString lastError() const { return m_error; }

    // The order `orderPID` of `port` is done up to its row `upToRNo`.
    bool bump(const QString &port, const QString &orderPID, qint64 upToRNo, const QDateTime &at);
    // Per order of `port`, the highest RNo a bump has taken off.
    QHash<QString, qint64> bumpedUpTo(const QString &port) const;
    // Takes back the latest bump of `port` for which `showsAgain(orderPID, upTo)` holds (an order
    // closed since would bring nothing back); the order it brings back.
    std::optional<QString> recall(
        const QString &port, const std::function<bool(const QString &orderPID, qint64 upTo)> &showsAgain);
    // The bumps of `port` made in [from, to), oldest first.
    QList<Bump> bumpsBetween(const QString &port, const QDateTime &from, const QDateTime &to) const;

    // The item on row `rno` of `port` is made; uncrossOff() takes that back.
    bool crossOff(const QString &port, qint64 rno, const QDateTime &at);
    bool uncrossOff(const QString &port, qint64 rno);
    // The rows of `port` crossed off now.
    QSet<qint64> crossedOff(const QString &port) const;

    // Bumps and cross-offs made before `when`: their orders have long been closed.
    void forgetBefore(const QDateTime &when);

    // Devices that entered the PIN, by the hash of their session token, for as long as the PIN
    // (by its hash) stays the same.
    bool addSession(const QByteArray &tokenHash, const QByteArray &pinHash, const QDateTime &at);
    bool hasSession(const QByteArray &tokenHash, const QByteArray &pinHash) const;
    // Every device must enter the PIN again.
    bool forgetSessions();

    // ---- Reading the bumps back, for the service-time figures.
    // How long the display keeps its bumps: older orders have long been closed.
    static constexpr int kBumpKeepDays = 3;
    // The bumps of `port` made at or after `from` (a wall-clock time), oldest first; none when the
    // file could not be read (lastError() says why). A recalled bump is gone from the file, so
    // an order bumped again appears with its last bump only.
    std::optional<QList<speed::Bump>> bumpsSince(const QString &port, const QDateTime &from) const;
    // The items of `port` crossed off at or after `from`, by RNo, both as bumpsSince() has them.
    QHash<qint64, QDateTime> crossedOffSince(const QString &port, const QDateTime &from) const;
    // The items a bump or a cross-off took off the board, kept with their order time so that the
    // day's figures need no POS table; a second record of a row keeps the first.
    bool recordDoneItems(const QString &port, const QList<speed::OrderedItem> &items);
    // The items recorded for `port` ordered at or after `from` (both as bumpsSince() has them).
    QList<speed::OrderedItem> doneItemsSince(const QString &port, const QDateTime &from) const;

private:
    bool exec(const QString &sql, const QVariantList &values = {}) const;

    QString m_connectionName;
    bool m_ok = false;
    mutable QString m_error;
};

} // namespace tavo::kds
