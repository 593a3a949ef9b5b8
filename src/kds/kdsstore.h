#pragma once
// The kitchen display's own file in the site folder (KDS.db, SQLite): the bumped orders and the
// devices that entered the PIN. It survives a restart of the service, and it is the only thing
// the display writes: the POS tables are never touched.
#include <QDateTime>
#include <QHash>
#include <QString>

#include <functional>
#include <optional>

namespace tavo::kds {

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
    // Bumps made before `when`: their orders have long been closed.
    void forgetBumpsBefore(const QDateTime &when);

    // Devices that entered the PIN, by the hash of their session token, for as long as the PIN
    // (by its hash) stays the same.
    bool addSession(const QByteArray &tokenHash, const QByteArray &pinHash, const QDateTime &at);
    bool hasSession(const QByteArray &tokenHash, const QByteArray &pinHash) const;
    // Every device must enter the PIN again.
    bool forgetSessions();

private:
    bool exec(const QString &sql, const QVariantList &values = {}) const;

    QString m_connectionName;
    bool m_ok = false;
    mutable QString m_error;
};

} // namespace tavo::kds
