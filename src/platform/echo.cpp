#include "platform/echo.h"

#include <QGuiApplication>

#include <cstdio>
#include <optional>

using namespace Qt::StringLiterals;

namespace tavo::platform {

namespace {

std::optional<bool> &enabledSetting()
{
    static std::optional<bool> enabled;
    return enabled;
}

EchoSink &sink()
{
    static EchoSink instance;
    return instance;
}

bool defaultEnabled()
{
    const QByteArray forced = qgetenv("TAVO_ECHO");
    if (!forced.isEmpty())
        return forced != "0";
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return true;
    const QString platform = QGuiApplication::platformName();
    return platform == u"offscreen"_s || platform == u"minimal"_s;
}

QString oneLine(QString text)
{
    for (QChar &c : text) {
        if (c == u'\n' || c == u'\r')
            c = u' ';
    }
    return text;
}

} // namespace

bool echoEnabled()
{
    if (!enabledSetting())
        enabledSetting() = defaultEnabled();
    return *enabledSetting();
}

void setEchoEnabled(bool on)
{
    enabledSetting() = on;
}

void setEchoSink(EchoSink newSink)
{
    sink() = std::move(newSink);
}

void echoLine(const QString &kind, const QString &text)
{
    if (!echoEnabled())
        return;
    const QString line = kind + u'\t' + oneLine(text);
    if (sink()) {
        sink()(line);
        return;
    }
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

void echoRow(const QString &kind, const QStringList &cells)
{
    if (!echoEnabled())
        return;
    QStringList flat = cells;
    for (QString &cell : flat)
        cell.replace(u'\t', u' ');
    echoLine(kind, flat.join(u'\t'));
}

} // namespace tavo::platform
