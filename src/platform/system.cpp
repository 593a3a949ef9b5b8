#include "platform/system.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tavo::platform {

bool FileExists(const QString &path)
{
    try {
        if (path.isEmpty())
            return false;
        const QFileInfo info(path);
        return info.exists() && !info.isDir();
    } catch (...) {
        return false;
    }
}

bool DirExists(const QString &path)
{
    try {
        return !path.isEmpty() && QFileInfo(path).isDir();
    } catch (...) {
        return false;
    }
}

QString GetLogonUser()
{
    // The login name of the process's user; the environment only when the account database
    // has no entry (containers with arbitrary user ids).
    if (const passwd *pw = getpwuid(geteuid()); pw != nullptr && pw->pw_name != nullptr)
        return QString::fromLocal8Bit(pw->pw_name).left(255);
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("LOGNAME");
    return user.left(255);
}

QString GetPCName()
{
    QString name = QSysInfo::machineHostName();
    if (name.isEmpty()) {
        char buffer[256] = {};
        if (gethostname(buffer, sizeof buffer - 1) == 0)
            name = QString::fromLocal8Bit(buffer);
    }
    return name.left(255);
}

QString portDevicePath(const QString &portName)
{
    const QString name = portName.trimmed().toUpper();
    static const QRegularExpression pattern(u"^(COM|LPT)([1-9][0-9]*):?$"_s);
    const QRegularExpressionMatch m = pattern.match(name);
    if (!m.hasMatch())
        return {};
    const QString bare = m.captured(1) + m.captured(2);
    const QString overridden = qEnvironmentVariable(("TAVO_PORT_"_ba + bare.toLatin1()).constData());
    if (!overridden.isEmpty())
        return overridden;
    const int index = m.captured(2).toInt() - 1;
    return (m.captured(1) == u"COM"_s ? u"/dev/ttyS%1"_s : u"/dev/lp%1"_s).arg(index);
}

bool PortCanOpen(const QString &portName)
{
    try {
        const QString upper = portName.toUpper();
        if (!upper.startsWith(u"LPT"_s) && !upper.startsWith(u"COM"_s))
            return false;
        const QString device = portDevicePath(portName);
        if (device.isEmpty())
            return false;
        // Non-blocking: a serial line without carrier or a printer that is off must not hang the start.
        const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            return false;
        ::close(fd);
        return true;
    } catch (...) {
        return false;
    }
}

int clampWindowStyle(int windowStyle)
{
    return (windowStyle < 0 || windowStyle > 6) ? 6 : windowStyle;
}

qint64 ShellWait(const QString &commandLine, int windowStyle)
{
    clampWindowStyle(windowStyle); // kept for the callers' record: commands here have no window
    QStringList args = QProcess::splitCommand(commandLine);
    if (args.isEmpty())
        return kErrCannotStart + kUserErrorBase;
    const QString program = args.takeFirst();

    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, args, QIODevice::NotOpen);
    if (!process.waitForStarted(-1)) {
        const bool missing = process.error() == QProcess::FailedToStart
            && (program.contains(u'/') ? !QFileInfo(program).exists()
                                       : QStandardPaths::findExecutable(program).isEmpty());
        return (missing ? kErrFileNotFound : kErrCannotStart) + kUserErrorBase;
    }
    // The wait lets pending events run (timers, repaints), as a caller's window expects.
    if (process.state() != QProcess::NotRunning) {
        QEventLoop waiting;
        QObject::connect(&process, &QProcess::finished, &waiting, &QEventLoop::quit);
        waiting.exec();
    }
    if (process.exitStatus() == QProcess::CrashExit)
        return kCrashExitCode;
    return process.exitCode();
}

} // namespace tavo::platform
