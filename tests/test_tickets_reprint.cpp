// Reprint of listed rows: which rows of the order grid become tickets, in which order, how set
// items split, what the button writes to the activity log and the text log.
#include "test_tickets_fixture.h"

#include "demo/demoschema.h"
#include "platform/gridmodel.h"
#include "tickets/reprint.h"

#include <QItemSelectionModel>

using namespace Qt::StringLiterals;
using namespace tavo;
using namespace tavo::test;
using tavo::tickets::PrintKPortB;
using tavo::tickets::PrintRowInput;
using tavo::tickets::ReprintOutcome;
using tavo::tickets::ReprintResult;

namespace tavo::tickets {
void PrintTo(const ReprintResult &result, std::ostream *os)
{
    *os << "outcome " << int(result.outcome) << " \"" << result.reason.toStdString() << '"';
}
} // namespace tavo::tickets

namespace {

const ReprintResult printed { ReprintOutcome::Printed, {} };
const ReprintResult failed { ReprintOutcome::Failed, {} };
ReprintResult nothing(const QString &reason)
{
    return { ReprintOutcome::NothingToPrint, reason };
}

class ReprintTest : public TicketTest {
protected:
    platform::GridModel fg1;
    platform::PrintSurface vsp; // the service window's own surface

    void SetUp() override
    {
        TicketTest::SetUp();
        fg1.setFormatString(u"RNo|KPort|OrderPID|ItemName|Qty|Remark"_s);
        fg1.setRows(1);
    }

    // Lists rows in the grid as the order watch does, RNo in column 0.
    void list(const QList<int> &rnos)
    {
        for (int rno : rnos)
            fg1.addRow({ QString::number(rno), u"PK"_s, u"A05"_s });
    }

    // Selects grid rows from..to with the cursor on `current`.
    void select(int from, int to, int current)
    {
        fg1.setRow(current);
        const QItemSelection range(fg1.index(from - 1, 0), fg1.index(to - 1, 0));
        fg1.selectionModel()->select(range, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    ReprintResult reprint(int rowB, int rowE, const QString &printer = kKitchenPrinter)
    {
        return PrintKPortB(fg1, rowB, rowE, u"PK"_s, printer, u"Y"_s, u"Y"_s, false, vsp, db::gCNT());
    }

    tickets::PrintRowResult click(const PrintRowInput &in)
    {
        return tickets::cmdPrintRow_Click(fg1, in, vsp, db::gCNT(), writeFGLog);
    }

    QStringList headers() const
    {
        QStringList out;
        for (const FakePrinterCatalog::Job &job : printers.jobs)
            out << job.document.textBlocks().value(0);
        return out;
    }

    PrintRowInput input() const { return { u"PK"_s, kKitchenPrinter, u"EPSONTM"_s, true, true }; }
};

} // namespace

TEST_F(ReprintTest, ListedRowsPrintInListOrderWithTheirAddOnsAndClosedRowsAreSkipped)
{
    const int a = addItem(u"牛肉麵"_s, 1, u"S0"_s, { { u"KSMark"_s, u"0031"_s }, { u"ListNo"_s, 20 } });
    const int a1 = addItem(u"白飯"_s, 2, u"A1"_s, { { u"ListNo"_s, 21 } });
    const int b = addItem(u"炒青菜"_s, 1, u"S0"_s, { { u"KSMark"_s, u"補0032"_s }, { u"ListNo"_s, 10 } });
    const int b1 = addItem(u"加蒜"_s, 1, u"T1"_s, { { u"ListNo"_s, 11 }, { u"KSMark"_s, u"old"_s } });
    const int c = addItem(u"魚湯"_s, 1, u"S0"_s, { { u"OPDate"_s, u"2026/12/07"_s }, { u"ListNo"_s, 30 } });
    list({ a, a1, b, b1, c });

    EXPECT_EQ(reprint(1, 5), printed);
    EXPECT_EQ(headers(), (QStringList { u"補印-補0032  A05"_s, u"補印-0031  A05"_s }))
        << "ListNo order; closed row skipped";
    EXPECT_EQ(printers.jobs[0].document.tableRows(), (QStringList { u"炒青菜|1;"_s, u"|/加蒜;"_s }));
    EXPECT_EQ(printers.jobs[1].document.tableRows(), (QStringList { u"牛肉麵|1;"_s, u"|/白飯*2;"_s }));
    EXPECT_EQ(printers.jobs[1].document.name, u".補印菜條: 0031"_s);
    EXPECT_EQ(printers.jobs[0].document.textBlocks().last(), u"  <2026/12/07>  [客數: ]"_s);
    EXPECT_EQ(ksMark(a1), u"0031"_s) << "add-ons take the item's serial";
    EXPECT_EQ(ksMark(b1), u"old"_s) << "a 補 serial marks nothing";

    // An add-on selected without its item prints on its own.
    printers.jobs.clear();
    EXPECT_EQ(reprint(2, 2), printed);
    ASSERT_EQ(printers.jobs.size(), 1);
    EXPECT_EQ(printers.jobs[0].document.tableRows(), QStringList { u"白飯|2;"_s });
    EXPECT_EQ(headers(), QStringList { u"補印-0031  A05"_s }) << "the serial it took from its item";

    // Only closed rows: nothing to print, and that is no printer's failure.
    printers.jobs.clear();
    EXPECT_EQ(reprint(5, 5), nothing(u"所選的點單已結帳"_s));
    EXPECT_TRUE(printers.jobs.isEmpty());
    EXPECT_TRUE(env.readErr().isEmpty()) << env.readErr().toStdString();
}

TEST_F(ReprintTest, SortByTypeListsWhateverAddOnsFollowInThatOrder)
{
    setParam(u"KPSortByType"_s, u"y"_s);
    const int soup = addItem(u"湯麵"_s, 1, u"S0"_s, { { u"TypeNo"_s, u"2"_s }, { u"KSMark"_s, u"7"_s } });
    const int noodles = addItem(u"加麵"_s, 1, u"A1"_s, { { u"TypeNo"_s, u"9"_s } });
    const int rice = addItem(u"飯"_s, 1, u"S0"_s, { { u"TypeNo"_s, u"1"_s }, { u"KSMark"_s, u"8"_s } });
    list({ soup, noodles, rice });

    EXPECT_EQ(reprint(1, 3), printed);
    ASSERT_EQ(printers.jobs.size(), 2);
    EXPECT_EQ(printers.jobs[0].document.tableRows(), QStringList { u"飯|1;"_s });
    EXPECT_EQ(printers.jobs[1].document.tableRows(), (QStringList { u"湯麵|1;"_s, u"|/加麵;"_s }));
    EXPECT_EQ(ksMark(noodles), u"7"_s);
}

TEST_F(ReprintTest, TheReprintAndItsTicketsReadParametersOnTheConnectionTheyAreHanded)
{
    const int soup = addItem(u"湯麵"_s, 1, u"S0"_s, { { u"TypeNo"_s, u"2"_s }, { u"KSMark"_s, u"7"_s } });
    const int rice = addItem(u"飯"_s, 1, u"S0"_s, { { u"TypeNo"_s, u"1"_s }, { u"KSMark"_s, u"8"_s } });
    list({ soup, rice });
    // The site's database holds the parameters; gCNT stands on a copy that has none.
    setParam(u"KPSortByType"_s, u"Y"_s);
    setParam(u"KPAddTblName"_s, u"Y"_s);
    const QString site = env.path(u"site.db"_s);
    db::gCNT().execute(u"VACUUM INTO "_s + QuotStr(site));
    db::gCNT().execute(u"DELETE FROM xxPARAM"_s);
    db::Connection handed;
    handed.open(u"Provider=SQLite;Data Source="_s + site);

    EXPECT_EQ(PrintKPortB(fg1, 1, 2, u"PK"_s, kKitchenPrinter, u"Y"_s, u"Y"_s, false, vsp, handed), printed);
    ASSERT_EQ(printers.jobs.size(), 2);
    EXPECT_EQ(printers.jobs[0].document.tableRows(), QStringList { u"飯|1;"_s }) << "sorted by type";
    const QStringList blocks = printers.jobs[0].document.textBlocks();
    EXPECT_EQ(blocks.last(), blocks.first()) << "the table name again at the foot";
}

TEST_F(ReprintTest, SetItemsSplitIntoOneTicketPerUnitWhenTheFlagIsOn)
{
    const int set = addItem(u"商業午餐"_s, 3, u"S1"_s, { { u"KSMark"_s, u"0040"_s } });
    const int tea = addItem(u"紅茶"_s, 1, u"A1"_s);
    list({ set, tea });

    g().gKPSplitS1item = u"Y"_s;
    EXPECT_EQ(reprint(1, 2), printed);
    EXPECT_EQ(headers(),
        (QStringList {
            u"補印-0040-1  A05"_s, u"補印-0040-2  A05"_s, u"補印-0040-3  A05"_s, u"補印-  A05"_s }))
        << "split tickets carry no add-ons, so the add-on follows as its own ticket";
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(printers.jobs[i].document.tableRows(), QStringList { u"商業午餐|1;"_s });
    EXPECT_EQ(printers.jobs[0].document.commandCount(platform::DeviceCommand::Bell), 1);
    EXPECT_EQ(printers.jobs[1].document.commandCount(platform::DeviceCommand::Bell), 0);

    printers.jobs.clear();
    g().gKPSplitS1item = u"N"_s;
    EXPECT_EQ(reprint(1, 2), printed);
    ASSERT_EQ(printers.jobs.size(), 1);
    EXPECT_EQ(printers.jobs[0].document.tableRows(), (QStringList { u"商業午餐|3;"_s, u"|/紅茶;"_s }));

    // A quantity no kitchen orders as separate tickets prints once, with its quantity, and says so.
    printers.jobs.clear();
    g().gKPSplitS1item = u"Y"_s;
    db::gCNT().execute(u"UPDATE ORDERI SET Qty = 1000000 WHERE RNo = %1"_s.arg(set));
    EXPECT_EQ(reprint(1, 2), printed);
    ASSERT_EQ(printers.jobs.size(), 1);
    EXPECT_EQ(printers.jobs[0].document.tableRows(), (QStringList { u"商業午餐|1000000;"_s, u"|/紅茶;"_s }));
    EXPECT_TRUE(env.readLog().contains(u"商業午餐 x 1000000"_s));
}

TEST_F(ReprintTest, PrinterMissingEmptyOrInAnotherCaseStopsBeforeAnything)
{
    const int a = addItem(u"牛肉麵"_s, 1, u"S0"_s, { { u"KSMark"_s, u"1"_s } });
    const int a1 = addItem(u"白飯"_s, 1, u"A1"_s);
    list({ a, a1 });

    EXPECT_EQ(reprint(1, 2, QString()), failed);
    EXPECT_EQ(reprint(1, 2, kKitchenPrinter.toUpper()), failed);
    EXPECT_EQ(reprint(1, 2, u"O'Brien TM"_s), failed);
    EXPECT_TRUE(printers.jobs.isEmpty());
    EXPECT_TRUE(ksMark(a1).isEmpty()) << "nothing half-updated";
    const QString log = env.readLog();
    EXPECT_TRUE(log.contains(u" => 廚房印表機設定錯誤(pvPrinter), 無法列印:\r\n"_s)) << log.toStdString();
    EXPECT_TRUE(log.contains(u" => 廚房印表機尚未安裝(pvPrinter), 無法列印:TM-T88 KITCHEN\r\n"_s));
    EXPECT_TRUE(log.contains(u" => 廚房印表機尚未安裝(pvPrinter), 無法列印:O'Brien TM\r\n"_s));

    // A printer that takes the name but refuses the job is not reported as printed.
    printers.refuseWith = u"cupsd is not running"_s;
    EXPECT_EQ(reprint(1, 2), failed);
    EXPECT_TRUE(env.readErr().contains(u"cupsd is not running"_s));
    EXPECT_TRUE(
        env.readLog().contains(u" => 廚房印表機拒收列印工作(pvPrinter), 無法列印:TM-T88 Kitchen\r\n"_s));

    // The refused ticket's buzzer never sounded, so the first ticket the printer takes sounds it.
    printers.refuseWith.clear();
    for (int expectedBells : { 1, 0 }) {
        printers.jobs.clear();
        EXPECT_EQ(reprint(1, 2), printed);
        ASSERT_EQ(printers.jobs.size(), 1);
        EXPECT_EQ(printers.jobs[0].document.commandCount(platform::DeviceCommand::Bell), expectedBells);
    }
}

TEST_F(ReprintTest, SelectionsThatHoldNoRowOrRowsBeyondTheGridPrintNothing)
{
    const int a = addItem(u"牛肉麵"_s, 1);
    list({ a });
    EXPECT_EQ(reprint(1, 0), nothing(u"沒有選取點單"_s)) << "a selection of no rows is an empty selection";
    EXPECT_TRUE(printers.jobs.isEmpty());
    EXPECT_TRUE(env.readErr().isEmpty()) << env.readErr().toStdString();

    EXPECT_EQ(reprint(1, 3), failed) << "rows that are not in the grid cannot be read back";
    EXPECT_TRUE(printers.jobs.isEmpty());
    EXPECT_TRUE(env.readErr().contains(u"處理程序: (PrintKPortB)"_s));

    // A grid cell holding SQL is a value, not a statement.
    fg1.addRow({ u"1' OR '1'='1"_s });
    EXPECT_EQ(reprint(2, 2), nothing(u"找不到所選的點單"_s));
    EXPECT_TRUE(printers.jobs.isEmpty());
}

TEST_F(ReprintTest, RowsWithNullEverywherePrint)
{
    const int bare = addRow({ { u"KPort"_s, u"PK"_s }, { u"ListNo"_s, 1 } });
    list({ bare });
    EXPECT_EQ(reprint(1, 1), printed);
    ASSERT_EQ(printers.jobs.size(), 1);
    EXPECT_EQ(printers.jobs[0].document.tableRows(), QStringList { u"[快]|快上;"_s });
    EXPECT_EQ(printers.jobs[0].document.textBlocks().first(), u"補印-  "_s);
}

TEST_F(ReprintTest, PreviewAppliesToTheWindowSurfaceAndTicketsStillPrint)
{
    const int a = addItem(u"牛肉麵"_s, 1);
    list({ a });
    EXPECT_EQ(
        PrintKPortB(fg1, 1, 1, u"PK"_s, kKitchenPrinter, u"N"_s, u"N"_s, true, vsp, db::gCNT()), printed);
    EXPECT_TRUE(vsp.preview());
    EXPECT_EQ(printers.jobs.size(), 1);
}

TEST_F(ReprintTest, ButtonLogsThePortAndTheOutcome)
{
    const int a = addItem(u"牛肉麵"_s, 1, u"S0"_s, { { u"KSMark"_s, u"11"_s } });
    const int b = addItem(u"炒飯"_s, 1, u"S0"_s, { { u"KSMark"_s, u"12"_s } });
    const int c = addItem(u"可樂"_s, 1, u"S0"_s, { { u"KSMark"_s, u"13"_s } });
    list({ a, b, c });

    // The cursor on the header row: nothing happens.
    fg1.setRow(0);
    EXPECT_TRUE(click(input()).message.isEmpty());
    EXPECT_TRUE(fgLog.isEmpty());

    select(2, 3, 2);
    EXPECT_EQ(click(input()).message, u"列印OK:TM-T88 Kitchen-"_s);
    ASSERT_EQ(fgLog.size(), 1);
    EXPECT_EQ(fgLog[0].first, u"PK送廚"_s);
    EXPECT_EQ(fgLog[0].second, u"列印OK:TM-T88 Kitchen-"_s);
    EXPECT_EQ(headers(), (QStringList { u"補印-12  A05"_s, u"補印-13  A05"_s }));

    // Selected upwards, the cursor sits on the last row of the selection: the selection counts.
    printers.jobs.clear();
    select(1, 2, 2);
    click(input());
    EXPECT_EQ(headers(), (QStringList { u"補印-11  A05"_s, u"補印-12  A05"_s }));

    // Another printer type: nothing printed, nothing logged.
    printers.jobs.clear();
    PrintRowInput other = input();
    other.printerType = u"LASER"_s;
    EXPECT_TRUE(click(other).message.isEmpty());
    EXPECT_TRUE(printers.jobs.isEmpty());
    EXPECT_EQ(fgLog.size(), 2);

    PrintRowInput missing = input();
    missing.printer = u"Bar TM"_s;
    const tickets::PrintRowResult failure = click(missing);
    EXPECT_EQ(failure.outcome, ReprintOutcome::Failed);
    EXPECT_EQ(failure.message, u"送廚失敗, 印表機:Bar TM"_s);
    EXPECT_EQ(fgLog.last().first, u"PK送廚"_s);

    // No watched port: the current row is marked and nothing else happens.
    PrintRowInput noPort = input();
    noPort.defKPort.clear();
    select(3, 3, 3);
    click(noPort);
    EXPECT_EQ(fg1.TextMatrix(3, 4), u"--"_s);
    EXPECT_TRUE(printers.jobs.isEmpty());
    EXPECT_EQ(fgLog.size(), 3);
    EXPECT_TRUE(env.prompter.boxes.isEmpty());

    // Rows the POS has closed since they were listed: no ticket, no "OK", and the reason.
    db::gCNT().execute(u"UPDATE ORDERI SET OPDate = '2026/12/07'"_s);
    select(1, 3, 1);
    const tickets::PrintRowResult closed = click(input());
    EXPECT_EQ(closed.outcome, ReprintOutcome::NothingToPrint);
    EXPECT_EQ(closed.message, u"沒有列印: 所選的點單已結帳"_s);
    EXPECT_EQ(fgLog.last(), qMakePair(u"PK送廚"_s, closed.message));
    EXPECT_TRUE(printers.jobs.isEmpty());
}

namespace {

// The same reprint on the PostgreSQL server of ./test.sh, in a schema of its own.
class PgReprintTest : public ReprintTest {
protected:
    const QString schema = u"tavo_tickets_test"_s;

    void SetUp() override
    {
        const QString server = test::postgresConnectionString();
        if (server.isEmpty())
            GTEST_SKIP() << "TAVO_TEST_PG_HOST is not set";
        ReprintTest::SetUp();
        db::Connection &cn = db::gCNT();
        cn.close();
        cn.open(server);
        SetDBType();
        cn.execute(u"DROP SCHEMA IF EXISTS "_s + schema + u" CASCADE"_s);
        cn.execute(u"CREATE SCHEMA "_s + schema);
        cn.execute(u"SET search_path TO "_s + schema);
        demo::createSchema(cn);
    }

    void TearDown() override
    {
        if (db::gCNT().isOpen() && db::gCNT().provider().startsWith(u"PostgreSQL"_s))
            db::gCNT().execute(u"DROP SCHEMA IF EXISTS "_s + schema + u" CASCADE"_s);
        ReprintTest::TearDown();
    }
};

} // namespace

TEST_F(PgReprintTest, ReprintReadsMarksAndSkipsClosedRowsOnPostgreSQL)
{
    db::gCNT().execute(u"INSERT INTO MENUITEM (TypeNo, ItemName, Remark) VALUES (3, '牛肉麵', '招牌')"_s);
    setParam(u"KPSortByType"_s, u"N"_s);
    const int a
        = addItem(u"牛肉麵"_s, 1, u"S0"_s, { { u"KSMark"_s, u"P1"_s }, { u"Remark"_s, u"O'Neil 不辣"_s } });
    const int a1 = addItem(u"白飯"_s, 2.5, u"A1"_s);
    const int closed = addItem(u"魚湯"_s, 1, u"S0"_s, { { u"OPDate"_s, u"2026/12/07"_s } });
    const int rush = addItem(u"炒青菜"_s, 0, u"S0"_s, { { u"KSMark"_s, u"P2"_s } });
    list({ a, a1, closed, rush });

    g().gKPPrintMenuRemark = u"Y"_s;
    EXPECT_EQ(reprint(1, 4), printed);
    EXPECT_EQ(headers(), (QStringList { u"補印-P1  A05"_s, u"補印-P2  A05"_s }));
    EXPECT_EQ(printers.jobs[0].document.tableRows(),
        (QStringList { u"牛肉麵-招牌 <O'Neil 不辣>|1;"_s, u"|/白飯*2.5;"_s }));
    EXPECT_EQ(printers.jobs[1].document.tableRows(), QStringList { u"[快]炒青菜|快上;"_s });
    EXPECT_EQ(ksMark(a1), u"P1"_s);
    EXPECT_EQ(reprint(3, 3), nothing(u"所選的點單已結帳"_s));
    EXPECT_TRUE(env.readErr().isEmpty()) << env.readErr().toStdString();
}
