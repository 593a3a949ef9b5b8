#include "util/machine.h"

#include "platform/services.h"
#include "platform/system.h"
#include "util/report.h"

#include <QRegularExpression>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tavo {

void Delay(double seconds)
{
    try {
        if (!(seconds > 0))
            return;
        const double ms = std::round(seconds * 1000.0);
        platform::services().clock->sleepMs(ms > 2147483647.0 ? 2147483647 : int(ms));
    } catch (...) {
        WriteErrLog(tags::Delay);
    }
}

bool ShutdownWindows(bool restart, bool force, QString *refusal)
{
    try {
        QString reason;
        if (platform::services().restart->restart(restart, force, &reason))
            return true;
        WriteErrLog(tags::ShutdownWindows, ErrorInfo { kGenericErrorNumber, reason });
        if (refusal)
            *refusal = reason;
    } catch (...) {
        WriteErrLog(tags::ShutdownWindows);
        if (refusal)
            *refusal = errorInFlight().description;
    }
    return false;
}

QString resetComPortCommand(const QString &portName)
{
    return u"stty -F \"%1\" 9600 -parenb cs8 -cstopb"_s.arg(platform::portDevicePath(portName));
}

bool ResetComPort(const QString &portName)
{
    try {
        static const QRegularExpression accepted(u"^COM[1-6]$"_s);
        if (!accepted.match(portName).hasMatch()) {
            platform::services().prompter->ask(appTitle(), u"(ResetComPort)只能重設COM1-COM6通訊埠"_s,
                platform::BoxIcon::Warning, platform::BoxButtons::Ok);
            return false;
        }
        if (platform::ShellWait(resetComPortCommand(portName)) != 0) {
            WriteLog(u"(ResetComPort)重設COM通訊埠失敗"_s);
            return false;
        }
        return true;
    } catch (...) {
        ShowErrMsg(tags::ResetComPort);
        return false;
    }
}

} // namespace tavo
