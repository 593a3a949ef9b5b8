// Order to screen: a second connection inserts ORDERI rows at random moments while the service
// runs on its own connection; each row's latency runs from the insert's commit to the moment the
// service's order list holds it. Cycle only (KPCycleTime 1, the wake off) and woken, on SQLite
// and on the PostgreSQL of ./test.sh (TAVO_TEST_PG_*, with the opt-in trigger installed):
//   BM_OrderToScreen/<server>/<woken>   p50, p99 and max in milliseconds
//   BM_WakeIdleCpu/<server>             the process's CPU over 5 s of a running service with
//                                       nothing to list, wake on and off, in % of one core
#include "core/databasewake.h"
#include "core/kitchenservice.h"
#include "db/connection.h"
#include "platform/echo.h"
#include "platform/systemclock.h"
#include "support/test_environment.h"
#include "test_watch_db.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QTimer>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>

using namespace Qt::StringLiterals;
using namespace tavo;

namespace {

double cpuSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The event loop for `ms`, asleep while nothing happens (as the program's own loop is).
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct WakeSite {
    explicit WakeSite(test::Server server)
    {
        platform::setEchoEnabled(false);
        platform::services().clock = &clock; // real seconds: the cycle's timers are real
        table = std::make_unique<test::OrderTable>(posLink, server, env.path(u"wake.db"_s));
        if (server == test::Server::PostgreSQL)
            core::installWakeTrigger(posLink, nullptr);
        cnt.open(posLink.connectionString());
        table->execute(u"INSERT INTO xxPARAM (ParamID, ParamValue) VALUES ('KPCycleTime', '1')"_s);
        env.settings.save(u"Tavo3"_s, u"TavoC"_s, u"PrintItem"_s, u"Y"_s);
    }
    ~WakeSite()
    {
        service.reset();
        cnt.close();
        table.reset();
    }
    core::KitchenService &run(bool woken)
    {
        env.settings.save(u"Tavo3"_s, u"TavoC"_s, u"WakeOnCommit"_s, woken ? u"Y"_s : u"N"_s);
        service = std::make_unique<core::KitchenService>(env.site(cnt));
        service->quit = [](int) {};
        service->load();
        service->start();
        return *service;
    }

    test::TestEnvironment env;
    platform::SystemClock clock;
    db::Connection posLink, cnt;
    std::unique_ptr<test::OrderTable> table;
    std::unique_ptr<core::KitchenService> service;
};

bool serverMissing(benchmark::State &state, test::Server server)
{
    if (server == test::Server::PostgreSQL && test::postgresConnectionString().isEmpty()) {
        state.SkipWithError("TAVO_TEST_PG_HOST is not set");
        return true;
    }
    return false;
}

void BM_OrderToScreen(benchmark::State &state)
{
    const auto server = test::Server(state.range(0));
    const bool woken = state.range(1) != 0;
    if (serverMissing(state, server))
        return;
    // The cycle's orders wait up to a second each: fewer of them tell its spread as well.
    const int orders = woken ? 200 : 30;
    for (auto _ : state) {
        WakeSite site(server);
        core::KitchenService &service = site.run(woken);
        if (woken && service.wakeSource().isEmpty()) {
            state.SkipWithError("the database cannot wake the service");
            return;
        }
        std::vector<double> latencies;
        QElapsedTimer committed;
        qint64 rno = 0;
        QObject::connect(&service, &core::KitchenService::rowsListed, &service, [&](int first, int count) {
            const QString last = service.orders().TextMatrix(first + count - 1, 0);
            if (last.toLongLong() == rno && committed.isValid()) {
                latencies.push_back(committed.nsecsElapsed() / 1e6);
                committed.invalidate();
            }
        });
        QRandomGenerator random(15);
        while (int(latencies.size()) < orders) {
            // A random moment, the cycle's phase included.
            runFor(woken ? 20 + int(random.bounded(80)) : 200 + int(random.bounded(1300)));
            if (committed.isValid())
                continue; // the last one is not on screen yet
            site.table->insert(++rno);
            committed.start();
        }
        std::sort(latencies.begin(), latencies.end());
        auto at = [&](double q) {
            return latencies[std::min(latencies.size() - 1, size_t(q * latencies.size()))];
        };
        state.counters["orders"] = double(latencies.size());
        state.counters["p50_ms"] = at(0.50);
        state.counters["p99_ms"] = at(0.99);
        state.counters["max_ms"] = latencies.back();
    }
}
BENCHMARK(BM_OrderToScreen)
    ->ArgNames({ "pg", "woken" })
    ->Args({ 0, 0 })
    ->Args({ 0, 1 })
    ->Args({ 1, 0 })
    ->Args({ 1, 1 })
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

void BM_WakeIdleCpu(benchmark::State &state)
{
    const auto server = test::Server(state.range(0));
    if (serverMissing(state, server))
        return;
    for (auto _ : state) {
        WakeSite site(server);
        double percent[2] = {};
        for (bool woken : { false, true }) {
            site.run(woken);
            runFor(500);
            const double cpu = cpuSeconds();
            QElapsedTimer wall;
            wall.start();
            runFor(5000);
            percent[woken] = 100.0 * (cpuSeconds() - cpu) / (wall.nsecsElapsed() / 1e9);
        }
        state.counters["cycle_cpu_pct"] = percent[0];
        state.counters["woken_cpu_pct"] = percent[1];
        state.counters["wake_cpu_pct"] = percent[1] - percent[0];
    }
}
BENCHMARK(BM_WakeIdleCpu)->ArgName("pg")->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
