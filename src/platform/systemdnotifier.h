#pragma once
// What the program tells systemd about itself, in the notification protocol of sd_notify(3): a
// datagram of "KEY=value" lines to the socket $NOTIFY_SOCKET names ("@..." for the abstract
// namespace). A unit of Type=notify waits for READY=1; with WatchdogSec= it restarts a program
// whose WATCHDOG=1 stops coming. Outside such a unit (no NOTIFY_SOCKET) nothing is sent.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

namespace tavo::platform {

class SystemdNotifier : public QObject {
    Q_OBJECT
public:
    // Reads NOTIFY_SOCKET, WATCHDOG_USEC and WATCHDOG_PID, and starts the keep-alive timer when
    // the watchdog is meant for this process.
    explicit SystemdNotifier(QObject *parent = nullptr);

    bool active() const { return !m_socket.isEmpty(); }
    // Half of the unit's WatchdogSec=, in milliseconds; 0 without a watchdog.
    int keepAliveMs() const { return m_keepAlive.interval(); }

    // READY=1: the start-up is over. Until then the keep-alive only extends the start timeout,
    // so a start-up that waits on an operator's box is not killed while its event loop turns.
    void ready();
    // STATUS=: one line for `systemctl status`.
    void setStatus(const QString &status);
    // STOPPING=1: the program is ending of its own will.
    void stopping();

    // Sends one message; false when it could not be delivered (or there is no socket).
    bool send(const QByteArray &state) const;

private:
    void keepAlive();

    QByteArray m_socket;
    quint64 m_watchdogUsec = 0;
    bool m_ready = false;
    QString m_status;
    QTimer m_keepAlive;
};

} // namespace tavo::platform
