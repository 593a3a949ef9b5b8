// Reprint of listed rows: which rows of the order grid become tickets, in which order, how set
// items split, what the button writes to the activity log and the text log.
#include "test_tickets_fixture.h"

#include "demo/demoschema.h"
#include "platform/errors.h"
#include "platform/gridmodel.h"
#include "print/escposrenderer.h"
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
    *os << "outcome " << int(result.outcome) << " \"" << result.reason.toStdString()
        << "\" not printed: " << result.notPrinted.join(u", "_s).toStdString();
}
} // namespace tavo::tickets

namespace {

const ReprintResult printed { ReprintOutcome::Printed, {}, {} };
const ReprintResult failed { ReprintOutcome::Failed, {}, {} };
ReprintResult nothing(const QString &reason)
{
    return { ReprintOutcome::NothingToPrint, reason, {} };
}

class ReprintTest : public TicketTest {
protected:
    platform::GridModel fg1;
    print::PrintSurface vsp; // the service window's own surface

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
        return PrintKPortB(fg1, { rowB, rowE, printer, false }, vsp, ticketPrinter(), db::gCNT());
    }

    tickets::PrintRowResult click(const PrintRowInput &in)
    {
        return tickets::reprintSelectedRows(fg1, in, vsp, ticketPrinter(), db::gCNT(), writeFGLog);
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

    EXPECT_EQ(PrintKPortB(fg1, { 1, 2, kKitchenPrinter, false }, vsp, ticketPrinter(), handed), printed);
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
    EXPECT_EQ(printers.jobs[0].document.commandCount(print::DeviceCommand::Bell), 1);
    EXPECT_EQ(printers.jobs[1].document.commandCount(print::DeviceCommand::Bell), 0);

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
    EXPECT_EQ(reprint(1, 2), (ReprintResult { ReprintOutcome::Failed, {}, { u"#%1 牛肉麵"_s.arg(a) } }));
    EXPECT_TRUE(env.readErr().contains(u"cupsd is not running"_s));
    EXPECT_TRUE(
        env.readLog().contains(u" => 廚房印表機拒收列印工作(pvPrinter), 無法列印:TM-T88 Kitchen\r\n"_s));

    // The refused ticket's buzzer never sounded, so the first ticket the printer takes sounds it.
    printers.refuseWith.clear();
    for (int expectedBells : { 1, 0 }) {
        printers.jobs.clear();
        EXPECT_EQ(reprint(1, 2), printed);
        ASSERT_EQ(printers.jobs.size(), 1);
        EXPECT_EQ(printers.jobs[0].document.commandCount(print::DeviceCommand::Bell), expectedBells);
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
    EXPECT_EQ(PrintKPortB(fg1, { 1, 1, kKitchenPrinter, true }, vsp, ticketPrinter(), db::gCNT()), printed);
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

// The PostgreSQL server of ./test.sh, for the same reprints: gCNT on a schema of its own holding
// the demo site's tables.
const QString kPgSchema = u"tavo_tickets_test"_s;

void openPostgresSchema(const QString &server)
{
    db::Connection &cn = db::gCNT();
    cn.close();
    cn.open(server);
    SetDBType();
    cn.execute(u"DROP SCHEMA IF EXISTS "_s + kPgSchema + u" CASCADE"_s);
    cn.execute(u"CREATE SCHEMA "_s + kPgSchema);
    cn.execute(u"SET search_path TO "_s + kPgSchema);
    demo::createSchema(cn);
}

void dropPostgresSchema()
{
    if (db::gCNT().isOpen() && db::gCNT().provider().startsWith(u"PostgreSQL"_s))
        db::gCNT().execute(u"DROP SCHEMA IF EXISTS "_s + kPgSchema + u" CASCADE"_s);
}

class PgReprintTest : public ReprintTest {
protected:
    void SetUp() override
    {
        const QString server = test::postgresConnectionString();
        if (server.isEmpty())
            GTEST_SKIP() << "TAVO_TEST_PG_HOST is not set";
        ReprintTest::SetUp();
        openPostgresSchema(server);
    }

    void TearDown() override
    {
        dropPostgresSchema();
        ReprintTest::TearDown();
    }
};

// Three tables order at once on two terminals: their rows interleave in RNo, and the POS numbers
// ListNo within each order, from 1.
struct PosRow {
    QString order;
    int listNo;
    QString item, type;
    double qty;
    int typeNo;
    QString ksMark;
};
const QList<PosRow> kLunchRush {
    { u"包廂2-06"_s, 1, u"家庭套餐"_s, u"S1"_s, 2, 5, u"0199"_s },
    { u"B01-04"_s, 1, u"牛肉麵"_s, u"S0"_s, 1, 3, u"0201"_s },
    { u"包廂2-06"_s, 2, u"加蛋"_s, u"AN"_s, 3, 9, {} },
    { u"A05-02"_s, 1, u"炒青菜"_s, u"S0"_s, 1, 4, u"0203"_s },
    { u"B01-04"_s, 2, u"加起司"_s, u"A1"_s, 1, 9, {} },
    { u"A05-02"_s, 2, u"少油"_s, u"T1"_s, 1, 9, {} },
    { u"B01-04"_s, 3, u"加飯"_s, u"A1"_s, 1, 9, {} },
    { u"包廂2-06"_s, 3, u"紅燒魚"_s, u"S0"_s, 1, 4, u"0200"_s },
    { u"A05-02"_s, 3, u"魚湯"_s, u"S0"_s, 1, 2, u"0204"_s },
};

class InterleavedOrdersTest : public ReprintTest {
protected:
    QList<int> rnos; // of kLunchRush, row by row

    // Where the POS's rows are: the fixture's SQLite database unless told otherwise.
    virtual void openSite() { }

    void SetUp() override
    {
        ReprintTest::SetUp();
        openSite();
        for (const PosRow &r : kLunchRush)
            rnos << addItem(r.item, r.qty, r.type,
                { { u"OrderPID"_s, r.order }, { u"TblName"_s, r.order.left(r.order.indexOf(u'-')) },
                    { u"ListNo"_s, r.listNo }, { u"TypeNo"_s, QString::number(r.typeNo) },
                    { u"KSMark"_s, r.ksMark.isEmpty() ? QVariant() : QVariant(r.ksMark) } });
        // The buzzer sounds on the first ticket of a run only: every run here starts after it.
        slip().BellDone = true;
    }

    // Reprints the rows of the given orders, listed in the grid in RNo order, from a fresh mark
    // of every add-on row.
    void reprintOrders(const QStringList &orders)
    {
        db::gCNT().execute(u"UPDATE ORDERI SET KSMark = NULL WHERE ItemType IN ('A1','T1','AN','TN')"_s);
        fg1.setRows(1);
        for (int i = 0; i < kLunchRush.size(); ++i)
            if (orders.contains(kLunchRush[i].order))
                fg1.addRow({ QString::number(rnos[i]), u"PK"_s, kLunchRush[i].order });
        ASSERT_EQ(reprint(1, fg1.Rows() - 1), printed);
    }

    // Each ticket as the kitchen reads it: its header, then its table rows.
    QStringList tickets() const
    {
        QStringList out;
        for (const FakePrinterCatalog::Job &job : printers.jobs)
            out << (QStringList { job.document.textBlocks().value(0) } + job.document.tableRows())
                       .join(u" "_s);
        return out;
    }

    // Each job as the spooler and the receipt printer get it: its name and its ESC/POS bytes.
    QList<QPair<QString, QByteArray>> jobBytes() const
    {
        QList<QPair<QString, QByteArray>> out;
        for (const FakePrinterCatalog::Job &job : printers.jobs)
            out.append({ job.document.name, print::EscPosRenderer::render(job.document) });
        return out;
    }

    QStringList marks()
    {
        QStringList out;
        for (int rno : rnos)
            out << ksMark(rno);
        return out;
    }

    // Each order keeps its own add-ons and its own marks, in both list orders and with split set
    // items, and a selection of several orders prints the very jobs of each order reprinted alone.
    void expectEveryOrderPrintsAsIfReprintedAlone()
    {
        const QString X = u"包廂2-06"_s, Y = u"B01-04"_s, Z = u"A05-02"_s;
        struct Case {
            const char *name;
            QString sortByType, splitSetItems;
            QMap<QString, QStringList> tickets; // per order, in the order they print
            QStringList marks; // KSMark of kLunchRush's rows afterwards
        };
        const QList<Case> cases {
            { "list order", u"N"_s, u"N"_s,
                { { X,
                      { u"補印-0199  包廂2-06 家庭套餐|2; |/加蛋*3;"_s,
                          u"補印-0200  包廂2-06 紅燒魚|1;"_s } },
                    { Y, { u"補印-0201  B01-04 牛肉麵|1; |/加起司/加飯;"_s } },
                    { Z, { u"補印-0203  A05-02 炒青菜|1; |/少油;"_s, u"補印-0204  A05-02 魚湯|1;"_s } } },
                { u"0199"_s, u"0201"_s, u"0199"_s, u"0203"_s, u"0201"_s, u"0203"_s, u"0201"_s, u"0200"_s,
                    u"0204"_s } },
            { "sorted by type", u"Y"_s, u"N"_s,
                { { X,
                      { u"補印-0200  包廂2-06 紅燒魚|1;"_s,
                          u"補印-0199  包廂2-06 家庭套餐|2; |/加蛋*3;"_s } },
                    { Y, { u"補印-0201  B01-04 牛肉麵|1; |/加起司/加飯;"_s } },
                    { Z, { u"補印-0204  A05-02 魚湯|1;"_s, u"補印-0203  A05-02 炒青菜|1; |/少油;"_s } } },
                { u"0199"_s, u"0201"_s, u"0199"_s, u"0203"_s, u"0201"_s, u"0203"_s, u"0201"_s, u"0200"_s,
                    u"0204"_s } },
            { "split set items", u"N"_s, u"Y"_s,
                { { X,
                      { u"補印-0199-1  包廂2-06 家庭套餐|1;"_s, u"補印-0199-2  包廂2-06 家庭套餐|1;"_s,
                          u"補印-  包廂2-06 加蛋|3;"_s, u"補印-0200  包廂2-06 紅燒魚|1;"_s } },
                    { Y, { u"補印-0201  B01-04 牛肉麵|1; |/加起司/加飯;"_s } },
                    { Z, { u"補印-0203  A05-02 炒青菜|1; |/少油;"_s, u"補印-0204  A05-02 魚湯|1;"_s } } },
                { u"0199"_s, u"0201"_s, QString(), u"0203"_s, u"0201"_s, u"0203"_s, u"0201"_s, u"0200"_s,
                    u"0204"_s } },
        };
        // Two orders and three; the orders print in the order their first rows were listed.
        const QList<QStringList> selections { { X, Y }, { X, Y, Z } };

        for (const Case &c : cases) {
            db::gCNT().execute(u"DELETE FROM xxPARAM"_s);
            setParam(u"KPSortByType"_s, c.sortByType);
            g().gKPSplitS1item = c.splitSetItems;
            for (const QStringList &orders : selections) {
                SCOPED_TRACE(std::string(c.name) + ", orders " + orders.join(u' ').toStdString());
                QStringList expected;
                QList<QPair<QString, QByteArray>> alone;
                for (const QString &order : orders) {
                    expected += c.tickets.value(order);
                    printers.jobs.clear();
                    reprintOrders({ order });
                    EXPECT_EQ(tickets(), c.tickets.value(order));
                    alone += jobBytes();
                }

                printers.jobs.clear();
                reprintOrders(orders);
                EXPECT_EQ(tickets(), expected);
                EXPECT_TRUE(jobBytes() == alone) << "the jobs differ from those of each order alone";
                if (orders.size() == 3) {
                    EXPECT_EQ(marks(), c.marks) << "add-on rows carry the serial of their own order's item";
                }
            }
        }
        EXPECT_TRUE(env.readErr().isEmpty()) << env.readErr().toStdString();
    }
};

class PgInterleavedOrdersTest : public InterleavedOrdersTest {
protected:
    void SetUp() override
    {
        if (test::postgresConnectionString().isEmpty())
            GTEST_SKIP() << "TAVO_TEST_PG_HOST is not set";
        InterleavedOrdersTest::SetUp();
    }
    void openSite() override { openPostgresSchema(test::postgresConnectionString()); }
    void TearDown() override
    {
        dropPostgresSchema();
        InterleavedOrdersTest::TearDown();
    }
};

} // namespace

TEST_F(InterleavedOrdersTest, EveryOrderPrintsAsIfReprintedAlone)
{
    expectEveryOrderPrintsAsIfReprintedAlone();
}

TEST_F(PgInterleavedOrdersTest, EveryOrderPrintsAsIfReprintedAloneOnPostgreSQL)
{
    expectEveryOrderPrintsAsIfReprintedAlone();
}

namespace {

// A clock that fails once, when it is asked for the time the n-th time: the time a ticket is
// stamped with is the first thing each ticket asks for.
class FailingClock : public platform::Clock {
public:
    FailingClock(platform::Clock &real, int failAt)
        : m_real(real)
        , m_failAt(failAt)
    {
    }
    QDateTime now() const override
    {
        if (++m_calls == m_failAt)
            throw TavoError(kGenericErrorNumber, u"the clock could not be read"_s);
        return m_real.now();
    }
    void sleepMs(int ms) override { m_real.sleepMs(ms); }

private:
    platform::Clock &m_real;
    int m_failAt;
    mutable int m_calls = 0;
};

} // namespace

// A ticket that fails, refused by the printer or broken off by an error, costs only its own row:
// the rows after it still print, and the activity list names what did not.
TEST_F(ReprintTest, AFailedTicketIsNamedAndTheRowsAfterItStillPrint)
{
    const int a = addItem(u"牛肉麵"_s, 1, u"S0"_s, { { u"KSMark"_s, u"11"_s } });
    const int b = addItem(u"炒飯"_s, 1, u"S0"_s, { { u"KSMark"_s, u"12"_s } });
    const int b1 = addItem(u"加蛋"_s, 1, u"A1"_s);
    const int c = addItem(u"可樂"_s, 1, u"S0"_s, { { u"KSMark"_s, u"13"_s } });
    list({ a, b, b1, c });
    const QString failedRow = u"#%1 炒飯"_s.arg(b);

    struct Case {
        const char *name;
        bool error;
        QStringList printed;
    };
    const QList<Case> cases {
        // The refused ticket had taken its add-on along.
        { "refused by the printer", false, { u"補印-11  A05"_s, u"補印-13  A05"_s } },
        // Broken off before it read its add-on, which then prints on its own.
        { "an error", true, { u"補印-11  A05"_s, u"補印-  A05"_s, u"補印-13  A05"_s } },
    };
    for (const auto &[name, error, printed] : cases) {
        SCOPED_TRACE(name);
        printers.jobs.clear();
        fgLog.clear();
        db::gCNT().execute(u"UPDATE ORDERI SET KSMark = NULL WHERE RNo = %1"_s.arg(b1));
        FailingClock failing(env.clock, 2);
        if (error)
            platform::services().clock = &failing;
        else
            printers.refuseIf
                = [](const print::PrintDocument &doc) { return doc.name == u".補印菜條: 12"_s; };
        select(1, 4, 1);
        const tickets::PrintRowResult result = click(input());
        platform::services().clock = &env.clock;
        printers.refuseIf = nullptr;

        EXPECT_EQ(headers(), printed);
        EXPECT_EQ(result.outcome, ReprintOutcome::PartlyPrinted);
        ASSERT_EQ(fgLog.size(), 1);
        EXPECT_EQ(fgLog[0].second, u"部分送廚失敗, 印表機:TM-T88 Kitchen, 未印: "_s + failedRow);
        EXPECT_EQ(result.message, fgLog[0].second);
    }
    EXPECT_TRUE(env.readErr().contains(u"the clock could not be read"_s)) << env.readErr().toStdString();

    // Nothing reached the printer: the whole reprint failed.
    printers.refuseWith = u"paused"_s;
    EXPECT_EQ(reprint(1, 4).outcome, ReprintOutcome::Failed);
}

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
