#pragma once
#include "platform/services.h"

#include <QDBusConnection>

#include <optional>

namespace tavo::platform {

// Restarts (or powers off) the machine through systemd-logind on the system bus, the way an
// unprivileged process may: polkit decides, never interactively (nobody is there to type a
// password at the restart time). The package's polkit rule grants the actions to the members of
// group "tavokportsrv"; see packaging/.
class LogindRestart : public SystemRestart {
public:
    // The system bus, taken when the restart is asked (DBUS_SYSTEM_BUS_ADDRESS names another).
    LogindRestart() = default;
    // A bus of the caller's choice: a test's private bus with a logind stand-in.
    explicit LogindRestart(const QDBusConnection &bus);

    bool restart(bool reboot, bool force, QString *error = nullptr) override;

    // logind's flags of the *WithFlags methods.
    static constexpr quint64 kRootCheckInhibitors = 1; // root too waits for the inhibitors
    static constexpr quint64 kSkipInhibitors = 1 << 4; // systemd 257 on: pass a blocking inhibitor
    // The flags of a request: a forced one asks no running program.
    static quint64 flags(bool force) { return force ? kSkipInhibitors : kRootCheckInhibitors; }

private:
    std::optional<QDBusConnection> m_bus;
};

} // namespace tavo::platform
