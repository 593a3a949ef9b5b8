// The service-time report ("出餐時間統計") on SQLite and on the PostgreSQL server of ./test.sh:
// orders of a lunch and of a night past midnight, bumped on the display's own file under a
// clock that moves only when told (one bump recalled and made again, some items never bumped),
// against figures worked out by hand; the roll as the printer prints it; "存檔" one row per dish.
#include "db/connection.h"
#include "db/dbglobals.h"
#include "demo/demoschema.h"
#include "demo/escpos/escposdecoder.h"
#include "kds/kdsstore.h"
#include "platform/gridmodel.h"
#include "print/escposrenderer.h"
#include "reports/speedreport.h"
#include "support/escpos_reading.h"
#include "support/fake_printers.h"
#include "support/kept_previews.h"
#include "support/test_environment.h"
#include "util/grids.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tavo;
using namespace tavo::test;

inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

const QString kSchema = u"tavo_speed"_s;

enum class Server { SQLite, PostgreSQL };

QDateTime at(const QString &when)
{
    return QDateTime::fromString(when, u"yyyy/MM/dd hh:mm:ss"_s);
}

class ServiceTimeReportTest : public ::testing::TestWithParam<Server> {
protected:
    TestEnvironment env;
    FakePrinterCatalog printers { { u"Office A4"_s, u"TM Kitchen"_s } };
    db::Connection cn;
    platform::GridModel fg2;
    KeptPreviews previews;
    QStringList flashes;
    std::unique_ptr<kds::KdsStore> store;

    void SetUp() override
    {
        if (GetParam() == Server::SQLite) {
            cn.setCreateIfMissing(true);
            cn.open(u"Provider=SQLite;Data Source="_s + env.path(u"speed.db"_s));
        } else {
            const QString pg = postgresConnectionString();
            if (pg.isEmpty())
                GTEST_SKIP() << "TAVO_TEST_PG_HOST is not set";
            cn.open(pg);
            cn.execute(u"DROP SCHEMA IF EXISTS "_s + kSchema + u" CASCADE"_s);
            cn.execute(u"CREATE SCHEMA "_s + kSchema);
            cn.execute(u"SET search_path TO "_s + kSchema);
        }
        demo::createSchema(cn);
        SetDBType(cn.provider());
        printers.receiptPrinters << u"TM Kitchen"_s;
        fg2.setColumns(grids::ShiftTable::columns);
        fg2.addRow({ u"午班"_s, u"11:00"_s, u"14:00"_s });
        fg2.addRow({ u"夜班"_s, u"22:00"_s, u"02:00"_s });
        store = std::make_unique<kds::KdsStore>(env.path(u"KDS.db"_s));
        ASSERT_TRUE(store->ok()) << store->lastError().toStdString();
    }

    void TearDown() override
    {
        if (GetParam() == Server::PostgreSQL && cn.isOpen())
            cn.execute(u"DROP SCHEMA IF EXISTS "_s + kSchema + u" CASCADE"_s);
    }

    // An ORDERI row as the POS writes it; its RNo.
    qint64 add(const QString &order, const QString &item, const QString &when, double qty = 1,
        const QString &itemType = {}, const QString &port = u"PK"_s)
    {
        const QDateTime stamp = at(when);
        cn.execute(u"INSERT INTO ORDERI (KPort, OrderPID, ItemName, ItemType, Qty, OrderDate, OrderTime) "
                   u"VALUES (%1, %2, %3, %4, %5, %6, %7)"_s
                       .arg(QuotStr(port), QuotStr(order), QuotStr(item), QuotStr(itemType))
                       .arg(qty)
                       .arg(demo::stampLiteral(QDateTime(stamp.date(), QTime(0, 0))),
                           QuotStr(stamp.time().toString(u"hh:mm:ss"_s))));
        return qint64(cn.openRecordset(u"SELECT MAX(RNo) AS N FROM ORDERI"_s).number(u"N"_s));
    }

    // A bump on the display at the clock's time, as the display makes it.
    void bump(const QString &when, const QString &order, qint64 upTo)
    {
        env.clock.set(at(when));
        ASSERT_TRUE(store->bump(u"PK"_s, order, upTo, env.clock.now()));
    }

    reports::ReportOutcome run(int shiftRow, const QString &printer = {}, const QString &port = u"PK"_s)
    {
        fg2.setRow(shiftRow);
        return reports::printServiceTimeReport({ fg2, u"2024/03/01"_s, printer, env.dir() }, port,
            env.site(cn), previews.factory(), [this](const QString &text) { flashes.append(text); });
    }

    // A lunch and a night with their bumps, in the order the kitchen made them.
    void serveTheDay()
    {
        const qint64 lastNight = add(u"Z9-1"_s, u"牛肉麵"_s, u"2024/03/01 01:00:00"_s);
        bump(u"2024/03/01 01:05:00"_s, u"Z9-1"_s, lastNight);

        add(u"X0-1"_s, u"宮保雞丁"_s, u"2024/03/01 10:59:59"_s);
        add(u"A1-1"_s, u"宮保雞丁"_s, u"2024/03/01 11:10:00"_s);
        add(u"A1-1"_s, u"加辣"_s, u"2024/03/01 11:10:00"_s, 1, u"A1"_s);
        const qint64 a = add(u"A1-1"_s, u"炒飯"_s, u"2024/03/01 11:10:00"_s, 2);
        add(u"B2-1"_s, u"宮保雞丁"_s, u"2024/03/01 11:40:00"_s);
        const qint64 b = add(u"B2-1"_s, u"炒飯"_s, u"2024/03/01 11:40:00"_s);
        bump(u"2024/03/01 11:22:00"_s, u"A1-1"_s, a);
        // Bumped by mistake, recalled, bumped when it really went out.
        bump(u"2024/03/01 11:45:00"_s, u"B2-1"_s, b);
        ASSERT_EQ(store->recall(u"PK"_s, [](const QString &, qint64) { return true; }), u"B2-1"_s);
        bump(u"2024/03/01 11:58:30"_s, u"B2-1"_s, b);

        const qint64 c1 = add(u"C3-1"_s, u"宮保雞丁"_s, u"2024/03/01 12:05:00"_s);
        bump(u"2024/03/01 12:10:00"_s, u"C3-1"_s, c1);
        // More for the same order, on a card of its own.
        const qint64 c2 = add(u"C3-1"_s, u"宮保雞丁"_s, u"2024/03/01 12:20:00"_s);
        add(u"D4-1"_s, u"炒飯"_s, u"2024/03/01 12:30:00"_s); // never bumped
        add(u"D4-1"_s, u"宮保雞丁"_s, u"2024/03/01 12:31:00"_s, -1); // a return
        add(u"C3-1"_s, u"調酒"_s, u"2024/03/01 12:40:00"_s, 1, {}, u"PB"_s);
        bump(u"2024/03/01 12:50:00"_s, u"C3-1"_s, c2);

        const qint64 n1 = add(u"N1-1"_s, u"牛肉麵"_s, u"2024/03/01 23:50:00"_s);
        bump(u"2024/03/02 00:15:00"_s, u"N1-1"_s, n1);
        const qint64 n2 = add(u"N2-1"_s, u"牛肉麵"_s, u"2024/03/02 00:30:00"_s);
        bump(u"2024/03/02 00:32:00"_s, u"N2-1"_s, n2);
        const qint64 n3 = add(u"N3-1"_s, u"牛肉麵"_s, u"2024/03/02 01:10:00"_s);
        bump(u"2024/03/02 02:30:00"_s, u"N3-1"_s, n3);
    }

    QStringList tableRows() const { return previews.shown.last().tableRows(); }
    QStringList listRows() const
    {
        QStringList rows;
        for (int r = 1; r < previews.list.Rows(); ++r)
            rows << previews.list.rowCells(r).join(u'|');
        return rows;
    }
};

TEST_P(ServiceTimeReportTest, AShiftGivesTheHandWorkedFiguresPerDishPerHourAndOverall)
{
    serveTheDay();
    struct Case {
        int shiftRow;
        QString title;
        QStringList list, dishRows, hourRows, unfinishedRows;
        QString unfinished;
    };
    // Lunch. 宮保雞丁: 12:00, 18:30 (the bump after the recall), 5:00, 30:00. 炒飯: 12:00, 18:30
    // and one never bumped. Medians and 90th percentiles by nearest rank.
    // Night: 牛肉麵 ordered 23:50, 00:30, 01:10, done 25:00, 2:00 and 1:20:00 later.
    const QList<Case> cases {
        { 1, u"PK出餐時間統計 - 午班"_s,
            { u"宮保雞丁|4|12:00|30:00|30:00|0"_s, u"炒飯|2|12:00|18:30|18:30|1"_s },
            { u"宮保雞丁|4|12:00|30:00|30:00;"_s, u"炒飯|2|12:00|18:30|18:30;"_s,
                u"合計|6|12:00|30:00|30:00;"_s },
            { u"11:00|2|12:00|18:30;"_s, u"12:00|2|5:00|30:00;"_s }, { u"炒飯|1;"_s }, u"未完成: 1"_s },
        { 2, u"PK出餐時間統計 - 夜班"_s, { u"牛肉麵|3|25:00|1:20:00|1:20:00|0"_s },
            { u"牛肉麵|3|25:00|1:20:00|1:20:00;"_s, u"合計|3|25:00|1:20:00|1:20:00;"_s },
            { u"23:00|1|25:00|25:00;"_s, u"00:00|1|2:00|2:00;"_s, u"01:00|1|1:20:00|1:20:00;"_s }, {},
            u"未完成: 0"_s },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.title.toStdString());
        ASSERT_EQ(run(c.shiftRow), reports::ReportOutcome::Shown) << env.readErr().toStdString();
        // "存檔": one row per dish.
        EXPECT_EQ(listRows(), c.list);
        EXPECT_EQ(previews.list.rowCells(0),
            (QStringList { u"品名"_s, u"筆數"_s, u"中位數"_s, u"90%"_s, u"最長"_s, u"未完成"_s }));
        const QStringList blocks = previews.shown.last().textBlocks();
        EXPECT_EQ(blocks.value(0), c.title);
        EXPECT_TRUE(blocks.contains(u"營業日期: 2024/03/01"_s));
        EXPECT_TRUE(blocks.contains(c.unfinished));
        QStringList expected = QStringList { u"品名|筆數|中位數|90%|最長;"_s } + c.dishRows
            + QStringList { u"時段|單數|中位數|90%;"_s } + c.hourRows;
        if (!c.unfinishedRows.isEmpty())
            expected += QStringList { u"品名|筆數;"_s } + c.unfinishedRows;
        EXPECT_EQ(tableRows(), expected);
    }
    EXPECT_TRUE(flashes.isEmpty());
}

// The report for the kitchen's receipt printer, read back as that printer prints it.
TEST_P(ServiceTimeReportTest, OnTheRollEveryRowPrintsWholeWithinTheColumns)
{
    serveTheDay();
    struct Case {
        int shiftRow;
        QString printer;
        QStringList wholeLines; // none: a page printer
    };
    const QList<Case> cases {
        { 1, u"TM Kitchen"_s,
            { u"PK出餐時間統計 - 午班"_s, u"品名 +筆數 +中位數 +90% +最長"_s,
                u"宮保雞丁 +4 +12:00 +30:00 +30:00"_s, u"合計 +6 +12:00 +30:00 +30:00"_s,
                u"12:00 +2 +5:00 +30:00"_s, u"未完成: 1"_s, u"炒飯 +1"_s } },
        { 2, u"TM Kitchen"_s,
            { u"PK出餐時間統計 - 夜班"_s, u"牛肉麵 +3 +25:00 +1:20:00 +1:20:00"_s, u"00:00 +1 +2:00 +2:00"_s,
                u"01:00 +1 +1:20:00 +1:20:00"_s } },
        { 1, u"Office A4"_s, {} },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.printer.toStdString() + " " + std::to_string(c.shiftRow));
        ASSERT_EQ(run(c.shiftRow, c.printer), reports::ReportOutcome::Shown);
        const print::PrintDocument &doc = previews.shown.last();
        const bool roll = !c.wholeLines.isEmpty();
        EXPECT_EQ(doc.roll, roll);
        EXPECT_NEAR(doc.paperSize.width() / print::kTwipsPerMm, roll ? 72 : 210, 0.5);
        if (!roll)
            continue;
        for (const int columns : { 42, 48 }) {
            SCOPED_TRACE(columns);
            print::EscPosOptions options;
            options.columns = columns;
            const demo::EscPosJob job = demo::decodeEscPos(
                print::EscPosRenderer::render(doc, options), demo::EscPosPrinter::withColumns(columns));
            SCOPED_TRACE(job.text().toStdString());
            EXPECT_TRUE(job.endsWithCut());
            EXPECT_EQ(linesWiderThan(job, columns), QStringList());
            EXPECT_EQ(rowsNotWhole(job, c.wholeLines), QStringList());
        }
    }
}

TEST_P(ServiceTimeReportTest, AReportThatCannotRunSaysWhy)
{
    struct Case {
        const char *what;
        std::function<reports::ReportOutcome()> run;
        QString flash = {}, box = {}, errTag = {};
    };
    const QList<Case> cases {
        { "no port", [&] { return run(1, {}, u" "_s); }, u"請先設定送廚出口"_s },
        { "no shift", [&] { return run(0); }, u"請先選擇班別"_s },
        { "printer not installed", [&] { return run(1, u"office a4"_s); }, u"帳單印表機未安裝:office a4"_s },
        { "no rows", [&] { return run(1); }, {}, u"沒有出菜單資料:PK"_s },
        { "older than the display keeps its bumps",
            [&] {
                add(u"A1-1"_s, u"炒飯"_s, u"2024/03/01 12:00:00"_s);
                env.clock.set(at(u"2024/03/04 11:00:01"_s));
                return run(1);
            },
            u"出餐記錄只保留 3 天"_s },
        { "no display file",
            [&] {
                store.reset();
                QFile::remove(env.path(u"KDS.db"_s));
                return run(1);
            },
            u"廚房顯示沒有出餐記錄"_s },
        { "display file unreadable",
            [&] {
                env.clock.set(at(u"2024/03/04 11:00:00"_s));
                QFile file(env.path(u"KDS.db"_s));
                EXPECT_TRUE(file.open(QIODevice::WriteOnly));
                file.write(QByteArray(4096, 'x'));
                file.close();
                return run(1);
            },
            {}, {}, u"cmdPrintShiftSpeed_Click"_s },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        flashes.clear();
        env.prompter.boxes.clear();
        const QString errBefore = env.readErr();
        EXPECT_NE(c.run(), reports::ReportOutcome::Shown);
        EXPECT_EQ(flashes, c.flash.isEmpty() ? QStringList() : QStringList { c.flash });
        ASSERT_EQ(env.prompter.boxes.size(), c.box.isEmpty() && c.errTag.isEmpty() ? 0 : 1);
        if (!c.box.isEmpty()) {
            EXPECT_EQ(env.prompter.boxes[0].text, c.box);
        }
        EXPECT_EQ(env.readErr().mid(errBefore.size()).contains(c.errTag), true);
        EXPECT_EQ(env.readErr().size() > errBefore.size(), !c.errTag.isEmpty());
    }
    EXPECT_TRUE(previews.shown.isEmpty());
    EXPECT_TRUE(QFile(env.path(u"KDS.db"_s)).size() == 4096) << "a report never writes the display's file";
}

INSTANTIATE_TEST_SUITE_P(Servers, ServiceTimeReportTest,
    ::testing::Values(Server::SQLite, Server::PostgreSQL),
    [](const auto &info) { return info.param == Server::SQLite ? "SQLite" : "PostgreSQL"; });

TEST(ServiceTimes, PercentilesAreTheNearestRankOfTheSortedTimes)
{
    struct Case {
        QList<qint64> seconds;
        speed::Durations expected;
    };
    const QList<Case> cases {
        { {}, { 0, 0, 0, 0 } },
        { { 42 }, { 1, 42, 42, 42 } },
        { { 400, 100, 300, 200 }, { 4, 200, 400, 400 } },
        { { 10, 20, 30, 40, 50, 60, 70, 80, 90, 100 }, { 10, 50, 90, 100 } },
        { { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11 }, { 11, 6, 10, 11 } },
    };
    for (const Case &c : cases)
        EXPECT_EQ(speed::summarize(c.seconds), c.expected) << c.seconds.size();

    const QList<std::pair<qint64, QString>> shown { { 0, u"0:00"_s }, { 59, u"0:59"_s }, { 725, u"12:05"_s },
        { 3599, u"59:59"_s }, { 3600, u"1:00:00"_s }, { 36005, u"10:00:05"_s } };
    for (const auto &[seconds, text] : shown)
        EXPECT_EQ(reports::formatDuration(seconds), text);
}

TEST(ServiceTimes, AnItemIsDoneAtTheFirstBumpThatReachesItOrItsCrossingOff)
{
    const QDateTime ordered(QDate(2024, 3, 1), QTime(12, 0), Qt::UTC);
    const auto after = [&](int minutes) { return ordered.addSecs(minutes * 60); };
    struct Case {
        const char *what;
        QList<speed::Bump> bumps;
        QHash<qint64, QDateTime> crossedOff;
        speed::Durations done;
        int unfinished;
    };
    const QList<Case> cases {
        { "its own bump", { { u"A"_s, 5, after(10) } }, {}, { 1, 600, 600, 600 }, 0 },
        { "a bump of rows before it", { { u"A"_s, 4, after(10) } }, {}, {}, 1 },
        { "another order's bump", { { u"B"_s, 9, after(10) } }, {}, {}, 1 },
        { "the earlier of two that reach it", { { u"A"_s, 9, after(20) }, { u"A"_s, 5, after(10) } }, {},
            { 1, 600, 600, 600 }, 0 },
        { "crossed off before the bump", { { u"A"_s, 5, after(10) } }, { { 5, after(4) } },
            { 1, 240, 240, 240 }, 0 },
        { "crossed off after the bump", { { u"A"_s, 5, after(10) } }, { { 5, after(14) } },
            { 1, 600, 600, 600 }, 0 },
        { "crossed off, never bumped", {}, { { 5, after(7) } }, { 1, 420, 420, 420 }, 0 },
        { "bumped on a clock behind the POS's", { { u"A"_s, 5, after(-2) } }, {}, { 1, 0, 0, 0 }, 0 },
    };
    const QList<speed::OrderedItem> items { { 5, u"A"_s, u"炒飯"_s, ordered } };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const speed::ServiceTimes times = speed::serviceTimes(items, c.bumps, c.crossedOff);
        EXPECT_EQ(times.overall, c.done);
        EXPECT_EQ(times.unfinished, c.unfinished);
        ASSERT_EQ(times.dishes.size(), 1);
        EXPECT_EQ(times.dishes[0].unfinished, c.unfinished);
        ASSERT_EQ(times.hours.size(), 1);
        EXPECT_EQ(times.hours[0].orders, 1) << "an hour counts its orders, done or not";
    }
}

} // namespace

TEST(ServiceTimes, TheDaysPaceCountsWhatWasDoneTodayAndTheLastHoursSlowestDishes)
{
    // Now is 14:00 on the 2nd; the night before ran past midnight.
    const QDateTime dayStart(QDate(2024, 3, 2), QTime(0, 0), Qt::UTC);
    const QDateTime now = dayStart.addSecs(14 * 3600);
    const auto t = [&](int minutesFromMidnight) { return dayStart.addSecs(minutesFromMidnight * 60); };
    const QList<speed::OrderedItem> items {
        { 1, u"N"_s, u"麵"_s, t(-10) }, // ordered last night, done at 00:15: 25 min, counts today
        { 2, u"Y"_s, u"飯"_s, t(-120) }, // done yesterday: not today's
        { 3, u"L"_s, u"飯"_s, t(600) }, // lunch, 10:00 -> 10:08: 8 min
        { 4, u"L"_s, u"湯"_s, t(600) }, // same order crossed off at 10:03: 3 min
        { 5, u"H"_s, u"飯"_s, t(13 * 60) }, // 13:00 -> 13:12 (in the last hour): 12 min
        { 6, u"H"_s, u"湯"_s, t(13 * 60) }, // crossed off 13:20: 20 min
        { 7, u"P"_s, u"麵"_s, t(13 * 60 + 50) }, // not done yet
    };
    const QList<speed::Bump> bumps { { u"N"_s, 1, t(15) }, { u"Y"_s, 2, t(-100) }, { u"L"_s, 4, t(608) },
        { u"H"_s, 5, t(13 * 60 + 12) } };
    const QHash<qint64, QDateTime> crossed { { 4, t(603) }, { 6, t(13 * 60 + 20) } };

    const speed::DayPace pace = speed::dayPace(items, bumps, crossed, dayStart, now, 20 * 60);
    // Today: 25, 8, 3, 12, 20 min; sorted 3 8 12 20 25, the median is the third.
    EXPECT_EQ(pace.today, (speed::Durations { 5, 12 * 60, 25 * 60, 25 * 60 }));
    EXPECT_EQ(pace.ordersOverRed, 1) << "only the night's order took longer than 20 minutes";
    ASSERT_EQ(pace.slowestLastHour.size(), 2);
    EXPECT_EQ(pace.slowestLastHour[0].dish, u"湯"_s);
    EXPECT_EQ(pace.slowestLastHour[0].done.median, 20 * 60);
    EXPECT_EQ(pace.slowestLastHour[1].dish, u"飯"_s);
    EXPECT_EQ(pace.slowestLastHour[1].done.median, 12 * 60);
}
