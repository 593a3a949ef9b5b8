// The service when the world around it fails: the PostgreSQL server of ./test.sh restarted
// between and during scans, reprints and reports; the real program ended by SIGTERM while it
// lists a large table and while it writes its grid files.
#include "core/databasewake.h"
#include "core/startup.h"
#include "db/connection.h"
#include "db/dbglobals.h"
#include "demo/demoschema.h"
#include "demo/demosite.h"
#include "demo/rowgenerator.h"
#include "gui/fmTavoKPortSrv.h"
#include "gui/qtprompter.h"
#include "platform/codepage.h"
#include "platform/echo.h"
#include "platform/gridmodel.h"
#include "print/printsurface.h"
#include "reports/reportpreview.h"
#include "reports/shiftreport.h"
#include "support/fake_printers.h"
#include "support/test_environment.h"
#include "test_watch_db.h"
#include "tickets/kitchenticketprinter.h"
#include "tickets/reprint.h"
#include "util/globals.h"
#include "util/grids.h"
#include "watch/orderwatch.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopedValueRollback>
#include <QSet>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace tavo;
using test::OrderTable;
using test::Server;

namespace {

// ---- The PostgreSQL server going away and coming back

// pg_ctl on the test cluster, as the user that owns it; true when it succeeded.
bool pgCtl(const QStringList &args)
{
    QString program = qEnvironmentVariable("TAVO_TEST_PG_CTL");
    QStringList all = QStringList { u"-D"_s, qEnvironmentVariable("TAVO_TEST_PG_DATA"), u"-l"_s,
        qEnvironmentVariable("TAVO_TEST_PG_LOG"), u"-w"_s, u"-t"_s, u"60"_s }
        + args;
    if (const QString owner = qEnvironmentVariable("TAVO_TEST_PG_OS_USER"); !owner.isEmpty()) {
        all = QStringList { u"-u"_s, owner, u"--"_s, program } + all;
        program = u"runuser"_s;
    }
    QProcess ctl;
    ctl.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    ctl.start(program, all);
    return ctl.waitForFinished(90000) && ctl.exitStatus() == QProcess::NormalExit && ctl.exitCode() == 0;
}

bool startServer()
{
    return pgCtl({ u"status"_s })
        || pgCtl({ u"-o"_s, qEnvironmentVariable("TAVO_TEST_PG_OPTIONS"), u"start"_s });
}

// Whatever a test did to it, the cluster is running when the test is over.
struct ServerKeptUp {
    ~ServerKeptUp()
    {
        if (!startServer())
            ADD_FAILURE() << "the PostgreSQL cluster could not be started again";
    }
};

// How often `text` occurs in `log`.
int occurrences(const QString &log, const QString &text)
{
    return int(log.count(text));
}

// Runs the event loop until `done` or `ms` have passed; the milliseconds it took.
qint64 waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return clock.elapsed();
}

class ServerRestartTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::setEchoEnabled(false);
        if (test::postgresConnectionString().isEmpty() || qEnvironmentVariableIsEmpty("TAVO_TEST_PG_CTL"))
            GTEST_SKIP() << "no PostgreSQL cluster of ./test.sh to restart (TAVO_TEST_PG_CTL)";
        up = std::make_unique<ServerKeptUp>();
        // The POS writes through a connection of its own, so the service's connection finds the
        // link lost by itself, as on a site.
        pos = std::make_unique<OrderTable>(posLink, Server::PostgreSQL, QString());
        db::gCNT().open(posLink.connectionString());
        SetDBType(db::gCNT().provider());
        watch::InitFG1(fg1);
    }
    void TearDown() override
    {
        db::gCNT().setStatementHook({});
        up.reset();
        pos.reset();
    }

    // The server away: connections refused until startServer().
    static void stopServer() { ASSERT_TRUE(pgCtl({ u"-m"_s, u"fast"_s, u"stop"_s })); }

    void restartServer()
    {
        const QString before = serverStart();
        ASSERT_TRUE(pgCtl({ u"-m"_s, u"fast"_s, u"restart"_s }));
        ASSERT_NE(serverStart(), before) << "a server of its own start";
    }
    static QString serverStart()
    {
        db::Connection admin;
        admin.open(test::postgresConnectionString());
        return admin
            .openRecordset(u"SELECT CAST(pg_postmaster_start_time() AS text) AS t"_s, db::Cursor::Client)
            .text(0);
    }

    bool scan(const watch::RowHook &hook = {})
    {
        return watch::AddFG1(fg1, bound, u"PK"_s, db::gCNT(), hook);
    }

    // A site whose window lists the port: business date set, "列印菜條" on, a LOG folder, row 1.
    void prepareListingSite()
    {
        g().gOPDate = u"2026/12/07"_s;
        pos->execute(u"INSERT INTO xxPARAM (ParamID, ParamValue) VALUES ('OPDATE', '2026/12/07')"_s);
        env.settings.save(u"Tavo3"_s, u"TavoC"_s, u"PrintItem"_s, u"Y"_s);
        QDir(env.dir()).mkdir(u"LOG"_s);
        pos->insert(1);
    }

    // The record numbers of the order list the window saved at its end.
    QStringList savedList() const
    {
        QStringList saved;
        const QString list
            = platform::fromAnsi(test::TestEnvironment::readBytes(env.path(u"LOG/KPS20261207.TXT"_s)));
        for (const QString &line : list.split(u"\r\n"_s, Qt::SkipEmptyParts).mid(1))
            saved.append(line.section(u'\t', 0, 0));
        return saved;
    }

    QList<qint64> listed() const
    {
        QList<qint64> rnos;
        for (int r = 1; r < fg1.Rows(); ++r)
            rnos.append(fg1.TextMatrix(r, grids::OrderList::RNo).toLongLong());
        return rnos;
    }

    QStringList column(const QString &sql)
    {
        QStringList values;
        for (db::Recordset rs = posLink.openRecordset(sql, db::Cursor::Client); !rs.eof(); rs.moveNext())
            values.append(rs.text(0));
        return values;
    }

    test::TestEnvironment env;
    test::FakePrinterCatalog printers { { u"TM-T88 Kitchen"_s } };
    std::unique_ptr<ServerKeptUp> up;
    db::Connection posLink;
    std::unique_ptr<OrderTable> pos;
    platform::GridModel fg1;
    watch::ScanBound bound;
};

TEST_F(ServerRestartTest, ScansAroundAndDuringRestartsListEveryRowOnce)
{
    pos->insert(1);
    pos->insert(2);
    ASSERT_TRUE(scan());
    pos->insert(3);
    restartServer();
    pos->insert(4);
    EXPECT_TRUE(scan()) << "the lost link is opened again: " << env.readErr().toStdString();

    // The server goes away while the rows of a scan are being appended.
    for (qint64 rno : { 5, 6, 7 })
        pos->insert(rno);
    bool restarted = false;
    scan([&](const QStringList &) {
        if (!std::exchange(restarted, true))
            restartServer();
    });
    ASSERT_TRUE(restarted);
    pos->insert(8);
    EXPECT_TRUE(scan());

    EXPECT_EQ(listed(), (QList<qint64> { 1, 2, 3, 4, 5, 6, 7, 8 }));
    EXPECT_EQ(bound.highest(), 8);
    EXPECT_TRUE(scan());
    EXPECT_EQ(fg1.Rows(), 9) << "a scan with nothing new after the restarts lists nothing again";
}

TEST_F(ServerRestartTest, ScansThroughAnOutageReportItOnceAndListEveryRowOnceAfter)
{
    pos->insert(1);
    ASSERT_TRUE(scan());
    pos->insert(2); // committed, not yet listed, when the server goes
    stopServer();
    for (int i = 0; i < 5; ++i) {
        env.clock.advance(4000);
        EXPECT_FALSE(scan());
        QString opDate;
        EXPECT_FALSE(getParamValue(u"OPDATE"_s, opDate, db::gCNT()));
    }
    EXPECT_EQ(bound.highest(), 1) << "the bound stays while nothing is read";
    ASSERT_TRUE(startServer());
    pos->insert(3); // before the next scan
    env.clock.advance(4000);
    EXPECT_TRUE(scan()) << env.readErr().toStdString();
    pos->insert(4);
    EXPECT_TRUE(scan());

    EXPECT_EQ(listed(), (QList<qint64> { 1, 2, 3, 4 }));
    const QString err = env.readErr();
    EXPECT_EQ(occurrences(err, u"**記錄時間"_s), 1) << err.toStdString();
    EXPECT_EQ(occurrences(err, u"(fmTavoKPortSrv_AddFG1)"_s), 1);
    EXPECT_EQ(env.prompter.boxes.size(), 1) << "the scan found the loss and showed it once";
    const QString log = env.readLog();
    EXPECT_EQ(occurrences(log, u"資料庫連線中斷"_s), 1) << log.toStdString();
    EXPECT_EQ(occurrences(log, u"資料庫連線恢復"_s), 1);
    EXPECT_LT(log.indexOf(u"資料庫連線中斷"_s), log.indexOf(u"資料庫連線恢復"_s));
}

// A minute of service time (60 ticks of the simulated clock, the service's only sense of time)
// with the server really stopped throughout: the reconnection depends on no length of outage.
TEST_F(ServerRestartTest, TheRunningWindowRidesOutAMinuteLongOutage)
{
    prepareListingSite();
    gui::fmTavoKPortSrv w;
    QList<int> quits;
    w.service().quit = [&](int code) { quits.append(code); };
    w.cmdStart->click();
    auto ticks = [&](int n) {
        for (int i = 0; i < n; ++i) {
            env.clock.advance(1000);
            w.service().tick();
        }
    };

    pos->insert(2);
    stopServer();
    ticks(60);
    ASSERT_TRUE(startServer());
    pos->insert(3);
    ticks(int(w.service().cycleTime()));
    pos->insert(4);
    ticks(int(w.service().cycleTime()));
    w.service().requestEnd();

    EXPECT_EQ(quits, QList<int> { 0 });
    EXPECT_EQ(savedList(), (QStringList { u"1"_s, u"2"_s, u"3"_s, u"4"_s }));
    const QString err = env.readErr();
    EXPECT_EQ(occurrences(err, u"**記錄時間"_s), 1) << "one report for 60 ticks away: " << err.toStdString();
    EXPECT_LE(env.prompter.boxes.size(), 1);
    const QString log = env.readLog();
    EXPECT_EQ(occurrences(log, u"資料庫連線中斷"_s), 1) << log.toStdString();
    EXPECT_EQ(occurrences(log, u"資料庫連線恢復"_s), 1);
}

TEST_F(ServerRestartTest, TheRunningWindowListsAndSavesEveryRowOnceAcrossRestarts)
{
    prepareListingSite();
    gui::fmTavoKPortSrv w;
    QList<int> quits;
    w.service().quit = [&](int code) { quits.append(code); };
    w.cmdStart->click();
    auto cycle = [&] {
        for (int i = 0; i < int(w.service().cycleTime()); ++i) {
            env.clock.advance(1000);
            w.service().tick();
        }
    };

    restartServer();
    pos->insert(2);
    cycle();
    // The server goes away at a pause in the middle of the next tick.
    pos->insert(3);
    bool restarted = false;
    env.clock.onSleep = [&](int) {
        if ((w.service().state() == core::KitchenService::State::Scanning) && !std::exchange(restarted, true))
            restartServer();
    };
    cycle();
    env.clock.onSleep = {};
    ASSERT_TRUE(restarted);
    pos->insert(4);
    cycle();
    w.service().requestEnd();

    EXPECT_EQ(quits, QList<int> { 0 });
    EXPECT_EQ(savedList(), (QStringList { u"1"_s, u"2"_s, u"3"_s, u"4"_s }));
    EXPECT_TRUE(env.readErr().isEmpty()) << "no error reached the operator: " << env.readErr().toStdString();
}

// The moments of the start at which the server restarts under it.
enum class StartRestart {
    BeforeTheStartTimer, // in the delay before the automatic start
    BeforeTheStartButton,
    InsideStart, // after the start has begun, before the wake is set up
    AfterTheTriggerCheck, // between the look for the trigger and the LISTEN
};

TEST_F(ServerRestartTest, ARestartAtAnyMomentOfTheStartLeavesTheServiceListingAndWoken)
{
    prepareListingSite();
    QString error;
    ASSERT_TRUE(core::installWakeTrigger(posLink, &error)) << error.toStdString();
    qint64 rno = 1;
    for (const StartRestart when : { StartRestart::BeforeTheStartTimer, StartRestart::BeforeTheStartButton,
             StartRestart::InsideStart, StartRestart::AfterTheTriggerCheck }) {
        SCOPED_TRACE(int(when));
        gui::fmTavoKPortSrv w;
        core::KitchenService &s = w.service();
        QList<int> quits;
        s.quit = [&](int code) { quits.append(code); };
        auto listedByService = [&] {
            QList<qint64> rnos;
            for (int r = 1; r < s.orders().Rows(); ++r)
                rnos.append(s.orders().TextMatrix(r, grids::OrderList::RNo).toLongLong());
            return rnos;
        };
        ASSERT_EQ(listedByService().last(), rno);

        switch (when) {
        case StartRestart::BeforeTheStartTimer:
            restartServer();
            s.startTimer().setInterval(1);
            waitFor([&] { return s.running(); }, 5000);
            break;
        case StartRestart::BeforeTheStartButton:
            restartServer();
            w.cmdStart->click();
            break;
        case StartRestart::InsideStart: {
            // The start tells it runs before it sets up the wake.
            const QMetaObject::Connection inside
                = QObject::connect(&s, &core::KitchenService::runningChanged, [this](bool on) {
                      if (on)
                          restartServer();
                  });
            w.cmdStart->click();
            QObject::disconnect(inside);
            break;
        }
        case StartRestart::AfterTheTriggerCheck: {
            bool restarted = false;
            db::gCNT().setStatementHook([&](const QString &sql) {
                if (sql.contains(u"pg_trigger"_s) && !std::exchange(restarted, true))
                    restartServer();
            });
            w.cmdStart->click();
            db::gCNT().setStatementHook({});
            ASSERT_TRUE(restarted);
            break;
        }
        }
        ASSERT_TRUE(s.running());
        EXPECT_EQ(s.wakeSource(), u"PostgreSQL"_s);
        // From here only the wake lists: the cycle is held.
        s.cycleTimer().setInterval(0);
        for (int i = 0; i < 2; ++i) {
            pos->insert(++rno);
            EXPECT_LT(waitFor([&] { return listedByService().last() == rno; }, 3000), 3000)
                << "row " << rno << " not woken for";
        }
        s.requestEnd();
        EXPECT_EQ(quits, QList<int> { 0 });
        QList<qint64> all;
        for (qint64 n = 1; n <= rno; ++n)
            all.append(n);
        EXPECT_EQ(listedByService(), all);
    }
    const QString log = env.readLog();
    const QStringList losses = log.split(u"\r\n"_s).filter(u"資料庫連線中斷: "_s);
    EXPECT_EQ(losses.size(), 4) << log.toStdString();
    for (const QString &line : losses)
        EXPECT_TRUE(line.contains(u"FATAL: terminating connection due to administrator command"_s))
            << "the server's own reason: " << line.toStdString();
    EXPECT_EQ(occurrences(log, u"資料庫連線恢復"_s), 4);
    EXPECT_TRUE(env.readErr().isEmpty()) << env.readErr().toStdString();
}

// While the wake listens, the driver itself reads the server's farewell between two statements
// and closes the link; the next statement finds it closed. The loss is told once, with the
// server's reason and the reconnection's, and nothing of the libraries reaches the echo.
TEST_F(ServerRestartTest, AnOutageWhileTheWakeListensIsReportedOnceWithItsReasonAndNoLibraryNoise)
{
    prepareListingSite();
    QString error;
    ASSERT_TRUE(core::installWakeTrigger(posLink, &error)) << error.toStdString();
    // As the program runs without a screen: library messages to the text log, the echo on
    // standard error.
    core::routeLibraryMessagesToLog();
    platform::setEchoEnabled(true);
    test::StderrCapture stderrCapture;
    gui::fmTavoKPortSrv w;
    core::KitchenService &s = w.service();
    QList<int> quits;
    s.quit = [&](int code) { quits.append(code); };
    w.cmdStart->click();
    ASSERT_EQ(s.wakeSource(), u"PostgreSQL"_s);
    s.cycleTimer().setInterval(0); // the test turns the cycle
    auto cycle = [&] {
        for (int i = 0; i < int(s.cycleTime()); ++i) {
            env.clock.advance(1000);
            s.tick();
        }
    };
    auto lastListed = [&] { return s.orders().TextMatrix(s.orders().Rows() - 1, grids::OrderList::RNo); };

    stopServer();
    waitFor([] { return false; }, 500); // the driver reads the farewell while it waits
    for (int i = 0; i < 3; ++i)
        cycle();
    ASSERT_TRUE(startServer());
    pos->insert(2);
    cycle();
    EXPECT_EQ(lastListed(), u"2"_s);
    pos->insert(3);
    EXPECT_LT(waitFor([&] { return lastListed() == u"3"_s; }, 3000), 3000) << "woken again";
    s.requestEnd();
    EXPECT_EQ(quits, QList<int> { 0 });
    const QString echoed = stderrCapture.text();
    platform::setEchoEnabled(false);

    const QString reason = u"FATAL: terminating connection due to administrator command [SQLSTATE 57P01]"_s;
    const QStringList losses = env.readLog().split(u"\r\n"_s).filter(u"資料庫連線中斷: "_s);
    ASSERT_EQ(losses.size(), 1) << env.readLog().toStdString();
    EXPECT_TRUE(losses[0].endsWith(u"資料庫連線中斷: "_s + reason
        + u"; Cannot open the PostgreSQL connection: "_s + u"connection to server at \"127.0.0.1\", port "_s
        + qEnvironmentVariable("TAVO_TEST_PG_PORT")
        + u" failed: Connection refused Is the server running on that host and accepting TCP/IP connections? "_s
        + u"(QPSQL: Unable to connect)"_s))
        << losses[0].toStdString();
    const QString err = env.readErr();
    EXPECT_EQ(occurrences(err, u"**記錄時間"_s), 1) << err.toStdString();
    EXPECT_TRUE(err.contains(u"     "_s + reason + u"; Cannot open"_s)) << err.toStdString();
    EXPECT_TRUE(echoed.contains(u"gCNT\t資料庫連線中斷: "_s + reason)) << echoed.toStdString();
    for (const QString &noise :
        { u"QSocketNotifier"_s, u"database not open"_s, u"FATAL:  "_s, u"NOTICE"_s, u"notification"_s })
        EXPECT_FALSE(echoed.contains(noise)) << noise.toStdString() << " in " << echoed.toStdString();
}

TEST_F(ServerRestartTest, SigtermWithTheOutagesBoxOpenEndsAtOnceAndSavesBothGrids)
{
    env.settings.save(u"Tavo3"_s, u"TavoC"_s, u"PrintItem"_s, u"Y"_s);
    QDir(env.dir()).mkdir(u"LOG"_s);
    pos->insert(1);
    gui::QtPrompter screen;
    const QScopedValueRollback onScreen(
        platform::services().prompter, static_cast<platform::Prompter *>(&screen));
    gui::fmTavoKPortSrv w;
    QList<int> quits;
    w.service().quit = [&](int code) { quits.append(code); };
    ASSERT_EQ(w.fg1->Rows(), 2);

    // The operator opens the list page while the server is away: the scan's box comes up, and
    // the supervisor's SIGTERM arrives while it waits for 確定.
    stopServer();
    QString shownText;
    QElapsedTimer sinceSignal;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        if (!shownText.isEmpty()) {
            if (sinceSignal.elapsed() > 10000)
                box->reject(); // the end never came: the test fails rather than hangs
            return;
        }
        shownText = box->text();
        sinceSignal.start();
        ::kill(::getpid(), SIGTERM);
    });
    watch.start(20);
    w.tabPage->setCurrentIndex(0);
    w.tabPage->setCurrentIndex(1);
    watch.stop();

    EXPECT_TRUE(shownText.contains(u"fmTavoKPortSrv_AddFG1"_s)) << shownText.toStdString();
    EXPECT_EQ(quits, QList<int> { 0 }) << "ended without anyone pressing 確定";
    EXPECT_LT(sinceSignal.elapsed(), 5000);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    const QStringList files = QDir(env.path(u"LOG"_s)).entryList(QDir::Files);
    EXPECT_TRUE(files.contains(u"KPS20261207.TXT"_s)) << files.join(u' ').toStdString();
    EXPECT_EQ(files.filter(QRegularExpression(u"^L\\d{8}_\\d{4}\\.TXT$"_s)).size(), 1);
}

// A kept preview: what the report would have shown.
struct KeptPreview : reports::ReportPreview {
    explicit KeptPreview(QList<print::PrintDocument> &shown)
        : m_shown(shown)
    {
    }
    print::PrintSurface &surface() override { return vsp; }
    platform::GridModel &listGrid() override { return list; }
    void setZoom(int) override { }
    void showModal() override { m_shown.append(vsp.document()); }
    print::PrintSurface vsp;
    platform::GridModel list;
    QList<print::PrintDocument> &m_shown;
};

TEST_F(ServerRestartTest, AReprintAndAReportAfterARestartWorkAndLeaveTheMarksAsTheyWere)
{
    g().gOPDate = u"2026/12/07"_s;
    pos->insert(1);
    pos->insert(2);
    pos->execute(u"UPDATE ORDERI SET KSMark = 'K7' WHERE RNo = 2"_s);
    ASSERT_TRUE(scan());
    const QStringList marks = column(u"SELECT KSMark FROM ORDERI ORDER BY RNo"_s);

    restartServer();
    print::PrintSurface vsp;
    tickets::KitchenTicketPrinter ticketPrinter(env.site(db::gCNT()));
    const tickets::ReprintResult reprint
        = tickets::PrintKPortB(fg1, { 1, 2, u"TM-T88 Kitchen"_s, false }, vsp, ticketPrinter, db::gCNT());
    EXPECT_EQ(reprint.outcome, tickets::ReprintOutcome::Printed) << env.readErr().toStdString();
    EXPECT_EQ(printers.jobs.size(), 2) << "one ticket a row, none twice";
    EXPECT_EQ(column(u"SELECT KSMark FROM ORDERI ORDER BY RNo"_s), marks);

    pos->execute(u"INSERT INTO MenuType (TypeNo, TypeName) VALUES (1, '熱炒')"_s);
    pos->execute(u"INSERT INTO ORDERI (RNo, KPort, TypeNo, ItemName, Qty, OrderDate, OrderTime) VALUES "
                 u"(10, 'PK', 1, '宮保雞丁', 3, "_s
        + demo::stampLiteral(QDateTime(QDate(2026, 12, 7), QTime(0, 0))) + u", '12:00:00')"_s);
    restartServer();
    QList<print::PrintDocument> shown;
    const reports::ReportOutcome report = reports::printItemSummary(
        { u"PK"_s, u"廚房"_s, { u"2026/12/07"_s, u"2026/12/07"_s, u"00:00:00"_s, u"23:59:59"_s }, {}, false },
        env.site(db::gCNT()), [&] { return std::make_unique<KeptPreview>(shown); }, [](const QString &) {});
    ASSERT_EQ(report, reports::ReportOutcome::Shown) << env.readErr().toStdString();
    EXPECT_TRUE(shown.last().tableRows().join(u'\n').contains(u"宮保雞丁"_s));
}

// ---- The real program ended by SIGTERM

// A site whose order table holds a long first listing, and the program run on it headless.
class TerminationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        site = env.path(u"site"_s);
        demo::initSite(site);
        db::Connection cnt;
        demo::openSite(site, cnt);
        demo::RowOptions rows;
        rows.rows = 40000;
        rows.days = 1; // all of them open: the first scan lists every row of the port
        rows.lastDay = QDate::currentDate();
        demo::generateRows(cnt, rows);
        // What a scan run to its end lists: the truth the saved list is held against.
        platform::setEchoEnabled(false);
        watch::InitFG1(expected);
        watch::ScanBound fromTheStart;
        ASSERT_TRUE(watch::AddFG1(expected, fromTheStart, u"PK"_s, cnt));
        ASSERT_GT(expected.Rows(), 2000) << "a listing long enough to be cut into";
        cnt.close();
    }

    void start()
    {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(u"TAVO_HOME"_s, site);
        e.insert(u"XDG_CONFIG_HOME"_s, site + u"/config"_s);
        e.insert(u"XDG_RUNTIME_DIR"_s, env.dir());
        e.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        e.remove(u"DISPLAY"_s);
        e.remove(u"WAYLAND_DISPLAY"_s);
        program.setProcessEnvironment(e);
        program.setWorkingDirectory(site);
        program.setProcessChannelMode(QProcess::MergedChannels); // the echo is on standard error
        program.start(QStringLiteral(TAVO_PROGRAM), {});
        ASSERT_TRUE(program.waitForStarted());
    }

    // Reads the program's output until `enough` says so; false when it ended or took too long.
    bool readUntil(const std::function<bool(const QByteArray &)> &enough)
    {
        QElapsedTimer timer;
        timer.start();
        while (!enough(out) && timer.elapsed() < 60000) {
            if (program.state() != QProcess::Running)
                return false;
            program.waitForReadyRead(100);
            out += program.readAllStandardOutput();
        }
        return enough(out);
    }

    void endAndCheckTheFiles()
    {
        ASSERT_TRUE(program.waitForFinished(60000)) << "the program ends on SIGTERM";
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);

        const QString logDir = site + u"/LOG/"_s;
        const QString stamp = QDate::currentDate().toString(u"yyyyMMdd"_s);
        const QString list
            = platform::fromAnsi(test::TestEnvironment::readBytes(logDir + u"KPS"_s + stamp + u".TXT"_s));
        ASSERT_TRUE(list.endsWith(u"\r\n"_s)) << "the list ends with a whole line";
        QStringList lines = list.split(u"\r\n"_s);
        lines.removeLast();
        ASSERT_EQ(lines.size(), expected.Rows()) << "the header and every row a whole scan lists";
        for (int r = 1; r < expected.Rows(); ++r)
            ASSERT_EQ(lines[r].section(u'\t', 0, 0), expected.TextMatrix(r, grids::OrderList::RNo))
                << "row " << r;
        const QStringList files = QDir(logDir).entryList(QDir::Files);
        EXPECT_EQ(files.filter(QRegularExpression(u"^L\\d{8}_\\d{4}\\.TXT$"_s)).size(), 1)
            << "the activity list";
        for (const QString &name : files) {
            EXPECT_FALSE(name.contains(u".TXT."_s))
                << "a save's temporary file is left: " << name.toStdString();
            EXPECT_TRUE(test::TestEnvironment::readBytes(logDir + name).endsWith("\r\n"))
                << name.toStdString();
        }
    }

    void terminate() { ::kill(pid_t(program.processId()), SIGTERM); }

    test::TestEnvironment env;
    QString site;
    platform::GridModel expected;
    QProcess program;
    QByteArray out;
};

TEST_F(TerminationTest, SigtermDuringTheFirstListingSavesTheWholeListAndEnds)
{
    start();
    // The captions, then some rows: the listing is under way.
    ASSERT_TRUE(readUntil([](const QByteArray &o) { return o.count('\n') > 200; })) << out.constData();
    ASSERT_FALSE(out.contains("服務程式已載入")) << "the signal came too late to cut into the listing";
    terminate();
    endAndCheckTheFiles();
}

TEST_F(TerminationTest, SigtermsDuringTheSaveLeaveWholeFiles)
{
    start();
    ASSERT_TRUE(readUntil([](const QByteArray &o) { return o.contains("服務程式已載入"); }))
        << out.constData();
    // The first request starts the save; the others arrive while the files are being written.
    terminate();
    for (int i = 0; i < 50 && program.state() == QProcess::Running; ++i) {
        QThread::msleep(2);
        terminate();
    }
    endAndCheckTheFiles();
}

} // namespace
