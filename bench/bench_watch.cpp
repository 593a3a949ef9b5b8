// The order watch under load:
//   BM_ScanNothingNew   one scan with nothing new on an ORDERI of 1,000,000 rows, against the
//                       bare SQL of its three statements timed in the same loop;
//   BM_List1000Rows     a scan that lists 1,000 new rows into a grid on screen;
//   BM_CyclesMemory     100,000 cycles of the running window on the simulated clock with rows
//                       arriving: resident memory growth beyond the rows the grid keeps;
//   BM_Soak             weeks of a site in one run: 100,000 cycles of the window on the demo
//                       site with the POS feed writing orders and a reprint now and then to a
//                       captured printer; memory growth beyond the grids' rows and the file
//                       descriptors open before and after. Run alone: --benchmark_filter=BM_Soak
//                       The second run watches a port the feed never serves: the same cycles
//                       with no row to keep, so any growth there is a leak of the cycle itself.
#include "benchdata.h"
#include "db/connection.h"
#include "db/dbglobals.h"
#include "demo/demoschema.h"
#include "demo/demosite.h"
#include "demo/orderfeed.h"
#include "demo/rowgenerator.h"
#include "gui/fmTavoKPortSrv.h"
#include "gui/gridview.h"
#include "platform/echo.h"
#include "platform/gridmodel.h"
#include "support/fake_printers.h"
#include "support/test_environment.h"
#include "test_watch_db.h"
#include "util/globals.h"
#include "watch/orderwatch.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <benchmark/benchmark.h>

#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace tavo;

using bench::millionRowDatabase;

namespace {

const QString kPort = u"PK"_s;

qint64 scalar(db::Connection &cnt, const QString &sql)
{
    db::Recordset rs = cnt.openRecordset(sql);
    return rs.eof() ? 0 : rs.text(0).toLongLong();
}

// The three statements of a scan, as text, on a plain Qt connection: the floor. With
// `onlyMax`, the one statement a scan with nothing new needs.
double bareStatementsUs(QSqlDatabase &bare, qint64 bound, bool onlyMax = false)
{
    const QString P = u"'PK'"_s;
    const QString statements[] = {
        u"SELECT Min(RNo) as MinRNo From ORDERI WHERE OPDate is NULL and KPort = "_s + P,
        u" SELECT Max(RNo) as MaxRNo  From ORDERI where KPort = "_s + P + u" and UpdDate is NULL"_s,
        u"SELECT  RNo, KPort, KPMark, OrderPID, KSMark, OrderTime,  ItemName, PriceCap, Qty, Remark,  POSID, "
        u"DelMark,  FileDate, UpdDate FROM ORDERI  WHERE RNo > "_s
            + QString::number(bound) + u"   and RNo <= "_s + QString::number(bound) + u" and KPort = "_s + P
            + u" ORDer by Rno "_s,
    };
    QElapsedTimer timer;
    timer.start();
    for (const QString &sql : statements) {
        if (onlyMax && !sql.contains(u"Max(RNo)"_s))
            continue;
        QSqlQuery query(bare);
        query.setForwardOnly(true);
        query.exec(sql);
        while (query.next())
            benchmark::DoNotOptimize(query.value(0));
    }
    return timer.nsecsElapsed() / 1000.0;
}

void BM_ScanNothingNew(benchmark::State &state)
{
    test::TestEnvironment env;
    platform::setEchoEnabled(false);
    const QString file = millionRowDatabase();
    db::Connection cnt;
    cnt.open(u"Provider=SQLite;Data Source="_s + file);
    QSqlDatabase bare = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"bench-bare"_s);
    bare.setDatabaseName(file);
    bare.open();

    const qint64 total = scalar(cnt, u"SELECT Count(*) AS n FROM ORDERI"_s);
    const qint64 bound
        = scalar(cnt, u"SELECT Max(RNo) AS m FROM ORDERI WHERE KPort = 'PK' AND UpdDate IS NULL"_s);
    platform::GridModel fg1;
    watch::InitFG1(fg1);
    watch::ScanBound scanBound(bound);

    double scanUs = 0, bareUs = 0, bareMaxUs = 0;
    QElapsedTimer timer;
    for (auto _ : state) {
        timer.start();
        benchmark::DoNotOptimize(watch::AddFG1(fg1, scanBound, kPort, cnt));
        scanUs += timer.nsecsElapsed() / 1000.0;
        bareUs += bareStatementsUs(bare, bound);
        bareMaxUs += bareStatementsUs(bare, bound, true);
    }
    const double n = double(state.iterations());
    state.counters["rows"] = double(total);
    state.counters["scan_us"] = scanUs / n;
    state.counters["bare3_us"] = bareUs / n;
    state.counters["ratio"] = scanUs / bareUs;
    state.counters["bare_max_us"] = bareMaxUs / n;
    state.counters["ratio_max"] = scanUs / bareMaxUs;
    if (fg1.Rows() != 1 || scanBound.highest() != bound)
        state.SkipWithError("the scan listed rows it should not have");
    bare.close();
    bare = QSqlDatabase();
    QSqlDatabase::removeDatabase(u"bench-bare"_s);
}
BENCHMARK(BM_ScanNothingNew)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

// Rows listed into the order list on screen, painted: 1,000 new rows, and the 10,000 a day
// offline leaves, listed in one pass from the event loop.
void BM_ListRows(benchmark::State &state)
{
    const int rows = int(state.range(0));
    test::TestEnvironment env;
    platform::setEchoEnabled(false);
    db::Connection cnt;
    test::OrderTable table(cnt, test::Server::SQLite, env.path(u"list.db"_s));
    table.execute(u"BEGIN"_s);
    for (int rno = 1; rno <= rows + 1; ++rno)
        table.insert(rno);
    table.execute(u"COMMIT"_s);

    platform::GridModel fg1;
    gui::GridView view; // the order list on screen, as the window shows it
    view.setGrid(&fg1);
    view.resize(1000, 600);
    view.show();
    watch::InitFG1(fg1);
    watch::ScanBound bound;
    for (auto _ : state) {
        state.PauseTiming();
        fg1.setRows(1);
        bound = watch::ScanBound(1);
        QCoreApplication::processEvents();
        state.ResumeTiming();
        watch::AddFG1(fg1, bound, kPort, cnt);
        QCoreApplication::processEvents(); // and painted
    }
    state.counters["rows"] = fg1.Rows() - 1;
    if (fg1.Rows() != rows + 1)
        state.SkipWithError("not all rows were listed");
}
BENCHMARK(BM_ListRows)->ArgName("rows")->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

qint64 residentBytes()
{
    QFile statm(u"/proc/self/statm"_s);
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : 0;
}

// What the grid's rows hold on the heap: the row vectors and every cell's text.
qint64 gridRowBytes(const platform::GridModel &grid)
{
    constexpr qint64 kArrayHeader = 32; // a QArrayData header and malloc's own word, rounded up
    qint64 bytes = qint64(grid.Rows()) * qint64(sizeof(QStringList) * 2); // the outer vector, doubled
    for (int r = 0; r < grid.Rows(); ++r) {
        bytes += kArrayHeader + grid.Cols() * qint64(sizeof(QString));
        for (int c = 0; c < grid.Cols(); ++c) {
            const QString cell = grid.TextMatrix(r, c);
            if (!cell.isEmpty())
                bytes += kArrayHeader + (cell.size() + 1) * 2;
        }
    }
    return bytes;
}

void BM_CyclesMemory(benchmark::State &state)
{
    test::TestEnvironment env;
    platform::setEchoEnabled(false);
    g().gOPDate = u"2026/12/07"_s;
    QDir(env.dir()).mkdir(u"LOG"_s);
    db::Connection &cnt = db::gCNT();
    auto table = std::make_unique<test::OrderTable>(cnt, test::Server::SQLite, env.path(u"cycles.db"_s));
    table->execute(u"INSERT INTO xxPARAM (ParamID, ParamValue) VALUES ('OPDATE', '2026/12/07')"_s);
    env.settings.save(u"Tavo3"_s, u"TavoC"_s, u"PrintItem"_s, u"Y"_s);
    const int cycles = int(state.range(0));
    const int rowEvery = 10;

    for (auto _ : state) {
        auto window = std::make_unique<gui::fmTavoKPortSrv>();
        window->service().quit = [](int) {};
        window->cmdStart->click();
        qint64 rno = 0;
        auto run = [&](int n) {
            for (int i = 0; i < n; ++i) {
                if (i % rowEvery == 0)
                    table->insert(++rno);
                env.clock.advance(1000);
                window->service().tick();
            }
        };
        run(2000); // caches, the SQLite page cache and the first grid pages settle
        const qint64 before = residentBytes();
        const qint64 rowsBefore = gridRowBytes(*window->fg1);
        QElapsedTimer timer;
        timer.start();
        run(cycles);
        const double seconds = timer.elapsed() / 1000.0;
        window->service().scan(); // the rows of the last few seconds
        const qint64 growth = residentBytes() - before;
        const qint64 rows = gridRowBytes(*window->fg1) - rowsBefore;
        state.counters["cycles"] = cycles;
        state.counters["rows_listed"] = window->fg1->Rows() - 1;
        state.counters["rss_growth_MB"] = growth / 1048576.0;
        state.counters["grid_rows_MB"] = rows / 1048576.0;
        state.counters["beyond_rows_MB"] = (growth - rows) / 1048576.0;
        state.counters["us_per_cycle"] = seconds * 1e6 / cycles;
        if (window->fg1->Rows() - 1 != rno)
            state.SkipWithError("rows were lost or listed twice");
    }
    table.reset();
    cnt.close();
}
BENCHMARK(BM_CyclesMemory)->Arg(100000)->Iterations(1)->Unit(benchmark::kSecond);

int openDescriptors()
{
    return int(QDir(u"/proc/self/fd"_s).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot).size());
}

void BM_Soak(benchmark::State &state)
{
    test::TestEnvironment env;
    test::FakePrinterCatalog printers { { u"TM-T88 Kitchen"_s } };
    platform::setEchoEnabled(false);
    const QString site = env.path(u"site"_s);
    demo::initSite(site);
    db::Connection &cnt = db::gCNT();
    demo::openSite(site, cnt);
    SetDBType(cnt.provider());
    g().gAppDir = site;
    g().gOPDate = env.clock.now().date().toString(u"yyyy/MM/dd"_s);
    db::Connection posLink;
    demo::openSite(site, posLink);
    const bool listing = state.range(1) != 0;
    const QString port = listing ? u"PK"_s : u"ZZ"_s;
    demo::OrderFeed feed(posLink);
    feed.setClock([&] { return env.clock.now(); });
    for (const auto &[key, value] :
        { std::pair { u"PrintItem"_s, u"Y"_s }, { u"Printer"_s, u"TM-T88 Kitchen"_s },
            { u"PrinterType"_s, u"EPSONTM"_s }, { u"DEFKPORT"_s, port } })
        env.settings.save(u"Tavo3"_s, u"TavoC"_s, key, value);
    const int cycles = int(state.range(0));
    const int orderEvery = 10; // a step of the feed every ten seconds: a busy evening, all day
    const int reprintEvery = 600;

    for (auto _ : state) {
        auto window = std::make_unique<gui::fmTavoKPortSrv>();
        window->service().quit = [](int) {};
        window->cmdStart->click();
        qint64 tickets = 0;
        auto run = [&](int n) {
            for (int i = 0; i < n; ++i) {
                if (i % orderEvery == 0)
                    feed.step();
                env.clock.advance(1000);
                window->service().tick();
                env.clock.sleeps.clear(); // the fake's record of pauses is no part of the service
                if (i % reprintEvery == 0 && window->fg1->Rows() > 1) {
                    platform::GridModel &fg1 = *window->fg1;
                    const int last = fg1.Rows() - 1;
                    fg1.setRow(last);
                    fg1.selectionModel()->select(
                        fg1.index(last, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                    window->cmdPrintRow->click();
                    tickets += printers.jobs.size();
                    printers.jobs.clear(); // captured, looked at, let go as the spooler would
                }
            }
        };
        run(2000); // caches, the SQLite page cache and the first grid pages settle
        const qint64 before = residentBytes();
        const qint64 rowsBefore = gridRowBytes(*window->fg1) + gridRowBytes(*window->fgLog);
        const int fdsBefore = openDescriptors();
        QElapsedTimer timer;
        timer.start();
        run(cycles);
        const double seconds = timer.elapsed() / 1000.0;
        window->service().scan(); // the rows of the last few seconds
        const int fdsAfter = openDescriptors();
        const qint64 growth = residentBytes() - before;
        const qint64 rows = gridRowBytes(*window->fg1) + gridRowBytes(*window->fgLog) - rowsBefore;
        const qint64 inTable
            = scalar(posLink, u"SELECT count(*) FROM ORDERI WHERE KPort = '"_s + port + u"'"_s);
        state.counters["cycles"] = cycles;
        state.counters["port_rows"] = double(inTable);
        state.counters["rows_listed"] = window->fg1->Rows() - 1;
        state.counters["tickets"] = double(tickets);
        state.counters["rss_growth_MB"] = growth / 1048576.0;
        state.counters["grid_rows_MB"] = rows / 1048576.0;
        state.counters["beyond_rows_MB"] = (growth - rows) / 1048576.0;
        state.counters["fds_before"] = fdsBefore;
        state.counters["fds_after"] = fdsAfter;
        state.counters["us_per_cycle"] = seconds * 1e6 / cycles;
        if (fdsAfter > fdsBefore)
            state.SkipWithError("file descriptors were left open");
        if (window->fg1->Rows() - 1 != inTable)
            state.SkipWithError("rows were lost or listed twice");
        if (listing && tickets == 0)
            state.SkipWithError("no reprint reached the printer");
    }
    posLink.close();
    cnt.close();
}
BENCHMARK(BM_Soak)->Args({ 100000, 1 })->Args({ 100000, 0 })->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
