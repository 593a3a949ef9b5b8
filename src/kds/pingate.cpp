#include "kds/pingate.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <algorithm>

namespace tavo::kds {

namespace {

constexpr int kMaxLockSeconds = 300;
constexpr int kFailuresBeforeEveryoneWaits = 20;
constexpr int kFailureWindowSeconds = 600;
constexpr int kEveryoneWaitsSeconds = 30;
constexpr qsizetype kMaxAddressesKept = 4096;

// Equal texts take as long to compare as unequal ones: the time of a refusal says nothing about
// how many leading digits were right.
bool sameText(const QByteArray &a, const QByteArray &b)
{
    unsigned char diff = a.size() == b.size() ? 0 : 1;
    for (qsizetype i = 0; i < std::max(a.size(), b.size()); ++i)
        diff |= (i < a.size() ? a[i] : 0) ^ (i < b.size() ? b[i] : 0);
    return diff == 0;
}

} // namespace

PinGate::PinGate(QString pin)
    : m_pin(std::move(pin))
{
}

QByteArray PinGate::pinHash() const
{
    return QCryptographicHash::hash("tavo-kds-pin:" + m_pin.toUtf8(), QCryptographicHash::Sha256);
}

bool PinGate::everyoneWaits(const QDateTime &now) const
{
    const QDateTime since = now.addSecs(-kFailureWindowSeconds);
    return std::count_if(m_recentFailures.begin(), m_recentFailures.end(), [&](const QDateTime &at) {
        return at > since;
    }) >= kFailuresBeforeEveryoneWaits;
}

int PinGate::everyoneWaitsMs(const QDateTime &now) const
{
    if (!everyoneWaits(now))
        return 0;
    return int(std::max<qint64>(0, now.msecsTo(m_recentFailures.back().addSecs(kEveryoneWaitsSeconds))));
}

int PinGate::waitSeconds(const QHostAddress &from, const QDateTime &now) const
{
    qint64 ms = everyoneWaitsMs(now);
    const auto it = m_failures.constFind(from.toString());
    if (it != m_failures.constEnd() && it->lockedUntil.isValid())
        ms = std::max(ms, now.msecsTo(it->lockedUntil));
    return ms <= 0 ? 0 : int(std::max<qint64>(1, (ms + 999) / 1000));
}

PinGate::Verdict PinGate::check(const QHostAddress &from, const QString &pin, const QDateTime &now)
{
    if (waitSeconds(from, now) > 0)
        return Verdict::TooSoon;
    const QString key = from.toString();
    if (required() && sameText(pin.trimmed().toUtf8(), m_pin.toUtf8())) {
        m_failures.remove(key);
        return Verdict::Accepted;
    }
    m_recentFailures.push_back(now);
    while (m_recentFailures.size() > kFailuresBeforeEveryoneWaits)
        m_recentFailures.pop_front();
    // Addresses by the thousand (a network's worth of them) are not all kept: those whose lock
    // ended long ago start again from one second.
    if (m_failures.size() > kMaxAddressesKept)
        m_failures.removeIf([&](const auto &entry) {
            return entry.value().lockedUntil.addSecs(kFailureWindowSeconds) < now;
        });
    Failures &f = m_failures[key];
    ++f.count;
    const int seconds = std::min(kMaxLockSeconds, 1 << std::min(f.count - 1, 9));
    f.lockedUntil = now.addSecs(seconds);
    return Verdict::Wrong;
}

QByteArray PinGate::newToken()
{
    QByteArray raw(32, Qt::Uninitialized);
    QRandomGenerator::system()->generate(
        reinterpret_cast<quint32 *>(raw.data()), reinterpret_cast<quint32 *>(raw.data() + raw.size()));
    return raw.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QByteArray PinGate::tokenHash(const QByteArray &token)
{
    return QCryptographicHash::hash(token, QCryptographicHash::Sha256);
}

} // namespace tavo::kds
