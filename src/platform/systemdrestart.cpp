#include "platform/systemdrestart.h"

#include <QProcess>

using namespace Qt::StringLiterals;

namespace tavo::platform {

QStringList SystemdRestart::arguments(bool reboot, bool force)
{
    QStringList args { reboot ? u"reboot"_s : u"poweroff"_s };
    if (force)
        args << u"--force"_s;
    return args;
}

void SystemdRestart::restart(bool reboot, bool force)
{
    try {
        QProcess::startDetached(u"systemctl"_s, arguments(reboot, force));
    } catch (...) {
        // The caller cannot do anything about a refusal; the next day's time will try again.
    }
}

} // namespace tavo::platform
