// TavoKPortSrv: the kitchen-order service of one kitchen station.
#include "core/startup.h"
#include "gui/application.h"
#include "gui/cupsprintercatalog.h"
#include "gui/qtprompter.h"
#include "platform/codepage.h"
#include "platform/settingsstore.h"
#include "platform/singleinstance.h"
#include "platform/systemclock.h"
#include "platform/systemdrestart.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>

using namespace Qt::StringLiterals;

namespace {

// The offscreen platform warns about window hints it cannot honour, once per window; and a
// service started outside a login session (no XDG_RUNTIME_DIR) hears that Qt keeps its runtime
// files in a private folder under /tmp, which is all the instance lock needs. On a headless
// service both are noise among the operator's lines.
QtMessageHandler g_defaultMessageHandler = nullptr;

void filterPlatformNoise(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(u"does not support propagateSizeHints"_s)
        || message.startsWith(u"QStandardPaths: XDG_RUNTIME_DIR not set"_s))
        return;
    g_defaultMessageHandler(type, context, message);
}

} // namespace

int main(int argc, char **argv)
{
    using namespace tavo::platform;
    // Without a screen the service still runs: offscreen windows, boxes answered on stderr.
    const bool display = hasDisplay();
    if (!display && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!display)
        g_defaultMessageHandler = qInstallMessageHandler(filterPlatformNoise);
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"TavoKPortSrv"_s);
    QApplication::setApplicationVersion(u"%1.%2.%3"_s.arg(TAVO_VERSION_MAJOR).arg(TAVO_VERSION_MINOR).arg(TAVO_VERSION_PATCH));
    // Traditional Chinese forms need a Traditional Chinese face; the fallback draws Japanese ones.
    if (QFontDatabase::families().contains(u"Noto Sans CJK TC"_s))
        QApplication::setFont(QFont(u"Noto Sans CJK TC"_s, 10));

    SystemClock clock;
    tavo::gui::QtPrompter windowPrompter;
    HeadlessPrompter headlessPrompter;
    QSettingsStore settings;
    SystemdRestart restart;
    tavo::gui::CupsPrinterCatalog printers;
    Services &s = services();
    s.clock = &clock;
    s.prompter = display ? static_cast<Prompter *>(&windowPrompter) : &headlessPrompter;
    s.settings = &settings;
    s.restart = &restart;
    s.printers = &printers;

    SingleInstance instance;
    tavo::gui::installQtTranslations();
    switch (tavo::core::Main(instance, tavo::gui::openServiceWindow)) {
    case tavo::core::StartResult::Started:
        return app.exec();
    case tavo::core::StartResult::AlreadyRunning:
        return 0;
    case tavo::core::StartResult::Failed:
        break;
    }
    return 1;
}
