#pragma once
// The PIN at the door of the kitchen display. A device that enters it gets a session token for
// its cookie; wrong guesses from one address lock that address out for a while that doubles with
// each further wrong guess (1 s, 2 s, 4 s ... at most 5 minutes), so a four-digit PIN cannot be
// tried through in a working day. Guesses spread over many addresses meet a limit over all of
// them: after 20 wrong PINs within 10 minutes every login, from anywhere, waits 30 s after the
// last wrong one, so a network of borrowed addresses guesses no faster than about two a minute.
#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QString>

#include <deque>

namespace tavo::kds {

class PinGate {
public:
    explicit PinGate(QString pin);

    bool required() const { return !m_pin.isEmpty(); }
    // What a stored session is tied to: a new PIN lets no earlier device in.
    QByteArray pinHash() const;

    enum class Verdict { Accepted, Wrong, TooSoon };
    Verdict check(const QHostAddress &from, const QString &pin, const QDateTime &now);
    // Seconds until `from` may guess again (0: now).
    int waitSeconds(const QHostAddress &from, const QDateTime &now) const;
    // Whether the wrong guesses of all addresses have reached the limit that holds up everyone.
    bool everyoneWaits(const QDateTime &now) const;

    // A fresh random session token, and the hash under which it is kept (never the token itself).
    static QByteArray newToken();
    static QByteArray tokenHash(const QByteArray &token);

private:
    struct Failures {
        int count = 0;
        QDateTime lockedUntil;
    };
    int everyoneWaitsMs(const QDateTime &now) const;

    QString m_pin;
    QHash<QString, Failures> m_failures; // by address
    std::deque<QDateTime> m_recentFailures; // of every address, oldest first
};

} // namespace tavo::kds
