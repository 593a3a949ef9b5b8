// TavoKPortSrv: the kitchen-order service of one kitchen station.
#include "core/startup.h"
#include "front.h"
#include "platform/logindrestart.h"
#include "platform/prompters.h"
#include "platform/settingsstore.h"
#include "platform/singleinstance.h"
#include "platform/systemclock.h"
#include "platform/systemdnotifier.h"

#include <QCoreApplication>

#include <memory>

using namespace Qt::StringLiterals;

int main(int argc, char **argv)
{
    using namespace tavo::platform;
    // Without a screen the service runs without a window: its activity is echoed, boxes are
    // answered on stderr.
    const bool display = tavo::app::showsWindow();
    tavo::core::routeLibraryMessagesToLog();
    const std::unique_ptr<QCoreApplication> app = tavo::app::makeApplication(argc, argv, display);
    QCoreApplication::setApplicationName(u"TavoKPortSrv"_s);
    QCoreApplication::setApplicationVersion(
        u"%1.%2.%3"_s.arg(TAVO_VERSION_MAJOR).arg(TAVO_VERSION_MINOR).arg(TAVO_VERSION_PATCH));

    SystemClock clock;
    HeadlessPrompter headlessPrompter;
    const std::unique_ptr<Prompter> windowPrompter = tavo::app::makeWindowPrompter(display);
    QSettingsStore settings;
    LogindRestart restart;
    const std::unique_ptr<tavo::print::PrinterCatalog> printers = tavo::app::makePrinterCatalog();
    Services &s = services();
    s.clock = &clock;
    s.prompter = display ? windowPrompter.get() : static_cast<Prompter *>(&headlessPrompter);
    s.settings = &settings;
    s.restart = &restart;
    tavo::print::printServices().printers = printers.get();

    if (QCoreApplication::arguments().contains(u"--install-wake-trigger"_s))
        return tavo::core::InstallWakeTrigger();
    if (QCoreApplication::arguments().contains(u"--kds-sign-out"_s))
        return tavo::core::SignOutKitchenDisplays();

    SingleInstance instance;
    tavo::app::installTranslations();
    // Under systemd the start-up may wait on an operator's box (a missing message database): while
    // its event loop turns, the start timeout is extended. Once loaded, the service reports itself.
    auto startingUp = std::make_unique<SystemdNotifier>();
    switch (tavo::core::Main(instance, tavo::app::frontOpener(display))) {
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
