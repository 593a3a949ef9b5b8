#pragma once
// The operator-visible events of a service running without a screen (under a supervisor, or
// `./run.sh` on a machine without a display), written to standard error one line each:
//     <kind> TAB <text>
// where kind names the control that showed it ("elaMsg", "fg1", "fgLog"). Rows keep their
// cells tab-separated; line breaks inside a text become spaces, so one event stays one line.
#include <QString>
#include <QStringList>

#include <functional>

namespace tavo::platform {

// On by default when there is no display (or the offscreen platform runs the windows);
// TAVO_ECHO=1 or TAVO_ECHO=0 decides instead.
bool echoEnabled();
void setEchoEnabled(bool on);

void echoLine(const QString &kind, const QString &text);
void echoRow(const QString &kind, const QStringList &cells);

// Where the lines go: standard error unless a sink is set (tests read them this way).
using EchoSink = std::function<void(const QString &line)>;
void setEchoSink(EchoSink sink);

} // namespace tavo::platform
