// The shift item-summary report on an ORDERI of 1,000,000 rows over 30 business days with 300
// distinct items (SQLite, the demo's indexes):
//   BM_DayShiftReport   the kitchen report of one day's lunch shift, from the button to a laid-out
//                       document, against its main SELECT alone read in the same loop;
//   BM_AllRowsReport    the report of a window that covers every row of the table.
// The service-time report ("出餐時間統計") on a day of 100,000 kitchen items with the display's
// bumps (bench::serviceTimeSite):
//   BM_ServiceTimesShift   a shift of 10,000 bumped items, from the button to a laid-out document;
//   BM_ServiceTimesDay     the whole day;
// each against reading its items alone in the same loop.
#include "benchdata.h"
#include "db/connection.h"
#include "db/dbglobals.h"
#include "db/site.h"
#include "demo/demoschema.h"
#include "demo/rowgenerator.h"
#include "platform/gridmodel.h"
#include "platform/services.h"
#include "reports/shiftreport.h"
#include "reports/speedreport.h"
#include "util/globals.h"
#include "util/grids.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <utility>

using namespace Qt::StringLiterals;
using namespace tavo;

using bench::millionRowDatabase;

namespace {

const QDate kLastDay = bench::kBenchLastDay;
const QDate kFirstDay = kLastDay.addDays(-29);

// The report's preview without a window: the document is laid out and kept, nothing is shown.
struct HeadlessPreview : reports::ReportPreview {
    explicit HeadlessPreview(print::PrintDocument &laidOut)
        : laidOut(laidOut)
    {
    }
    print::PrintSurface &surface() override { return vsp; }
    platform::GridModel &listGrid() override { return list; }
    void setZoom(int) override { }
    void showModal() override { laidOut = vsp.document(); }
    print::PrintSurface vsp;
    platform::GridModel list;
    print::PrintDocument &laidOut;
};

struct Bench {
    db::Connection cnt;
    print::PrintDocument laidOut;
    reports::PreviewFactory factory = [this] { return std::make_unique<HeadlessPreview>(laidOut); };
    Bench()
    {
        cnt.open(u"Provider=SQLite;Data Source="_s + millionRowDatabase());
        demo::createSchema(cnt); // indexes added since the table was made
        SetDBType(cnt.provider());
    }
    int itemRows() const { return int(laidOut.tableRows().size()); }
    Site site() { return { g(), cnt, platform::services() }; }
};

double mainSelectMs(db::Connection &cnt, const reports::ShiftWindow &window)
{
    QElapsedTimer timer;
    timer.start();
    db::Recordset rs = cnt.openRecordset(reports::kpTypeListSql(u"PK"_s, window, true));
    for (; !rs.eof(); rs.moveNext())
        benchmark::DoNotOptimize(rs.value(5));
    return timer.nsecsElapsed() / 1e6;
}

void BM_DayShiftReport(benchmark::State &state)
{
    Bench bench;
    QTemporaryDir appDir;
    platform::GridModel fg2;
    fg2.setColumns(grids::ShiftTable::columns);
    fg2.addRow({ u"午班"_s, u"11:00"_s, u"14:00"_s });
    fg2.setRow(1);
    const QString day = kFirstDay.addDays(15).toString(u"yyyy/MM/dd"_s);
    const reports::ShiftInput input { fg2, day, {}, appDir.path() };
    double floorMs = 0;
    for (auto _ : state) {
        if (reports::printKitchenShiftReport(input, bench.site(), bench.factory, [](const QString &) {})
            != reports::ReportOutcome::Shown) {
            state.SkipWithError("the report was not laid out");
            return;
        }
        state.PauseTiming();
        floorMs += mainSelectMs(bench.cnt, { day, day, u"11:00:00"_s, u"14:00:59"_s });
        state.ResumeTiming();
    }
    state.counters["table_rows"] = bench.itemRows();
    state.counters["main_select_ms"] = floorMs / double(state.iterations());
}
BENCHMARK(BM_DayShiftReport)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_AllRowsReport(benchmark::State &state)
{
    Bench bench;
    const QString first = kFirstDay.toString(u"yyyy/MM/dd"_s), last = kLastDay.toString(u"yyyy/MM/dd"_s);
    double floorMs = 0;
    for (auto _ : state) {
        if (reports::printItemSummary(
                { u"PK"_s, u"廚房"_s, { first, last, u"00:00:00"_s, u"23:59:59"_s }, {} }, bench.site(),
                bench.factory, [](const QString &) {})
            != reports::ReportOutcome::Shown) {
            state.SkipWithError("the report was not laid out");
            return;
        }
        state.PauseTiming();
        floorMs += mainSelectMs(bench.cnt, { first, last, u"00:00:00"_s, u"23:59:59"_s });
        state.ResumeTiming();
    }
    state.counters["table_rows"] = bench.itemRows();
    state.counters["main_select_ms"] = floorMs / double(state.iterations());
    state.counters["window_rows"]
        = double(bench.cnt
                     .openRecordset(u"SELECT COUNT(*) FROM ORDERI WHERE OrderDate >= '"_s + first
                         + u" 00:00:00' AND OrderDate <= '"_s + last + u" 00:00:00'"_s)
                     .value(0)
                     .toLongLong());
}
BENCHMARK(BM_AllRowsReport)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The evening after the benchmark's day, whenever the benchmark runs: the display still keeps
// that day's bumps.
struct DayAfterClock : platform::Clock {
    QDateTime now() const override { return QDateTime(kLastDay.addDays(1), QTime(20, 0)); }
    void sleepMs(int) override { }
};

struct ServiceTimeBench {
    DayAfterClock clock;
    platform::Clock *systemClock = std::exchange(platform::services().clock, &clock);
    db::Connection cnt;
    QString site = bench::serviceTimeSite();
    print::PrintDocument laidOut;
    platform::GridModel fg2;
    reports::PreviewFactory factory = [this] { return std::make_unique<HeadlessPreview>(laidOut); };
    ServiceTimeBench()
    {
        cnt.open(u"Provider=SQLite;Data Source="_s + site + u"/site.db"_s);
        SetDBType(cnt.provider());
        fg2.setColumns(grids::ShiftTable::columns);
    }
    ~ServiceTimeBench() { platform::services().clock = systemClock; }
};

void runServiceTimes(benchmark::State &state, const QString &timeB, const QString &timeE)
{
    ServiceTimeBench bench;
    bench.fg2.addRow({ u"班"_s, timeB, timeE });
    bench.fg2.setRow(1);
    const QString day = kLastDay.toString(u"yyyy/MM/dd"_s);
    const reports::ShiftInput input { bench.fg2, day, {}, bench.site };
    const reports::ShiftWindow window { day, day, timeB + u":00"_s, timeE + u":59"_s };
    double readMs = 0;
    qsizetype items = 0;
    for (auto _ : state) {
        if (reports::printServiceTimeReport(input, u"PK"_s, Site { g(), bench.cnt, platform::services() },
                bench.factory, [](const QString &) {})
            != reports::ReportOutcome::Shown) {
            state.SkipWithError("the report was not laid out");
            return;
        }
        state.PauseTiming();
        QElapsedTimer timer;
        timer.start();
        items = reports::readShiftItems(bench.cnt, u"PK"_s, window).size();
        readMs += timer.nsecsElapsed() / 1e6;
        state.ResumeTiming();
    }
    state.counters["items"] = double(items);
    state.counters["read_items_ms"] = readMs / double(state.iterations());
}

void BM_ServiceTimesShift(benchmark::State &state)
{
    runServiceTimes(state, u"11:00"_s, u"12:23"_s);
}
BENCHMARK(BM_ServiceTimesShift)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ServiceTimesDay(benchmark::State &state)
{
    runServiceTimes(state, u"00:00"_s, u"23:59"_s);
}
BENCHMARK(BM_ServiceTimesDay)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
