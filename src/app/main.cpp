// TavoKPortSrv: the kitchen-order service of one kitchen station.
#include "core/startup.h"
#include "gui/application.h"
#include "gui/cupsprintercatalog.h"
#include "gui/qtprompter.h"
#include "platform/codepage.h"
#include "platform/logindrestart.h"
#include "platform/settingsstore.h"
#include "platform/singleinstance.h"
#include "platform/systemclock.h"
#include "platform/systemdnotifier.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFont>
#include <QFontDatabase>

#include <memory>

using namespace Qt::StringLiterals;

int main(int argc, char **argv)
{
    using namespace tavo::platform;
    // Without a screen the service runs without a window: its activity is echoed, boxes are
    // answered on stderr.
    const bool display = hasDisplay();
    tavo::core::routeLibraryMessagesToLog();
    std::unique_ptr<QCoreApplication> app;
    if (display)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(u"TavoKPortSrv"_s);
    QCoreApplication::setApplicationVersion(
        u"%1.%2.%3"_s.arg(TAVO_VERSION_MAJOR).arg(TAVO_VERSION_MINOR).arg(TAVO_VERSION_PATCH));
    // Traditional Chinese forms need a Traditional Chinese face; the fallback draws Japanese ones.
    if (display && QFontDatabase::families().contains(u"Noto Sans CJK TC"_s))
        QApplication::setFont(QFont(u"Noto Sans CJK TC"_s, 10));

    SystemClock clock;
    HeadlessPrompter headlessPrompter;
    std::unique_ptr<Prompter> windowPrompter;
    if (display)
        windowPrompter = std::make_unique<tavo::gui::QtPrompter>();
    QSettingsStore settings;
    LogindRestart restart;
    tavo::gui::CupsPrinterCatalog printers;
    Services &s = services();
    s.clock = &clock;
    s.prompter = display ? windowPrompter.get() : static_cast<Prompter *>(&headlessPrompter);
    s.settings = &settings;
    s.restart = &restart;
    s.printers = &printers;

    if (QCoreApplication::arguments().contains(u"--install-wake-trigger"_s))
        return tavo::core::InstallWakeTrigger();
    if (QCoreApplication::arguments().contains(u"--kds-sign-out"_s))
        return tavo::core::SignOutKitchenDisplays();

    SingleInstance instance;
    tavo::gui::installQtTranslations();
    // Under systemd the start-up may wait on an operator's box (a missing message database): while
    // its event loop turns, the start timeout is extended. Once loaded, the service reports itself.
    auto startingUp = std::make_unique<SystemdNotifier>();
    switch (tavo::core::Main(instance, display ? tavo::gui::openServiceWindow : tavo::core::runHeadless)) {
    case tavo::core::StartResult::Started:
        startingUp.reset();
        return QCoreApplication::exec();
    case tavo::core::StartResult::AlreadyRunning:
        return 0;
    case tavo::core::StartResult::Failed:
        break;
    }
    return 1;
}
