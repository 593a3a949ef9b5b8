// tavo_demo: sets up a demo site, plays the POS terminals of a restaurant against it, and
// generates large order tables for the benchmarks.
//
//   tavo_demo init <site-folder> [--reset] [--connection <ADO string>] [--kitchen-printer P] [--bar-printer
//   P] tavo_demo feed <site-folder> [--interval ms] [--count n] [--seed s] tavo_demo rows <database-file |
//   ADO string> [--rows n] [--items n] [--days n] [--seed s]
#include "db/connectionstring.h"
#include "demo/demoschema.h"
#include "demo/demosite.h"
#include "demo/orderfeed.h"
#include "demo/rowgenerator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>

using namespace Qt::StringLiterals;
using namespace tavo;

namespace {

void out(const QString &line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void err(const QString &line)
{
    std::fputs(line.toUtf8().constData(), stderr);
    std::fputc('\n', stderr);
}

int usage(const QCommandLineParser &parser)
{
    err(parser.helpText());
    return 2;
}

qint64 numberOption(const QCommandLineParser &parser, const QString &name, qint64 fallback)
{
    if (!parser.isSet(name))
        return fallback;
    bool ok = false;
    const qint64 value = parser.value(name).toLongLong(&ok);
    if (!ok || value < 0)
        throw db::DbError(
            kGenericErrorNumber, u"--%1 needs a number, not \"%2\""_s.arg(name, parser.value(name)));
    return value;
}

int runInit(const QCommandLineParser &parser, const QString &folder)
{
    demo::SiteOptions options;
    options.reset = parser.isSet(u"reset"_s);
    options.shiftHistory = true; // the demo's shift reports have a day to show
    options.connectionString = parser.value(u"connection"_s);
    if (parser.isSet(u"kitchen-printer"_s))
        options.sample.kitchenPrinter = parser.value(u"kitchen-printer"_s);
    if (parser.isSet(u"bar-printer"_s))
        options.sample.barPrinter = parser.value(u"bar-printer"_s);
    const demo::SiteReport report = demo::initSite(folder, options);
    out(u"site %1: %2 %3, database %4, %5 rows written"_s.arg(QDir(folder).absolutePath(), report.iniFile,
        report.iniWritten ? u"written"_s : u"kept"_s, db::maskPassword(report.connectionString),
        QString::number(report.rowsWritten)));
    return 0;
}

volatile std::sig_atomic_t g_feedStopped = 0;

extern "C" void stopFeed(int)
{
    g_feedStopped = 1;
}

int runFeed(const QCommandLineParser &parser, const QString &folder)
{
    // Stopped by a signal (run.sh's exit, Ctrl+C), the feed still closes the database: the last
    // connection to close merges SQLite's write-ahead log and removes it.
    std::signal(SIGTERM, stopFeed);
    std::signal(SIGINT, stopFeed);
    db::Connection cn;
    demo::openSite(folder, cn);
    demo::OrderFeed feed(cn, quint32(numberOption(parser, u"seed"_s, QDateTime::currentSecsSinceEpoch())));
    const qint64 interval = numberOption(parser, u"interval"_s, 3000);
    const qint64 count = numberOption(parser, u"count"_s, -1);
    // --count counts orders and other happenings, not rows: one step may write several rows.
    constexpr qint64 kSlice = 50; // ms between looks at the stop flag while pausing
    for (qint64 done = 0; (count < 0 || done < count) && !g_feedStopped; ++done) {
        for (const QString &line : feed.step())
            out(line);
        if (count >= 0 && done + 1 >= count)
            break;
        for (qint64 waited = 0; waited < interval && !g_feedStopped; waited += kSlice)
            QThread::msleep(quint64(std::min(kSlice, interval - waited)));
    }
    return 0;
}

int runRows(const QCommandLineParser &parser, const QString &target)
{
    const bool isConnectionString = target.contains(u'=');
    const QString cs = isConnectionString
        ? target
        : u"Provider=SQLite;Data Source=\"%1\""_s.arg(QFileInfo(target).absoluteFilePath());
    db::Connection cn;
    cn.setCreateIfMissing(true);
    cn.setCommandTimeout(0);
    cn.open(cs);
    demo::createSchema(cn);
    demo::RowOptions options;
    options.rows = numberOption(parser, u"rows"_s, options.rows);
    options.items = int(numberOption(parser, u"items"_s, options.items));
    options.days = int(numberOption(parser, u"days"_s, options.days));
    options.seed = quint32(numberOption(parser, u"seed"_s, options.seed));
    options.progress = [](qint64 n) { err(u"%1 rows"_s.arg(n)); };
    QElapsedTimer timer;
    timer.start();
    const qint64 written = demo::generateRows(cn, options);
    out(u"%1 rows written to %2 in %3 s"_s.arg(written)
            .arg(db::maskPassword(cs))
            .arg(timer.elapsed() / 1000.0));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"tavo_demo"_s);
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Demo site of the kitchen-order service: init, feed, rows"_s);
    parser.addHelpOption();
    parser.addPositionalArgument(u"command"_s, u"init, feed or rows"_s);
    parser.addPositionalArgument(
        u"target"_s, u"site folder (init, feed); database file or ADO string (rows)"_s);
    parser.addOptions({
        { u"reset"_s, u"init: drop the tables and orders and write the INI anew"_s },
        { u"connection"_s, u"init: the site's ADO connection string (default SQLite tavo.db)"_s, u"ado"_s },
        { u"kitchen-printer"_s, u"init: printer of port PK"_s, u"name"_s },
        { u"bar-printer"_s, u"init: printer of port PB"_s, u"name"_s },
        { u"interval"_s, u"feed: pause between happenings in ms (default 3000)"_s, u"ms"_s },
        { u"count"_s, u"feed: stop after n happenings (default: never)"_s, u"n"_s },
        { u"seed"_s, u"feed, rows: seed of the random choices"_s, u"s"_s },
        { u"rows"_s, u"rows: number of rows (default 1000000)"_s, u"n"_s },
        { u"items"_s, u"rows: distinct items (default 300)"_s, u"n"_s },
        { u"days"_s, u"rows: business days covered (default 30)"_s, u"n"_s },
    });
    parser.process(app);
    const QStringList args = parser.positionalArguments();
    if (args.size() != 2)
        return usage(parser);
    try {
        const QString command = args[0];
        if (command == u"init"_s)
            return runInit(parser, args[1]);
        if (command == u"feed"_s)
            return runFeed(parser, args[1]);
        if (command == u"rows"_s)
            return runRows(parser, args[1]);
        return usage(parser);
    } catch (const TavoError &e) {
        err(u"tavo_demo: "_s + e.description());
        return 1;
    } catch (const std::exception &e) {
        err(u"tavo_demo: "_s + QString::fromLocal8Bit(e.what()));
        return 1;
    }
}
