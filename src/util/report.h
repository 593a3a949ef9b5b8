#pragma once
// The reporters: the text log, the error log and the error box. A trap hands its error to one of
// these with a tag naming its procedure (platform/logtags.h):
//     try { ... } catch (...) { ShowErrMsg(tags::fmTavoKPortSrv_cmdStart_Click); }
// An error that left a procedure marked with an ErrorScope is written under that procedure's tag.
// Operator-started work uses ShowErrMsg (beep, log, box); unattended work uses WriteErrLog only,
// so that a box never stops the service.
#include "platform/errors.h"

#include <QDateTime>
#include <QString>

namespace tavo {

// Appends "YYYY-MM-DD HH:MM:SS => text" and CR LF to `file` (default: g().gLogFile) in the code
// page. A failure is recorded with WriteErrLog("WriteLog") and goes no further.
void WriteLog(const QString &text, const QString &file = {});

// Appends the time line and the error text of the error being handled (inside a catch block;
// outside one the number is 0 and the description empty) to g().gErrFile. Never throws.
// The block names the innermost procedure the error left (ErrorScope), else `tag`.
// A repeated error (ErrorInfo::repeated) is not reported again, by this or the reporters below.
void WriteErrLog(const QString &tag);
void WriteErrLog(const QString &tag, const ErrorInfo &error);

// WriteErrLog plus a beep before and a warning box (OK, titled with the application's name) after,
// then the default mouse pointer again.
void ShowErrMsg(const QString &tag);
void ShowErrMsg(const QString &tag, const ErrorInfo &error);

// ShowErrMsg returning the box's answer: always 1 (OK).
int AskErrMsg(const QString &tag);

// The five lines of an error (each ended by CR LF; the last is empty).
QString errorText(const QString &tag, const ErrorInfo &error);
// The line that heads each block of the error log, CR LF included.
QString errorTimeLine(const QDateTime &when);
// One line of the text log, CR LF included.
QString logLine(const QDateTime &when, const QString &text);

// The error being handled, or {0, ""} outside a catch block.
ErrorInfo errorInFlight();

// The title of the program's boxes.
QString appTitle();

// VB-style numbers for file errors, so the error log reads as the other programs of the suite.
inline constexpr qint64 kErrPathFileAccess = 75;
inline constexpr qint64 kErrPathNotFound = 76;
inline constexpr qint64 kErrDeviceIO = 57;

} // namespace tavo
