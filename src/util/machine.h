#pragma once
// Pauses, the machine's restart and the serial port of the customer display.
#include <QString>

namespace tavo {

// A blocking pause of `seconds` (fractions allowed, whole milliseconds); window events wait.
void Delay(double seconds);

// Restarts (or, with restart false, shuts down) the machine; `force` does not ask the programs.
// Never throws. A refusal by the system goes to the error log (tag "ShutdownWindows") and, when
// `refusal` is given, to the caller: false then.
bool ShutdownWindows(bool restart, bool force, QString *refusal = nullptr);

// Puts "COM1".."COM6" (exactly so, upper case) back to 9600 baud, no parity, 8 data bits, 1 stop
// bit. Another name gets the warning box "(ResetComPort)只能重設COM1-COM6通訊埠"; a failing reset
// writes "(ResetComPort)重設COM通訊埠失敗" to the text log. True when the port was reset.
bool ResetComPort(const QString &portName);
// The command that resets a port's device.
QString resetComPortCommand(const QString &portName);

} // namespace tavo
