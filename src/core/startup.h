#pragma once
// The program's entry sequence and its configuration sources: TavoC.INI, the per-user
// settings store and the business parameters of xxPARAM.
#include "db/site.h"

#include <QString>

#include <functional>

namespace tavo::platform {
class SingleInstance;
}

namespace tavo::core {

enum class StartResult {
    Started, // the service window is shown; the event loop runs the service
    AlreadyRunning, // another copy holds the instance lock: end silently
    Failed, // start-up could not go on (the reason was shown and logged)
};

// <dir>: $TAVO_HOME when set, else siteFolderFor(the folder of the program file).
QString programDir();

// The site folder of a program kept in `programFolder`: that folder, unless it cannot be written
// or is a system folder (an installed program in /usr/bin), where the site is
// ~/.local/share/TavoKPortSrv, the folder the systemd unit gives it.
QString siteFolderFor(const QString &programFolder);

// Sends what Qt and the libraries under it say (qWarning and its kin: a socket notifier, a
// driver) to the text log once the log is known, so that it stays off the operator's echo.
// Before that, and for a fatal message, Qt's own handler prints it.
void routeLibraryMessagesToLog();

// The program's site: the values start-up read, the main connection and the installed seams.
// Built by start-up and handed to the front it opens; nothing below reaches for them itself.
Site programSite();

// Runs the whole start-up, then `openWindow` (the service window) on the program's site. The
// instance lock is held by the caller for the life of the process.
StartResult Main(platform::SingleInstance &instance, const std::function<void(const Site &)> &openWindow);

// Runs the service of `site` without a window: its messages, rows and activity go to the echo.
void runHeadless(const Site &site);

// --install-wake-trigger: opens the connection of TavoC.INI and installs the wake trigger of
// demo/schema/postgresql-wake.sql there. The exit code: 0 when installed.
int InstallWakeTrigger();

// --kds-sign-out: every device that entered the kitchen display's PIN must enter it again; a
// running service closes their pages within seconds. The exit code: 0 when done.
int SignOutKitchenDisplays();

// Sets the file globals and reads the INI globals.
void InitGlobal(const QString &INIFileName, const QString &Folder);

// Loads the business parameters and the customer-display port.
void InitTavo3();

// The three lines of the connection-failure box; the tried string has its password masked.
QString connectionFailureText(const QString &connectionString);

} // namespace tavo::core
