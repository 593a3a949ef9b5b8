// The kitchen display on a demo site, without the service window: the browser tests and the
// benchmark start it, write orders into the site's database from a connection of their own and
// watch the page. Each tick does what the service's cycle does for the display: the scan of the
// watched port into an order grid, then the display's refresh.
//
//   tavo_kds_host SITE [--listen PORT] [--address ADDR] [--pin PIN] [--kport PK]
//                      [--tick MS] [--report-ticks]
// Prints "READY <url>" once listening; with --report-ticks one line "TICK <µs> <displays>" per tick.
#include "db/connection.h"
#include "demo/demosite.h"
#include "kds/kitchendisplay.h"
#include "platform/echo.h"
#include "platform/gridmodel.h"
#include "watch/orderwatch.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTimer>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char **argv)
{
    // The order grid measures its columns with fonts: a platform without a screen serves.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser args;
    args.addPositionalArgument(u"site"_s, u"the site folder"_s);
    args.addOptions({ { u"listen"_s, u"port"_s, u"port"_s, u"0"_s },
        { u"address"_s, u"address"_s, u"address"_s, u"127.0.0.1"_s }, { u"pin"_s, u"pin"_s, u"pin"_s },
        { u"kport"_s, u"kitchen port"_s, u"kport"_s, u"PK"_s },
        { u"tick"_s, u"ms between ticks"_s, u"ms"_s, u"50"_s },
        { u"report-ticks"_s, u"print each tick's time"_s } });
    args.process(app);
    if (args.positionalArguments().size() != 1)
        args.showHelp(2);
    const QString site = args.positionalArguments().constFirst();

    tavo::platform::setEchoEnabled(false);
    tavo::db::Connection cn;
    tavo::demo::initSite(site);
    tavo::demo::openSite(site, cn);

    tavo::kds::KdsSettings settings;
    settings.port = quint16(args.value(u"listen"_s).toUInt());
    settings.address = args.value(u"address"_s);
    settings.pin = args.value(u"pin"_s);
    tavo::kds::KitchenDisplay display(cn, settings, site);
    if (!display.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(display.error()));
        return 1;
    }
    display.setPort(args.value(u"kport"_s));

    tavo::platform::GridModel fg1;
    tavo::watch::ScanBound bound;
    tavo::watch::InitFG1(fg1);
    const bool report = args.isSet(u"report-ticks"_s);
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        QElapsedTimer t;
        t.start();
        tavo::watch::AddFG1(fg1, bound, display.port(), cn);
        display.refresh();
        if (report)
            std::printf("TICK %lld %d\n", t.nsecsElapsed() / 1000, display.displays());
        std::fflush(stdout);
    });
    tick.start(args.value(u"tick"_s).toInt());
    display.refresh();
    std::printf("READY %s\n", qPrintable(display.url().toString()));
    std::fflush(stdout);
    return app.exec();
}
