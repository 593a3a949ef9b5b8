#include "util/report.h"

#include "platform/codepage.h"
#include "platform/cursor.h"
#include "platform/services.h"
#include "util/globals.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <exception>

using namespace Qt::StringLiterals;

namespace tavo {

namespace {

QDateTime now()
{
    return platform::services().clock->now();
}

// Opens, appends and closes, so another program may read the file between two writes.
// Returns false with the reason when the file cannot be written.
bool appendBytes(const QString &path, const QByteArray &bytes, ErrorInfo *failure)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (failure != nullptr) {
            const bool noFolder = !path.isEmpty() && !QFileInfo(path).absoluteDir().exists();
            *failure = noFolder ? ErrorInfo { kErrPathNotFound, u"Path not found"_s }
                                : ErrorInfo { kErrPathFileAccess, u"Path/File access error"_s };
        }
        return false;
    }
    const qint64 written = file.write(bytes);
    file.close();
    if (written != bytes.size() || file.error() != QFileDevice::NoError) {
        if (failure != nullptr)
            *failure = { kErrDeviceIO, u"Device I/O error"_s };
        return false;
    }
    return true;
}

void writeErrBlock(const QString &text)
{
    try {
        appendBytes(g().gErrFile, platform::toAnsi(errorTimeLine(now()) + text), nullptr);
    } catch (...) {
        // The error log is the last resort; there is nowhere left to tell.
    }
}

void beep()
{
    platform::services().prompter->beep();
}

// The box shows the same five lines as the log, with the line ends of the screen.
int showBox(const QString &text)
{
    int answer = 1;
    QString shown = text;
    shown.replace(u"\r\n"_s, u"\n"_s);
    platform::services().prompter->ask(
        appTitle(), shown, platform::BoxIcon::Warning, platform::BoxButtons::Ok);
    platform::restoreCursor();
    return answer;
}

} // namespace

QString appTitle()
{
    return g().gExeName.isEmpty() ? u"TavoKPortSrv"_s : g().gExeName;
}

ErrorInfo errorInFlight()
{
    if (!std::current_exception())
        return {};
    return currentError();
}

QString errorText(const QString &tag, const ErrorInfo &error)
{
    return u"處理程序: ("_s + tag + u")\r\n"_s + u"執行錯誤, 代碼: "_s + QString::number(error.number)
        + u"\r\n"_s + u"訊息: \r\n"_s + u"     "_s + error.description + u"\r\n"_s + u"\r\n"_s;
}

QString errorTimeLine(const QDateTime &when)
{
    return u"**記錄時間 - "_s + when.toString(u"yy/MM/dd, HH:mm:ss"_s) + u" \r\n"_s;
}

QString logLine(const QDateTime &when, const QString &text)
{
    return when.toString(u"yyyy-MM-dd HH:mm:ss"_s) + u" => "_s + text + u"\r\n"_s;
}

void WriteLog(const QString &text, const QString &file)
{
    try {
        const QString path = file.isEmpty() ? g().gLogFile : file;
        ErrorInfo failure;
        if (!appendBytes(path, platform::toAnsi(logLine(now(), text)), &failure))
            WriteErrLog(tags::WriteLog, failure);
    } catch (...) {
        WriteErrLog(tags::WriteLog);
    }
}

void WriteErrLog(const QString &tag)
{
    WriteErrLog(takeFailingProcedure(tag), errorInFlight());
}

void WriteErrLog(const QString &tag, const ErrorInfo &error)
{
    if (error.repeated)
        return;
    try {
        writeErrBlock(errorText(tag, error));
    } catch (...) {
    }
}

void ShowErrMsg(const QString &tag)
{
    ShowErrMsg(takeFailingProcedure(tag), errorInFlight());
}

void ShowErrMsg(const QString &tag, const ErrorInfo &error)
{
    if (error.repeated)
        return;
    try {
        beep();
        const QString text = errorText(tag, error);
        writeErrBlock(text);
        showBox(text);
    } catch (...) {
        platform::restoreCursor();
    }
}

int AskErrMsg(const QString &tag)
{
    const QString failing = takeFailingProcedure(tag);
    const ErrorInfo error = errorInFlight();
    if (error.repeated)
        return 1;
    try {
        beep();
        const QString text = errorText(failing, error);
        writeErrBlock(text);
        return showBox(text);
    } catch (...) {
        platform::restoreCursor();
        return 1;
    }
}

} // namespace tavo
