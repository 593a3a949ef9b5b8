// The kitchen service without a window, on its own connection: what it lists, when it lists it,
// what holds it back, the wake of another connection's commit on SQLite and PostgreSQL, and the
// kitchen's screens that follow the table whatever the watch does.
#include "core/databasewake.h"
#include "core/kitchenservice.h"
#include "core/serviceecho.h"
#include "db/dbglobals.h"
#include "kds/kitchendisplay.h"
#include "platform/echo.h"
#include "support/fake_printers.h"
#include "support/test_environment.h"
#include "test_watch_db.h"
#include "util/globals.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QWebSocket>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tavo;
using core::KitchenService;
using test::Server;

namespace {

// A kitchen screen as the page sees the display: the cards by order id, kept between messages
// that bring only the changed ones, and the notice about the watch.
class Screen {
public:
    explicit Screen(QUrl url)
    {
        url.setScheme(u"ws"_s);
        url.setPath(u"/ws"_s);
        QObject::connect(&m_socket, &QWebSocket::binaryMessageReceived, [this](const QByteArray &text) {
            const QJsonObject message = QJsonDocument::fromJson(text).object();
            if (message.contains(u"watch"_s)) {
                notice = message[u"watch"_s].toString();
                return;
            }
            const QJsonObject board = message[u"board"_s].toObject();
            const QJsonObject changed = board[u"cards"_s].toObject();
            for (auto it = changed.begin(); it != changed.end(); ++it)
                cards.insert(it.key(), it.value().toObject());
            QHash<QString, QJsonObject> kept;
            for (const QJsonValue &id : board[u"order"_s].toArray())
                kept.insert(id.toString(), cards.value(id.toString()));
            cards = std::move(kept);
        });
        m_socket.open(url);
    }
    // The highest RNo on the card of `order`; 0 without a card.
    qint64 upTo(const QString &order) const { return qint64(cards.value(order)[u"upTo"_s].toDouble()); }

    QHash<QString, QJsonObject> cards;
    QString notice = u"(none yet)"_s;

private:
    QWebSocket m_socket;
};

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class ServiceTest : public ::testing::TestWithParam<Server> {
protected:
    void SetUp() override
    {
        if (GetParam() == Server::PostgreSQL && test::postgresConnectionString().isEmpty())
            GTEST_SKIP() << "TAVO_TEST_PG_HOST is not set";
        platform::setEchoEnabled(false);
        QDir(env.dir()).mkdir(u"LOG"_s);
        // The POS writes through a connection of its own; the service gets another one, and the
        // program's main connection stays closed: the service reads nothing through it.
        pos = std::make_unique<test::OrderTable>(posLink, GetParam(), env.path(u"tavo.db"_s));
        cnt.open(posLink.connectionString());
        param(u"OPDATE"_s, u"2026/12/08"_s);
        env.settings.save(u"Tavo3"_s, u"TavoC"_s, u"PrintItem"_s, u"Y"_s);
    }
    void TearDown() override
    {
        service.reset();
        cnt.close();
        pos.reset();
    }
    void param(const QString &id, const QString &value)
    {
        pos->execute(u"DELETE FROM xxPARAM WHERE ParamID = '"_s + id + u"'"_s);
        pos->execute(
            u"INSERT INTO xxPARAM (ParamID, ParamValue) VALUES ('"_s + id + u"', '"_s + value + u"')"_s);
    }
    KitchenService &load()
    {
        service = std::make_unique<KitchenService>(env.site(cnt));
        service->quit = [this](int code) { quits.append(code); };
        service->load();
        return *service;
    }
    QList<qint64> listed() const
    {
        QList<qint64> rnos;
        for (int r = 1; r < service->orders().Rows(); ++r)
            rnos.append(service->orders().TextMatrix(r, 0).toLongLong());
        return rnos;
    }
    // Runs the event loop until `done` or `ms` have passed; the milliseconds it took.
    static qint64 waitFor(const std::function<bool()> &done, int ms)
    {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return clock.elapsed();
    }

    test::TestEnvironment env;
    db::Connection posLink;
    db::Connection cnt;
    std::unique_ptr<test::OrderTable> pos;
    std::unique_ptr<KitchenService> service;
    QList<int> quits;
};

TEST_P(ServiceTest, ListsAndReadsItsParametersThroughTheConnectionItWasGiven)
{
    pos->insert(1);
    param(u"KPCycleTime"_s, u"2"_s);
    KitchenService &s = load();
    EXPECT_EQ(listed(), QList<qint64> { 1 });
    EXPECT_EQ(s.cycleTime(), 2);
    EXPECT_TRUE(s.startTimer().isTicking());
    QSignalSpy dates(&s, &KitchenService::businessDate);
    QSignalSpy rows(&s, &KitchenService::rowsListed);
    ASSERT_TRUE(s.start());
    EXPECT_FALSE(s.startTimer().isTicking()) << "a start cancels the automatic one";
    pos->insert(2);
    pos->insert(3, u"PB"_s);
    s.tick();
    EXPECT_EQ(listed(), QList<qint64> { 1 }) << "one tick of two";
    s.tick();
    EXPECT_EQ(listed(), (QList<qint64> { 1, 2 }));
    ASSERT_EQ(dates.size(), 1);
    EXPECT_EQ(dates[0][0].toString(), u"2026/12/08"_s);
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0][0].toInt(), 2);
    EXPECT_EQ(rows[0][1].toInt(), 1);
}

TEST_P(ServiceTest, AnotherPortStartsANewListAndIsSaved)
{
    pos->insert(1);
    pos->insert(2, u"PB"_s);
    KitchenService &s = load();
    QSignalSpy changed(&s, &KitchenService::portChanged);
    s.setPort(u"PK"_s);
    EXPECT_TRUE(changed.isEmpty());
    s.setPort(u"PB"_s);
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(env.settings.get(u"Tavo3"_s, u"TavoC"_s, u"DEFKPORT"_s), u"PB"_s);
    EXPECT_TRUE(s.scan());
    EXPECT_EQ(listed(), QList<qint64> { 2 }) << "the list of the new port only";
}

TEST_P(ServiceTest, ABusyServiceHoldsScansAndEndsUntilItIsIdle)
{
    env.clock.set(QDateTime(QDate(2026, 12, 8), QTime(10, 0)));
    pos->insert(1);
    KitchenService &s = load();
    pos->insert(2);
    bool scanned = true;
    s.print([&] {
        EXPECT_EQ(s.state(), KitchenService::State::Printing);
        scanned = s.scan();
        s.requestEnd();
        EXPECT_TRUE(quits.isEmpty()) << "no end between the steps of a job";
    });
    EXPECT_FALSE(scanned);
    EXPECT_EQ(quits, QList<int> { 0 });
    EXPECT_TRUE(s.ended());
    const QByteArray saved = test::TestEnvironment::readBytes(env.path(u"LOG/KPS20261208.TXT"_s));
    EXPECT_TRUE(saved.contains("\r\n1\tPK\t")) << saved.toStdString();
    s.requestEnd();
    EXPECT_EQ(quits.size(), 1) << "one end";
}

TEST_P(ServiceTest, AnotherConnectionsCommitIsListedAtOnceAndOnce)
{
    if (GetParam() == Server::PostgreSQL) {
        QString error;
        ASSERT_TRUE(core::installWakeTrigger(posLink, &error)) << error.toStdString();
    }
    param(u"KPCycleTime"_s, u"5"_s);
    KitchenService &s = load();
    ASSERT_TRUE(s.start());
    EXPECT_EQ(s.wakeSource(), QString::fromUtf8(test::serverName(GetParam())));
    for (qint64 rno : { 1, 2, 3 }) {
        pos->insert(rno);
        const qint64 ms = waitFor([&] { return listed().size() == rno; }, 900);
        EXPECT_LT(ms, 900) << "row " << rno << " waited for the cycle";
    }
    // A commit while the service is busy is served as soon as it is idle, without the cycle.
    s.print([&] {
        pos->insert(4);
        waitFor([] { return false; }, 100);
    });
    EXPECT_LT(waitFor([&] { return listed().size() == 4; }, 900), 900);
    EXPECT_EQ(listed(), (QList<qint64> { 1, 2, 3, 4 }));

    // Switched off, the service keeps to its cycle.
    s.stop();
    env.settings.save(u"Tavo3"_s, u"TavoC"_s, u"WakeOnCommit"_s, u"N"_s);
    QSignalSpy cycles(&s, &KitchenService::businessDate);
    ASSERT_TRUE(s.start());
    EXPECT_EQ(s.wakeSource(), QString());
    // The cycle counts on from before the stop: its next scan may come at any moment, so the
    // commit goes in just after one, a whole cycle before the next.
    waitFor([&] { return !cycles.isEmpty(); }, 6000);
    ASSERT_FALSE(cycles.isEmpty());
    pos->insert(5);
    waitFor([] { return false; }, 300);
    EXPECT_EQ(listed().size(), 4);
}

// The operator's reprint is a print job of the service: a scan asked for meanwhile is refused,
// and another connection's commit is listed once the tickets are out, not between them.
TEST_P(ServiceTest, AScanOrAWakeDuringAReprintWaitsForItsEnd)
{
    if (GetParam() == Server::PostgreSQL) {
        QString error;
        ASSERT_TRUE(core::installWakeTrigger(posLink, &error)) << error.toStdString();
    }
    test::FakePrinterCatalog printers { { u"TM-T88 Kitchen"_s } };
    pos->insert(1);
    KitchenService &s = load();
    s.config().setPrinter(u"TM-T88 Kitchen"_s);
    s.config().setPrinterType(u"EPSONTM"_s);
    ASSERT_TRUE(s.start());
    ASSERT_EQ(listed(), QList<qint64> { 1 });
    s.orders().setRow(1);

    QList<KitchenService::State> states;
    bool scanned = true;
    QList<qint64> listedWhilePrinting;
    printers.refuseIf = [&](const print::PrintDocument &) {
        states.append(s.state());
        pos->insert(2);
        scanned = s.scan();
        waitFor([] { return false; }, 300); // many polls of the wake
        listedWhilePrinting = listed();
        return false;
    };
    const tickets::PrintRowResult result = s.reprintSelected();
    printers.refuseIf = {};
    EXPECT_EQ(result.outcome, tickets::ReprintOutcome::Printed) << result.message.toStdString();
    ASSERT_EQ(printers.jobs.size(), 1);
    EXPECT_EQ(states, QList<KitchenService::State> { KitchenService::State::Printing });
    EXPECT_FALSE(scanned);
    EXPECT_EQ(listedWhilePrinting, QList<qint64> { 1 }) << "nothing listed between the tickets";
    EXPECT_EQ(s.state(), KitchenService::State::Idle);
    EXPECT_LT(waitFor([&] { return listed().size() == 2; }, 900), 900) << "the held wake is served after";
}

TEST_P(ServiceTest, PostgreSQLWithoutTheTriggerKeepsToTheCycle)
{
    if (GetParam() != Server::PostgreSQL)
        GTEST_SKIP() << "SQLite needs nothing installed";
    KitchenService &s = load();
    ASSERT_TRUE(s.start());
    EXPECT_EQ(s.wakeSource(), QString()) << "never created by the service itself";
    EXPECT_FALSE(core::hasWakeTrigger(cnt));
    EXPECT_EQ(core::wakeTriggerStatements().size(), 3);
}

TEST_P(ServiceTest, TheKitchenScreensFollowTheTableWhateverTheWatchDoes)
{
    if (GetParam() == Server::PostgreSQL) {
        QString error;
        ASSERT_TRUE(core::installWakeTrigger(posLink, &error)) << error.toStdString();
    }
    // Five ticks between scans: a card within a second came by the wake, not by the cycle.
    param(u"KPCycleTime"_s, u"5"_s);
    using W = KitchenService::WatchState;
    const struct {
        const char *name;
        std::function<void(KitchenService &)> enter;
        W state;
        QString notice;
        bool lists;
    } cases[] = {
        { "before the automatic start", [](KitchenService &) {}, W::Waiting, u"點單監看尚未啟動"_s, false },
        { "in setting mode",
            [](KitchenService &s) {
                s.setSettingMode(true);
                EXPECT_FALSE(s.start());
            },
            W::Setting, u"設定中, 點單監看未啟動"_s, false },
        { "without 列印菜條",
            [](KitchenService &s) {
                s.setListing(false);
                EXPECT_TRUE(s.start());
            },
            W::NotListing, u"列印菜條未勾選, 不檢查新點單"_s, false },
        { "stopped",
            [](KitchenService &s) {
                EXPECT_TRUE(s.start());
                s.stop();
            },
            W::Stopped, u"點單監看已暫停"_s, false },
        { "listing", [](KitchenService &s) { EXPECT_TRUE(s.start()); }, W::Listing, QString(), true },
    };
    qint64 rno = 0;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        service.reset();
        // A link of its own for each service: the last one's subscription goes with it.
        cnt.open(posLink.connectionString());
        env.settings.save(u"Tavo3"_s, u"KDS"_s, u"PORT"_s, QString::number(freePort()));
        pos->insert(++rno);
        KitchenService &s = load();
        ASSERT_NE(s.display(), nullptr);
        // Only the wake may bring the card in time: the screens' own reading comes a minute on.
        s.followTimer().setInterval(60000);
        c.enter(s);
        EXPECT_EQ(s.watchState(), c.state);
        EXPECT_EQ(s.wakeSource(), QString::fromUtf8(test::serverName(GetParam())));
        Screen screen(s.display()->url());
        EXPECT_LT(
            waitFor([&] { return screen.notice == c.notice && screen.upTo(u"A05-1"_s) == rno; }, 5000), 5000)
            << screen.notice.toStdString();

        const QList<qint64> before = listed();
        const qint64 bound = s.scanBound().highest();
        QSignalSpy rows(&s, &KitchenService::rowsListed);
        for (int i = 0; i < 3; ++i) {
            pos->insert(++rno);
            const qint64 ms = waitFor([&] { return screen.upTo(u"A05-1"_s) == rno; }, 900);
            EXPECT_LT(ms, 900) << "row " << rno << " waited for the cycle";
        }
        if (c.lists) {
            EXPECT_EQ(listed().size(), before.size() + 3);
        } else {
            EXPECT_EQ(listed(), before) << "the watch lists nothing meanwhile";
            EXPECT_EQ(s.scanBound().highest(), bound) << "nor moves its bound";
            EXPECT_TRUE(rows.isEmpty());
        }
    }
}

TEST_P(ServiceTest, WithoutAWakeTheScreensReadTheTableEverySecond)
{
    env.settings.save(u"Tavo3"_s, u"TavoC"_s, u"WakeOnCommit"_s, u"N"_s);
    env.settings.save(u"Tavo3"_s, u"KDS"_s, u"PORT"_s, QString::number(freePort()));
    pos->insert(1);
    KitchenService &s = load();
    ASSERT_NE(s.display(), nullptr);
    EXPECT_EQ(s.wakeSource(), QString());
    Screen screen(s.display()->url());
    ASSERT_LT(waitFor([&] { return screen.upTo(u"A05-1"_s) == 1; }, 5000), 5000);
    const QList<qint64> before = listed();
    pos->insert(2);
    EXPECT_LT(waitFor([&] { return screen.upTo(u"A05-1"_s) == 2; }, 2500), 2500);
    EXPECT_EQ(listed(), before) << "the watch waits for its start";
}

// The echo of a run without a window is a view of the service: what it lists, what its display
// and its connection say, line by line in the order they happen; a service no view binds says
// nothing, however much it lists.
TEST_P(ServiceTest, TheHeadlessEchoTellsTheServiceInOrderAndOnlyWhereBound)
{
    QStringList echoed;
    platform::setEchoEnabled(true);
    platform::setEchoSink([&](const QString &line) { echoed.append(line); });
    const auto kinds = [&] {
        QStringList of;
        for (const QString &line : std::as_const(echoed))
            of.append(line.section(u'\t', 0, 0));
        return of;
    };
    pos->insert(1);
    pos->insert(2);
    env.settings.save(u"Tavo3"_s, u"KDS"_s, u"PORT"_s, QString::number(freePort()));
    {
        KitchenService unbound(env.site(cnt));
        unbound.load();
        pos->insert(3);
        EXPECT_TRUE(unbound.scan());
        ASSERT_NE(unbound.display(), nullptr);
    }
    EXPECT_TRUE(echoed.isEmpty()) << echoed.join(u'\n').toStdString();
    echoed.clear();

    env.settings.save(u"Tavo3"_s, u"KDS"_s, u"PORT"_s, QString::number(freePort()));
    service = std::make_unique<KitchenService>(env.site(cnt));
    core::echoService(*service, core::EchoMessages::Yes);
    service->load();
    ASSERT_NE(service->display(), nullptr);
    EXPECT_EQ(kinds(),
        (QStringList { u"fg1"_s, u"fg1"_s, u"fg1"_s, u"fg1"_s, u"kds"_s, u"elaMsg"_s, g().gExeName }));
    EXPECT_TRUE(echoed.value(0).startsWith(u"fg1\t記錄序號\t送廚出口\t"_s)) << "the captions come first";
    EXPECT_TRUE(echoed.value(1).startsWith(u"fg1\t1\tPK\t"_s));
    EXPECT_TRUE(echoed.value(3).startsWith(u"fg1\t3\tPK\t"_s));
    EXPECT_EQ(echoed.value(3).split(u'\t').size(), 15) << "the kind and the 14 cells";
    EXPECT_EQ(echoed.value(4), u"kds\t廚房看板: "_s + service->display()->url().toString());
    echoed.clear();

    pos->insert(4);
    EXPECT_TRUE(service->scan());
    ASSERT_EQ(echoed.size(), 1);
    EXPECT_TRUE(echoed[0].startsWith(u"fg1\t4\tPK\t"_s));
    echoed.clear();

    // The server ends the service's session: the next scan finds the link lost and opens it
    // again, and says both; the link of another connection is none of the echo's business.
    if (GetParam() == Server::PostgreSQL) {
        const QString pid
            = cnt.openRecordset(u"SELECT pg_backend_pid() AS pid"_s, db::Cursor::Client).text(u"pid"_s);
        posLink.execute(u"SELECT pg_terminate_backend("_s + pid + u")"_s);
        pos->insert(5);
        EXPECT_TRUE(service->scan());
        ASSERT_EQ(kinds(), (QStringList { u"gCNT"_s, u"gCNT"_s, u"fg1"_s }))
            << echoed.join(u'\n').toStdString();
        EXPECT_TRUE(echoed[0].startsWith(u"gCNT\t資料庫連線中斷: "_s)) << echoed[0].toStdString();
        EXPECT_EQ(echoed[1], u"gCNT\t資料庫連線恢復"_s);
        echoed.clear();

        db::Connection other;
        other.open(posLink.connectionString());
        const QString otherPid
            = other.openRecordset(u"SELECT pg_backend_pid() AS pid"_s, db::Cursor::Client).text(u"pid"_s);
        posLink.execute(u"SELECT pg_terminate_backend("_s + otherPid + u")"_s);
        EXPECT_EQ(other.openRecordset(u"SELECT 7 AS n"_s, db::Cursor::Client).text(u"n"_s), u"7"_s);
        EXPECT_TRUE(echoed.isEmpty()) << echoed.join(u'\n').toStdString();
    }

    // A display that cannot listen says why, once, and is not kept.
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    env.settings.save(u"Tavo3"_s, u"KDS"_s, u"PORT"_s, QString::number(taken.serverPort()));
    service = std::make_unique<KitchenService>(env.site(cnt));
    core::echoService(*service, core::EchoMessages::Yes);
    service->load();
    platform::setEchoSink({});
    platform::setEchoEnabled(false);
    EXPECT_EQ(service->display(), nullptr);
    const QStringList said = echoed.filter(QRegularExpression(u"^kds\t"_s));
    ASSERT_EQ(said.size(), 1) << echoed.join(u'\n').toStdString();
    EXPECT_TRUE(env.readErr().contains(u"KitchenDisplay_start"_s));
    EXPECT_TRUE(env.readErr().contains(said[0].section(u'\t', 1))) << said[0].toStdString();
}

INSTANTIATE_TEST_SUITE_P(Servers, ServiceTest, ::testing::Values(Server::SQLite, Server::PostgreSQL),
    [](const auto &info) { return std::string(test::serverName(info.param)); });

} // namespace
