#pragma once
// Files, users, the machine's name, devices and child commands: the start-up helpers that the
// Windows programs took from Win32.
#include <QString>

namespace tavo::platform {

// True for an existing file that is not a folder; false for a folder, a missing path or an error.
bool FileExists(const QString &path);
// True for an existing folder; false otherwise, errors included.
bool DirExists(const QString &path);

// The name of the user running the program, and the machine's name; empty when unknown.
QString GetLogonUser();
QString GetPCName();

// The device behind a Windows port name: COMn is /dev/ttyS(n-1), LPTn is /dev/lp(n-1). The
// environment variable TAVO_PORT_<NAME> (TAVO_PORT_COM1=/dev/ttyUSB0) points a name elsewhere,
// for the USB adapters that sites use. Empty for names that are not such ports.
QString portDevicePath(const QString &portName);

// True only for "LPT..." and "COM..." names (any case) whose device opens; it is closed at once.
bool PortCanOpen(const QString &portName);

// The error base of user-defined errors: a command that cannot start returns its error plus this.
inline constexpr qint64 kUserErrorBase = -2147221504;
// The errors ShellWait adds to the base: the program was not found, or it would not start.
inline constexpr qint64 kErrFileNotFound = 53;
inline constexpr qint64 kErrCannotStart = 5;
// The exit code reported for a command that crashed (there is no code of its own).
inline constexpr qint64 kCrashExitCode = 255;

// Runs a command line and waits for it (start-up runs it, before any window); returns its exit
// code, or a negative number (error + kUserErrorBase) when it cannot start. The window style
// (0 hidden .. 6 minimised, others become 6) has no effect here: commands run without a window.
qint64 ShellWait(const QString &commandLine, int windowStyle = 6);
// The style a request ends up with.
int clampWindowStyle(int windowStyle);

} // namespace tavo::platform

namespace tavo {
using platform::DirExists;
using platform::FileExists;
using platform::GetLogonUser;
using platform::GetPCName;
using platform::PortCanOpen;
using platform::ShellWait;
} // namespace tavo
