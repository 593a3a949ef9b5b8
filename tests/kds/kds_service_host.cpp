// The kitchen service without its window, held in one state of its watch, for the kitchen
// display's benchmark: the program's own start-up and service, with the operator's clicks that
// only the window offers (setting mode, stop) made here instead.
//
//   TAVO_HOME=SITE tavo_kds_service waiting|setting|notlisting|stopped|listing
// "waiting" stays before the start (its timer disarmed, so a measurement may take longer than the
// 30 s of a real start). The display's address goes to standard error as the program echoes it.
#include "core/kitchenservice.h"
#include "core/startup.h"
#include "db/dbglobals.h"
#include "platform/singleinstance.h"

#include <QGuiApplication>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString state = args.value(1);
    if (!QStringList { u"waiting"_s, u"setting"_s, u"notlisting"_s, u"stopped"_s, u"listing"_s }.contains(
            state)) {
        std::fprintf(stderr, "usage: tavo_kds_service waiting|setting|notlisting|stopped|listing\n");
        return 2;
    }
    tavo::platform::SingleInstance instance;
    const auto opened = tavo::core::Main(instance, [&](const tavo::Site &site) {
        auto *service = new tavo::core::KitchenService(site, &app);
        service->load();
        if (state == u"waiting"_s) {
            service->startTimer().setEnabled(false);
        } else if (state == u"setting"_s) {
            service->setSettingMode(true);
        } else if (state == u"notlisting"_s) {
            service->setListing(false);
            service->start();
        } else if (state == u"stopped"_s) {
            service->start();
            service->stop();
        } else {
            service->start();
        }
    });
    return opened == tavo::core::StartResult::Started ? app.exec() : 1;
}
