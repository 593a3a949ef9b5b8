// The shift item-summary report on SQLite and on the PostgreSQL server of ./test.sh: which rows a
// shift counts, how categories, captions, add-ons and supplementary rows come out on the page,
// and what the operator is told when the report cannot run.
#include "db/connection.h"
#include "db/dbglobals.h"
#include "demo/demoschema.h"
#include "demo/demosite.h"
#include "demo/escpos/escposdecoder.h"
#include "platform/gridfiles.h"
#include "platform/gridmodel.h"
#include "print/escposrenderer.h"
#include "print/painterrenderer.h"
#include "reports/shiftreport.h"
#include "support/escpos_reading.h"
#include "support/fake_printers.h"
#include "support/kept_previews.h"
#include "support/test_environment.h"
#include "util/globals.h"
#include "util/grids.h"

#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tavo;
using namespace tavo::test;

// Readable failure messages for texts.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

const QString kSchema = u"tavo_reports"_s;

enum class Server { SQLite, PostgreSQL };

class ShiftReportTest : public ::testing::TestWithParam<Server> {
protected:
    TestEnvironment env;
    FakePrinterCatalog printers { { u"Office A4"_s } };
    db::Connection cn;
    platform::GridModel fg2;
    KeptPreviews previews;
    QStringList flashes;
    reports::MessageFlash flash = [this](const QString &text) { flashes.append(text); };

    void SetUp() override
    {
        if (GetParam() == Server::SQLite) {
            cn.setCreateIfMissing(true);
            cn.open(u"Provider=SQLite;Data Source="_s + env.path(u"report.db"_s));
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
        for (const auto &[no, name] : { std::pair { 1, u"'熱炒'"_s }, { 2, u"'麵飯'"_s }, { 3, u"NULL"_s } })
            cn.execute(u"INSERT INTO MenuType (TypeNo, TypeName) VALUES (%1, %2)"_s.arg(no).arg(name));
        fg2.setColumns(grids::ShiftTable::columns);
        fg2.addRow({ u"午班"_s, u"11:00"_s, u"14:00"_s });
        fg2.addRow({ u"夜班"_s, u"22:00"_s, u"02:00"_s });
        fg2.addRow({ u"早班"_s, u"08:00"_s, u"08:00"_s });
    }

    void TearDown() override
    {
        if (GetParam() == Server::PostgreSQL && cn.isOpen())
            cn.execute(u"DROP SCHEMA IF EXISTS "_s + kSchema + u" CASCADE"_s);
    }

    void add(int typeNo, const QString &item, double qty, const QString &date = u"2024/03/01"_s,
        const QString &time = u"12:00:00"_s, const QString &cap = {}, const QString &itemType = {},
        const QString &port = u"PK"_s)
    {
        cn.execute(
            u"INSERT INTO ORDERI (KPort, TypeNo, ItemName, ItemType, PriceCap, Qty, OrderDate, OrderTime) "
            u"VALUES (%1, %2, %3, %4, %5, %6, %7, %8)"_s.arg(QuotStr(port))
                .arg(typeNo)
                .arg(QuotStr(item), QuotStr(itemType), QuotStr(cap))
                .arg(qty)
                .arg(demo::stampLiteral(QDateTime(QDate::fromString(date, u"yyyy/MM/dd"_s), QTime(0, 0))),
                    QuotStr(time)));
    }

    reports::ReportOutcome runShift(
        int row, const QString &opDate = u"2024/03/01"_s, const QString &printer = {})
    {
        fg2.setRow(row);
        return reports::printKitchenShiftReport(
            { fg2, opDate, printer, env.dir() }, env.site(cn), previews.factory(), flash);
    }

    reports::ReportOutcome runList(const QString &priceCap, const QString &port = u"PK"_s)
    {
        return reports::printItemSummary(
            { port, u"廚房"_s, { u"2024/03/01"_s, u"2024/03/01"_s, u"00:00:00"_s, u"23:59:59"_s }, {},
                priceCap == u"Y"_s },
            env.site(cn), previews.factory(), flash);
    }

    QStringList itemRows() const
    {
        QStringList rows = previews.shown.last().tableRows();
        rows.removeAll(u"項目名稱|數量;"_s);
        return rows;
    }
};

TEST_P(ShiftReportTest, AShiftAcrossMidnightCountsTheRowsOfThatNightOnly)
{
    add(1, u"宮保雞丁"_s, 1, u"2024/03/01"_s, u"01:00:00"_s); // the previous night
    add(1, u"宮保雞丁"_s, 2, u"2024/03/01"_s, u"21:59:59"_s);
    add(1, u"宮保雞丁"_s, 4, u"2024/03/01"_s, u"22:00:00"_s);
    add(1, u"宮保雞丁"_s, 8, u"2024/03/01"_s, u"23:59:59"_s);
    add(1, u"宮保雞丁"_s, 16, u"2024/03/02"_s, u"02:00:59"_s);
    add(1, u"宮保雞丁"_s, 32, u"2024/03/02"_s, u"02:01:00"_s);
    add(1, u"宮保雞丁"_s, 64, u"2024/03/02"_s, u"22:30:00"_s); // the next night
    add(1, u"宮保雞丁"_s, 128, u"2024/02/29"_s, u"23:00:00"_s);
    add(1, u"宮保雞丁"_s, -1, u"2024/03/02"_s, u"01:00:00"_s, {}, {}, u"補單"_s);
    add(1, u"宮保雞丁"_s, -100, u"2024/03/01"_s, u"01:00:00"_s, {}, {}, u"補單"_s);

    ASSERT_EQ(runShift(2), reports::ReportOutcome::Shown) << env.readErr().toStdString();
    const print::PrintDocument &doc = previews.shown.last();
    EXPECT_EQ(itemRows(), (QStringList { u"|;"_s, u"宮保雞丁|27;"_s, u"|;"_s }));
    const QStringList blocks = doc.textBlocks();
    EXPECT_TRUE(blocks.contains(u"統計期間: 2024/03/01"_s));
    EXPECT_TRUE(blocks.contains(u"           -> 2024/03/02"_s));
    EXPECT_TRUE(blocks.contains(u"時段: 22:00:00 -> 02:00:59"_s));

    // Equal times do not cross midnight: only the start minute of that day counts.
    add(2, u"炒飯"_s, 3, u"2024/03/01"_s, u"08:00:59"_s);
    add(2, u"炒飯"_s, 5, u"2024/03/01"_s, u"08:01:00"_s);
    add(2, u"炒飯"_s, 7, u"2024/03/02"_s, u"08:00:30"_s);
    ASSERT_EQ(runShift(3), reports::ReportOutcome::Shown);
    EXPECT_EQ(itemRows(), (QStringList { u"|;"_s, u"炒飯|3;"_s, u"|;"_s }));
    EXPECT_EQ(previews.zooms, (QList<int> { 110, 110 }));
}

TEST_P(ShiftReportTest, CategoriesCaptionsAddOnsAndSupplementsMakeTheTotals)
{
    add(1, u"宮保雞丁"_s, 1000, u"2024/03/01"_s, u"12:00:00"_s, u"大"_s);
    add(1, u"宮保雞丁"_s, 200, u"2024/03/01"_s, u"12:00:00"_s, u"小"_s);
    add(1, u"宮保雞丁-小"_s, 34, u"2024/03/01"_s, u"12:10:00"_s, u"小"_s, {}, u"補單"_s);
    add(1, u"加辣"_s, 5, u"2024/03/01"_s, u"12:00:00"_s, {}, u"A1"_s);
    add(1, u"去冰"_s, 6, u"2024/03/01"_s, u"12:00:00"_s, {}, u"T1"_s);
    add(2, u"Chef's 炒飯"_s, 10);
    add(2, u"Chef's 炒飯"_s, -3, u"2024/03/01"_s, u"12:00:00"_s, {}, {}, u"補單"_s);
    add(3, u"小菜"_s, 2); // a category without a name
    add(9, u"湯"_s, 4); // a number without a MenuType row
    add(1, u"調酒"_s, 99, u"2024/03/01"_s, u"12:00:00"_s, {}, {}, u"PB"_s);

    ASSERT_EQ(runList(u"Y"_s), reports::ReportOutcome::Shown);
    EXPECT_EQ(itemRows(),
        (QStringList { u"|;"_s, u"加辣|5;"_s, u"去冰|6;"_s, u"宮保雞丁-大|1,000;"_s, u"宮保雞丁-小|234;"_s,
            u"|;"_s, u"Chef's 炒飯|7;"_s, u"|;"_s, u"小菜|2;"_s, u"湯|4;"_s, u"|;"_s }));
    QStringList headings;
    for (const QString &block : previews.shown.last().textBlocks())
        if (block.contains(u"類別: "_s) || block.contains(u"總計: "_s))
            headings << block;
    EXPECT_EQ(headings,
        (QStringList { u"類別: 熱炒"_s, u"\r\n熱炒總計: 1,234"_s, u"類別: 麵飯"_s, u"\r\n麵飯總計: 7"_s,
            u"類別: 其它"_s, u"\r\n其它總計: 6"_s }));
    EXPECT_EQ(previews.shown.last().textBlocks().first(), u"PK出菜統計表 - 廚房"_s);

    // Without the caption flag both captions are one row; the caption-named supplement is not its own.
    ASSERT_EQ(runList(u"N"_s), reports::ReportOutcome::Shown);
    EXPECT_TRUE(itemRows().contains(u"宮保雞丁|1,200;"_s));
}

// A report for the kitchen's receipt printer, read back as that printer prints it: the roll's
// columns hold every row whole, the quantity on the item's line.
TEST_P(ShiftReportTest, OnAReceiptPrinterEveryRowPrintsWholeWithinTheRollsColumns)
{
    add(2, u"白飯"_s, 1234);
    add(2, u"牛肉麵"_s, 3, u"2024/03/01"_s, u"12:00:00"_s, u"大"_s);
    add(1, u"蔥爆牛肉燴飯"_s, 12, u"2024/03/01"_s, u"12:00:00"_s, u"大碗"_s);
    add(1, u"Joe's湯"_s, 2, u"2024/03/01"_s, u"12:00:00"_s, u"時價"_s);
    printers.names << u"TM Kitchen"_s << u"TM Bar"_s;
    printers.receiptPrinters << u"TM Kitchen"_s;
    const QStringList wholeLines { u"項目名稱 +數量"_s, u"白飯 +1,234"_s, u"牛肉麵-大 +3"_s,
        u"蔥爆牛肉燴飯-大碗 +12"_s, u"Joe's湯-時價 +2"_s, u"熱炒總計: 14"_s, u"麵飯總計: 1,237"_s };
    struct Case {
        QString printer, type;
        bool roll;
    };
    const QList<Case> cases { { u"TM Kitchen"_s, {}, true }, { u"TM Bar"_s, u"EPSONTM"_s, true },
        { u"Office A4"_s, {}, false } };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.printer.toStdString());
        fg2.setRow(1);
        ASSERT_EQ(reports::printKitchenShiftReport({ fg2, u"2024/03/01"_s, c.printer, env.dir(), c.type },
                      env.site(cn), previews.factory(), flash),
            reports::ReportOutcome::Shown);
        const print::PrintDocument &doc = previews.shown.last();
        EXPECT_EQ(doc.roll, c.roll);
        // What the head reaches of an 80 mm roll; a page printer keeps its A4 sheet.
        EXPECT_NEAR(doc.paperSize.width() / print::kTwipsPerMm, c.roll ? 72 : 210, 0.5);
        if (!c.roll)
            continue;
        for (const int columns : { 42, 48 }) {
            SCOPED_TRACE(columns);
            print::EscPosOptions options;
            options.columns = columns;
            const demo::EscPosJob job = demo::decodeEscPos(print::EscPosRenderer::render(doc, options));
            SCOPED_TRACE(job.text().toStdString());
            EXPECT_EQ(job.cuts, 1);
            EXPECT_TRUE(job.endsWithCut());
            EXPECT_EQ(linesWiderThan(job, columns), QStringList());
            EXPECT_EQ(rowsNotWhole(job, wholeLines), QStringList());
        }
    }
    // "存檔" saves what the preview shows: each item under its category, the category's total.
    EXPECT_EQ(previews.list.rowCells(1), (QStringList { u"熱炒"_s, u"Joe's湯-時價"_s, u"2"_s }));
    EXPECT_EQ(previews.list.rowCells(3), (QStringList { u"熱炒"_s, u"總計"_s, u"14"_s }));
    EXPECT_EQ(previews.list.Rows(), 1 + 4 + 2);
}

TEST_P(ShiftReportTest, ReportsThatCannotRunSayWhyAndWriteOnlyTheShiftFile)
{
    add(1, u"宮保雞丁"_s, 1);
    const QString shiftFile = env.dir() + u"/TavoC_fg2.CSV"_s;
    struct Case {
        const char *what;
        std::function<reports::ReportOutcome()> run;
        QString flash = {}, box = {}, errTag = {};
    };
    const QList<Case> cases {
        { "header row", [&] { return runShift(0); }, u"請先選擇班別"_s },
        { "empty end time",
            [&] {
                fg2.setTextMatrix(1, 2, {});
                return runShift(1);
            },
            u"統計時間未設定"_s },
        { "not a time",
            [&] {
                fg2.setTextMatrix(1, 2, u"午後"_s);
                return runShift(1);
            },
            u"統計時間未設定"_s },
        { "printer not installed", [&] { return runShift(2, u"2024/03/01"_s, u"office a4"_s); },
            u"帳單印表機未安裝:office a4"_s },
        { "no data", [&] { return runShift(3); }, {}, u"沒有出菜單資料:PK"_s },
        { "date not a date within a day", [&] { return runShift(3, u"2024/13/01"_s); }, {},
            u"沒有出菜單資料:PK"_s },
        { "date not a date across midnight", [&] { return runShift(2, u"昨天"_s); }, {}, {},
            u"cmdPrintShiftItemSum_Click"_s },
        { "shift file with two columns",
            [&] {
                fg2.setCols(2);
                return runShift(1);
            },
            u"統計時間未設定"_s },
        { "shift file with a stray quote",
            [&] {
                const QString path = env.path(u"stray.csv"_s);
                QFile file(path);
                EXPECT_TRUE(file.open(QIODevice::WriteOnly));
                file.write(TestEnvironment::big5(u"班別,起始時間,結束時間\r\n夜班,\"22:00,02:00\r\n"_s));
                file.close();
                platform::loadCsv(fg2, path);
                return runShift(1);
            },
            u"統計時間未設定"_s },
        { "database failure",
            [&] {
                cn.execute(u"DROP TABLE MenuType"_s);
                fg2.setColumns(grids::ShiftTable::columns);
                fg2.setRows(1);
                fg2.addRow({ u"午班"_s, u"11:00"_s, u"14:00"_s });
                return runShift(1);
            },
            {}, {}, u"PrintKPTypeList"_s },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        flashes.clear();
        env.prompter.boxes.clear();
        QFile::remove(shiftFile);
        const QString errBefore = env.readErr();
        EXPECT_NE(c.run(), reports::ReportOutcome::Shown);
        EXPECT_EQ(flashes, c.flash.isEmpty() ? QStringList() : QStringList { c.flash });
        if (c.box.isEmpty()) {
            EXPECT_EQ(env.prompter.boxes.size(), c.errTag.isEmpty() ? 0 : 1);
        } else {
            ASSERT_EQ(env.prompter.boxes.size(), 1);
            EXPECT_EQ(env.prompter.boxes[0].text, c.box);
            EXPECT_EQ(env.prompter.boxes[0].icon, platform::BoxIcon::Information);
        }
        EXPECT_EQ(env.readErr().mid(errBefore.size()).contains(c.errTag), true);
        EXPECT_EQ(env.readErr().size() > errBefore.size(), !c.errTag.isEmpty());
        EXPECT_TRUE(QFile::exists(shiftFile)) << "the grid is saved before anything else";
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "the pointer is back to the arrow";
    }
    EXPECT_TRUE(previews.shown.isEmpty());
    EXPECT_TRUE(printers.jobs.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Servers, ShiftReportTest, ::testing::Values(Server::SQLite, Server::PostgreSQL),
    [](const auto &info) { return info.param == Server::SQLite ? "SQLite" : "PostgreSQL"; });

TEST(ShiftReportDemo, EveryShiftOfTheDemoSiteShowsSeveralCategoriesAtBothStations)
{
    TestEnvironment env;
    demo::SiteOptions options;
    options.shiftHistory = true;
    options.sample.opDate = QDate(2024, 3, 1);
    demo::initSite(env.dir(), options);
    db::Connection cn;
    demo::openSite(env.dir(), cn);
    platform::GridModel fg2;
    platform::loadCsv(fg2, env.dir() + u"/TavoC_fg2.CSV"_s);
    ASSERT_EQ(fg2.Rows(), 4);
    EXPECT_EQ(fg2.rowCells(3), (QStringList { u"宵夜"_s, u"22:00"_s, u"02:00"_s }));
    KeptPreviews previews;
    for (int row = 1; row < fg2.Rows(); ++row) {
        fg2.setRow(row);
        const reports::ShiftInput input { fg2, u"2024/03/01"_s, {}, env.dir() };
        for (auto click : { reports::printKitchenShiftReport, reports::printBarShiftReport }) {
            ASSERT_EQ(click(input, env.site(cn), previews.factory(), [](const QString &) {}),
                reports::ReportOutcome::Shown)
                << env.readErr().toStdString();
            const QStringList blocks = previews.shown.last().textBlocks();
            EXPECT_GE(blocks.filter(u"類別: "_s).size(), 2) << row;
            EXPECT_EQ(blocks.filter(u"類別: "_s).size(), blocks.filter(u"總計: "_s).size());
        }
    }
    // The README's picture of a report page: TAVO_REPORT_PNG=docs/report.png, the night's kitchen.
    if (const QString png = qEnvironmentVariable("TAVO_REPORT_PNG"); !png.isEmpty()) {
        EXPECT_TRUE(print::PainterRenderer::toImage(previews.shown[4], 0, 96, true).save(png));
    }
}

TEST(ShiftReportFormat, QuantitiesPrintWithThousandsSeparators)
{
    const QList<std::pair<double, QString>> cases { { 0, u"0"_s }, { 999, u"999"_s }, { 1234, u"1,234"_s },
        { -1234567, u"-1,234,567"_s }, { 2.5, u"3"_s } };
    for (const auto &[qty, text] : cases)
        EXPECT_EQ(reports::formatQty(qty), text) << qty;
}

} // namespace
