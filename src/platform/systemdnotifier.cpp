#include "platform/systemdnotifier.h"

#include <cstddef>
#include <cstring>
#include <limits>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tavo::platform {

SystemdNotifier::SystemdNotifier(QObject *parent)
    : QObject(parent)
    , m_socket(qgetenv("NOTIFY_SOCKET"))
{
    bool ok = false;
    const quint64 usec = qEnvironmentVariable("WATCHDOG_USEC").toULongLong(&ok);
    // A watchdog set for another process (a parent that started us) is not ours to feed.
    const QByteArray pid = qgetenv("WATCHDOG_PID");
    const bool ours = pid.isEmpty() || pid.toLongLong() == qint64(::getpid());
    if (!active() || !ok || usec == 0 || !ours)
        return;
    m_watchdogUsec = usec;
    // Twice per period, as sd_watchdog_enabled(3) advises: one late tick is no restart.
    m_keepAlive.setInterval(int(qBound<quint64>(1, usec / 2000, std::numeric_limits<int>::max())));
    connect(&m_keepAlive, &QTimer::timeout, this, &SystemdNotifier::keepAlive);
    m_keepAlive.start();
}

void SystemdNotifier::ready()
{
    m_ready = true;
    send("READY=1");
}

void SystemdNotifier::setStatus(const QString &status)
{
    // One line: a line break would start another assignment.
    QString line = status;
    line.replace(u'\n', u' ');
    if (line == m_status)
        return;
    m_status = line;
    send("STATUS=" + line.toUtf8());
}

void SystemdNotifier::stopping()
{
    send("STOPPING=1");
}

void SystemdNotifier::keepAlive()
{
    if (m_ready)
        send("WATCHDOG=1");
    else
        send("EXTEND_TIMEOUT_USEC=" + QByteArray::number(m_watchdogUsec));
}

bool SystemdNotifier::send(const QByteArray &state) const
{
    sockaddr_un address {};
    if (m_socket.isEmpty() || size_t(m_socket.size()) >= sizeof(address.sun_path))
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, m_socket.constData(), size_t(m_socket.size()));
    if (address.sun_path[0] == '@')
        address.sun_path[0] = '\0';
    const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(m_socket.size()));
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    // Never waits: a manager that reads its socket late (its queue holds ten datagrams) must not
    // stop the service's event loop, and a keep-alive it misses is followed by the next one.
    const ssize_t sent = ::sendto(fd, state.constData(), size_t(state.size()), MSG_NOSIGNAL | MSG_DONTWAIT,
        reinterpret_cast<const sockaddr *>(&address), length);
    ::close(fd);
    return sent == state.size();
}

} // namespace tavo::platform
