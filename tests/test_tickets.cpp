// The kitchen ticket and the ticket window: what one ticket records, line by line, for the kinds
// of order rows the terminals write, which rows it reads and marks, and how the window reads its
// settings and checks printers.
#include "test_tickets_fixture.h"

#include "platform/codepage.h"
#include "print/painterrenderer.h"
#include "tickets/kitchenticket.h"

#include <QFontMetricsF>

using namespace Qt::StringLiterals;
using namespace tavo;
using namespace tavo::test;
using tavo::print::DeviceCommand;
using tavo::print::PrintAlign;
using tavo::print::PrintItem;
using tavo::tickets::KitchenTicket;
using tavo::tickets::TicketSettings;

namespace {

// The layout alone: a ticket made by hand, written on a surface of its own, no database.
class TicketLayoutTest : public ::testing::Test {
protected:
    TestEnvironment env;
    FakePrinterCatalog printers { { kKitchenPrinter } };
    print::PrintSurface vsp;

    void SetUp() override
    {
        vsp.setDevice(kKitchenPrinter);
        vsp.setPaperSize(tickets::kRollPaper);
    }

    // Beef noodles, not spicy, for table A05 of operator W1.
    static KitchenTicket beefNoodles()
    {
        KitchenTicket t;
        t.OrderPID = u"A05"_s;
        t.TblName = u"T12"_s;
        t.ItemName = u"牛肉麵"_s;
        t.ItemType = u"S0"_s;
        t.Qty = 1;
        t.Amt = 100;
        t.Price = 100;
        t.Remark = u"不辣"_s;
        t.OrderUserID = u"W1"_s;
        return t;
    }

    // A reprint with serial 0012, the first ticket of the run.
    static TicketSettings settings()
    {
        TicketSettings s;
        s.printSNo = u"0012"_s;
        s.kpName = u"補印"_s;
        s.ringBell = true;
        s.opDate = u"2026/12/07"_s;
        s.exeName = u"TavoKPortSrv"_s;
        s.printedAt = FakeClock::start();
        return s;
    }

    const print::PrintDocument &layOut(const KitchenTicket &t, const TicketSettings &s)
    {
        EXPECT_TRUE(tickets::layOutKitchenTicket(vsp, t, s).sent);
        return printers.jobs.last().document;
    }
};

} // namespace

TEST_F(TicketLayoutTest, WorkedExampleRecordsHeaderItemAddOnsAndFooterExactly)
{
    KitchenTicket ticket = beefNoodles();
    ticket.addOns = { { u"2"_s, u"白飯"_s, 2, QString() } };

    const tickets::LaidOutTicket out = tickets::layOutKitchenTicket(vsp, ticket, settings());
    EXPECT_TRUE(out.sent);
    EXPECT_TRUE(out.bellRung);
    ASSERT_EQ(printers.jobs.size(), 1);
    EXPECT_EQ(printers.jobs[0].printer, kKitchenPrinter);
    const print::PrintDocument &doc = printers.jobs[0].document;
    EXPECT_EQ(doc.name, u".補印菜條: 0012"_s);
    EXPECT_EQ(doc.textBlocks(),
        (QStringList { u"補印-0012  A05"_s, u" 點單人員:W1        印單時間:14:05:09"_s,
            u"  <2026/12/07>  [客數: ]"_s }));
    EXPECT_EQ(doc.tableRows(), (QStringList { u"牛肉麵 <不辣>|1;"_s, u"|/白飯*2;"_s }));
    EXPECT_EQ(doc.commandCount(DeviceCommand::Bell), 1);

    // Fonts, sizes, bold, positions and widths, in the order the ticket writes them.
    const QList<PrintItem> lines = texts(doc);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0].font.name, u"Arial"_s);
    EXPECT_EQ(lines[0].font.size, 16);
    EXPECT_FALSE(lines[0].font.bold);
    EXPECT_EQ(lines[0].rect.topLeft(), QPoint(0, 0)) << "the header is written under code 0";
    // Code 6 centres the operator line and the footer on the roll (no margins).
    for (const PrintItem &centred : { lines[1], lines[2] })
        EXPECT_NEAR(centred.rect.left(), tickets::kRollPaper.width() - (centred.rect.right() + 1), 2)
            << centred.text.toStdString();
    EXPECT_EQ(lines[1].font.size, 9);
    EXPECT_EQ(lines[1].font.colour, QColor(Qt::black));
    EXPECT_EQ(lines[1].rect.top(), 420);
    const QList<PrintItem> item = doc.rowCells(0, 0);
    ASSERT_EQ(item.size(), 2);
    EXPECT_TRUE(item[0].font.bold);
    EXPECT_EQ(item[0].font.size, 18);
    EXPECT_EQ(item[0].rect.width(), 2800);
    EXPECT_EQ(item[1].rect.width(), 850);
    EXPECT_EQ(item[1].align, PrintAlign::Centre);
    EXPECT_EQ(item[0].border, 3);
    EXPECT_EQ(item[0].rect.top(), 420 + lines[1].lineHeight + 20);
    const QList<PrintItem> addOn = doc.rowCells(1, 0);
    EXPECT_EQ(addOn[0].rect.width(), 150);
    EXPECT_EQ(addOn[1].rect.width(), 3500);
    EXPECT_EQ(addOn[1].font.size, 18) << "the add-on line keeps the item's font";
    EXPECT_EQ(lines[2].font.size, 8);
    EXPECT_FALSE(lines[2].font.bold);
    EXPECT_GT(lines[2].rect.top(), addOn[0].rect.top());
    for (const PrintItem &i : doc.items())
        EXPECT_GE(i.rect.left(), 0);
    EXPECT_EQ(vsp.docName(), u"TavoKPortSrv"_s);
    EXPECT_TRUE(env.readErr().isEmpty()) << env.readErr().toStdString();

    // The picture of this ticket in the README is made here: TAVO_TICKET_PNG=docs/ticket.png.
    const QString png = qEnvironmentVariable("TAVO_TICKET_PNG");
    if (!png.isEmpty()) {
        EXPECT_TRUE(print::PainterRenderer::toImage(doc, 0, 200, true).save(png));
    }
}

TEST_F(TicketLayoutTest, QuantityDecidesTheItemRowAndItsColour)
{
    struct Case {
        double qty;
        QString row;
        bool red;
    };
    const QList<Case> cases {
        { 0, u"[快]湯麵 <少鹽>|快上;"_s, true },
        { -2, u"[退]湯麵 2份 <少鹽>|[退];"_s, true },
        { 0.5, u"湯麵 <少鹽>|0.5;"_s, false },
        { 1e6, u"湯麵 <少鹽>|1000000;"_s, false },
        { -0.5, u"[退]湯麵 0.5份 <少鹽>|[退];"_s, true },
    };
    KitchenTicket soup = beefNoodles();
    soup.ItemName = u"湯麵"_s;
    soup.Remark = u"少鹽"_s;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.qty);
        soup.Qty = c.qty;
        const print::PrintDocument &doc = layOut(soup, settings());
        EXPECT_EQ(doc.tableRows(), QStringList { c.row });
        const QColor ink = doc.rowCells(0, 0)[0].font.colour;
        EXPECT_EQ(ink, c.red ? QColor(Qt::red) : QColor(Qt::black));
        EXPECT_EQ(texts(doc)[1].font.colour, ink) << "red starts with the operator line";
        EXPECT_EQ(texts(doc).last().font.colour, QColor(Qt::black)) << "the footer is back in Arial";
    }

    // A return takes its add-ons back with it, in red.
    soup.Qty = -2;
    soup.addOns = { { u"9"_s, u"加麵"_s, 1, QString() } };
    const print::PrintDocument &doc = layOut(soup, settings());
    EXPECT_EQ(doc.tableRows().value(1), u"|/加麵;"_s);
    EXPECT_EQ(doc.rowCells(1, 0).value(1).font.colour, QColor(Qt::red));
}

// Through a driver the item wraps where a line may break too: a PDF queue printed
// "清蒸石斑-時價(2" and "300)-現撈", and "商業午餐-套快上" with the rush quantity against the name.
TEST_F(TicketLayoutTest, TheItemWrapsOutsideItsPriceAndStaysApartFromTheQuantity)
{
    KitchenTicket fish = beefNoodles();
    fish.ItemName = u"清蒸石斑"_s;
    fish.PriceCap = u"時價"_s;
    fish.Price = 2300;
    fish.menuRemark = u"現撈"_s;
    fish.Remark.clear();
    KitchenTicket lunch = beefNoodles();
    lunch.ItemName = u"商業午餐"_s;
    lunch.PriceCap = u"套"_s;
    lunch.Remark.clear();
    const struct Case {
        double qty;
        KitchenTicket ticket;
        QStringList lines; // the item cell's lines
    } cases[] = {
        { 1, fish, { u"清蒸石斑-時價"_s, u"(2300)-現撈"_s } },
        { 0, lunch, { u"[快]商業午餐-"_s, u"套"_s } },
        { -2, lunch, { u"[退]商業午餐-"_s, u"套 2份"_s } },
    };
    for (Case c : cases) {
        SCOPED_TRACE(c.qty);
        c.ticket.Qty = c.qty;
        const QList<PrintItem> cells = layOut(c.ticket, settings()).rowCells(0, 0);
        ASSERT_EQ(cells.size(), 2);
        EXPECT_EQ(cells[0].lineTexts(), c.lines);
        const double space = QFontMetricsF(print::twipFont(cells[0].font)).horizontalAdvance(u' ');
        for (const print::PrintLine &line : cells[0].lines)
            EXPECT_GE(cells[1].lines.value(0).x - (line.x + line.width), space) << line.text.toStdString();
    }
}

TEST_F(TicketLayoutTest, HeaderModesAndTheHeaderAtTheFoot)
{
    TicketSettings rooms = settings();
    rooms.privateRooms = true;
    rooms.headerAtFoot = true;
    rooms.splitCount = 2;
    QStringList blocks = layOut(beefNoodles(), rooms).textBlocks();
    EXPECT_EQ(blocks.first(), u"包廂: A05  0012-2"_s);
    ASSERT_GE(blocks.size(), 5);
    EXPECT_EQ(blocks.mid(blocks.size() - 2), (QStringList { QString(), QString() }))
        << "private rooms get an empty large paragraph, and no header, at the foot";
    const PrintItem foot = texts(printers.jobs.last().document).last();
    EXPECT_EQ(foot.font.size, 16);
    EXPECT_TRUE(foot.font.bold);

    TicketSettings tables = settings();
    tables.headerAtFoot = true;
    blocks = layOut(beefNoodles(), tables).textBlocks();
    EXPECT_EQ(blocks.first(), u"補印-0012  A05"_s);
    EXPECT_EQ(blocks.last(), u"補印-0012  A05"_s);
    const QList<PrintItem> lines = texts(printers.jobs.last().document);
    const int gap = lines.last().rect.top() - lines[lines.size() - 2].rect.top();
    EXPECT_GE(gap, lines.last().lineHeight + 300) << "an empty line, then 300 twips";
    EXPECT_LT(gap, 2 * lines.last().lineHeight + 300);

    tables.hideTimeMark = true;
    EXPECT_EQ(layOut(beefNoodles(), tables).textBlocks().first(), u"補印  T12"_s);
}

TEST_F(TicketLayoutTest, NameCarriesPriceCaptionMarketPriceMenuRemarkAndOnTheHouse)
{
    struct Case {
        QString priceCap;
        std::optional<QString> menuRemark;
        QString delMark;
        double amt;
        QString row;
    };
    const QList<Case> cases {
        { u"時價"_s, u"清蒸"_s, QString(), 880, u"石斑魚-時價(880)-清蒸|1;"_s },
        { u"大"_s, std::nullopt, u"f"_s, 0, u"石斑魚-大[招待]|1;"_s },
        { QString(), QString(), u"F"_s, 880, u"石斑魚-|1;"_s },
    };
    KitchenTicket fish = beefNoodles();
    fish.ItemName = u"石斑魚"_s;
    fish.Remark.clear();
    fish.Price = 880;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.row.toStdString());
        fish.PriceCap = c.priceCap;
        fish.menuRemark = c.menuRemark;
        fish.DelMark = c.delMark;
        fish.Amt = c.amt;
        EXPECT_EQ(layOut(fish, settings()).tableRows(), QStringList { c.row });
    }
}

TEST_F(TicketTest, PrintsTheTicketOfItsRowsAndMarksTheAddOns)
{
    const int beef
        = addItem(u"牛肉麵"_s, 1, u"S0"_s, { { u"Remark"_s, u"不辣"_s }, { u"KSMark"_s, u"0012"_s } });
    const int rice = addItem(u"白飯"_s, 2, u"A1"_s);
    const int next = addItem(u"滷蛋"_s, 1);

    db::Recordset rs = rowsAt(beef);
    EXPECT_TRUE(slip().PrintKPortShortSize(rs, u"0012"_s, 0, QString(), u"補印"_s, db::gCNT()));
    EXPECT_EQ(rs.value(u"RNo"_s).toInt(), rice) << "the recordset stands on the last row the ticket used";

    ASSERT_EQ(printers.jobs.size(), 1);
    EXPECT_EQ(printers.jobs[0].printer, kKitchenPrinter);
    const print::PrintDocument &doc = lastTicket();
    EXPECT_EQ(doc.textBlocks(),
        (QStringList { u"補印-0012  A05"_s, u" 點單人員:W1        印單時間:14:05:09"_s,
            u"  <2026/12/07>  [客數: ]"_s }));
    EXPECT_EQ(doc.tableRows(), (QStringList { u"牛肉麵 <不辣>|1;"_s, u"|/白飯*2;"_s }));
    EXPECT_EQ(ksMark(rice), u"0012"_s) << "the add-on carries the ticket serial";
    EXPECT_TRUE(ksMark(next).isEmpty());
    EXPECT_EQ(slip().vsp.docName(), g().gExeName);
    EXPECT_TRUE(env.readErr().isEmpty()) << env.readErr().toStdString();
}

TEST_F(TicketTest, TheBellSoundsOnTheFirstTicketOfTheRunOnlyAndLeavesNoFontBehind)
{
    const int a = addItem(u"牛肉麵"_s, 1);
    const int b = addItem(u"炒飯"_s, 1);
    db::Recordset rs = rowsAt(a);
    slip().PrintKPortShortSize(rs, u"1"_s, 0, QString(), u"補印"_s, db::gCNT());
    rs = rowsAt(b);
    slip().PrintKPortShortSize(rs, u"2"_s, 0, QString(), u"補印"_s, db::gCNT());
    ASSERT_EQ(printers.jobs.size(), 2);
    EXPECT_EQ(printers.jobs[0].document.commandCount(DeviceCommand::Bell), 1);
    EXPECT_EQ(printers.jobs[1].document.commandCount(DeviceCommand::Bell), 0);
    const PrintItem header = texts(printers.jobs[1].document).first();
    EXPECT_EQ(header.font.name, u"Arial"_s);
    EXPECT_EQ(header.font.size, 16);
    EXPECT_TRUE(slip().BellDone);

    // The window stays loaded: asking for it again does not sound the bell again.
    rs = rowsAt(a);
    ticketPrinter().PrintKPortShortSize(rs, u"3"_s, 0, QString(), u"補印"_s, db::gCNT());
    EXPECT_EQ(printers.jobs[2].document.commandCount(DeviceCommand::Bell), 0);
}

TEST_F(TicketTest, QuantityDecidesWhetherTheAddOnsAreListedAndMarked)
{
    struct Case {
        double qty;
        bool listsAddOn;
    };
    for (const Case &c : { Case { 0, false }, Case { -2, true }, Case { 0.5, true } }) {
        SCOPED_TRACE(c.qty);
        db::gCNT().execute(u"DELETE FROM ORDERI"_s);
        const int soup = addItem(u"湯麵"_s, c.qty);
        const int noodles = addItem(u"加麵"_s, 1, u"T1"_s);
        db::Recordset rs = rowsAt(soup);
        EXPECT_TRUE(slip().PrintKPortShortSize(rs, u"77"_s, 0, u"4"_s, u"K"_s, db::gCNT()));
        EXPECT_EQ(lastTicket().tableRows().size(), c.listsAddOn ? 2 : 1);
        EXPECT_EQ(rs.value(u"RNo"_s).toInt(), c.listsAddOn ? noodles : soup);
        EXPECT_EQ(ksMark(noodles), c.listsAddOn ? u"77"_s : QString());
        EXPECT_EQ(texts(lastTicket()).last().text, u"  <2026/12/07>  [客數: 4]"_s);
    }
}

TEST_F(TicketTest, SplitSetItemsShowOneUnitAndTheUnitNumber)
{
    const int set = addItem(u"商業午餐"_s, 3, u"S1"_s);
    const int drink = addItem(u"紅茶"_s, 1, u"A1"_s);

    g().gKPSplitS1item = u"Y"_s;
    db::Recordset rs = rowsAt(set);
    slip().PrintKPortShortSize(rs, u"0012"_s, 3, QString(), u"補印"_s, db::gCNT());
    EXPECT_EQ(lastTicket().textBlocks().first(), u"補印-0012-3  A05"_s);
    EXPECT_EQ(lastTicket().tableRows(), QStringList { u"商業午餐|1;"_s });
    EXPECT_EQ(rs.value(u"RNo"_s).toInt(), set);

    g().gKPSplitS1item = u"N"_s;
    slip().PrintKPortShortSize(rs, u"0012"_s, 3, QString(), u"補印"_s, db::gCNT());
    EXPECT_EQ(lastTicket().tableRows(), (QStringList { u"商業午餐|3;"_s, u"|/紅茶;"_s }));
    EXPECT_EQ(rs.value(u"RNo"_s).toInt(), drink);
    EXPECT_EQ(ksMark(drink), u"0012"_s);
}

TEST_F(TicketTest, TheAddOnScanStopsAtTheEndAndAtTheNextItem)
{
    const int first = addItem(u"炒飯"_s, 1);
    const int egg = addItem(u"加蛋"_s, 3, u"AN"_s, { { u"Remark"_s, u"全熟"_s } });
    const int cheese = addItem(u"起司"_s, 1, u"TN"_s);
    const int last = addItem(u"可樂"_s, 2);

    db::Recordset rs = rowsAt(first);
    slip().PrintKPortShortSize(rs, u"5"_s, 0, QString(), u"K"_s, db::gCNT());
    EXPECT_EQ(lastTicket().tableRows(), (QStringList { u"炒飯|1;"_s, u"|/加蛋*3-全熟/起司;"_s }));
    EXPECT_EQ(rs.value(u"RNo"_s).toInt(), cheese);
    EXPECT_EQ(ksMark(egg), u"5"_s);
    EXPECT_EQ(ksMark(cheese), u"5"_s);

    rs = rowsAt(last);
    slip().PrintKPortShortSize(rs, u"6"_s, 0, QString(), u"K"_s, db::gCNT());
    EXPECT_EQ(lastTicket().tableRows(), QStringList { u"可樂|2;"_s });
    EXPECT_EQ(rs.value(u"RNo"_s).toInt(), last) << "past the end the scan goes back to the last row";
    EXPECT_FALSE(rs.eof());

    // An add-on handed over directly prints like an item, without a list of its own.
    rs = rowsAt(egg);
    slip().PrintKPortShortSize(rs, u"7"_s, 0, QString(), u"K"_s, db::gCNT());
    EXPECT_EQ(lastTicket().tableRows(), QStringList { u"加蛋 <全熟>|3;"_s });
    EXPECT_EQ(rs.value(u"RNo"_s).toInt(), egg);
    EXPECT_EQ(ksMark(cheese), u"5"_s);
}

TEST_F(TicketTest, TheMenuRemarkIsLookedUpByTypeNumberAndName)
{
    db::gCNT().execute(u"INSERT INTO MENUITEM VALUES (3, '石斑魚', '清蒸')"_s);
    db::gCNT().execute(u"INSERT INTO MENUITEM VALUES (3, '白飯', '')"_s);
    // Type 0 files another dish of the same name: a row without a type number must not get it.
    db::gCNT().execute(u"INSERT INTO MENUITEM VALUES (0, '白飯', '加價')"_s);
    const int fish = addItem(u"石斑魚"_s, 1);
    const int rice = addItem(u"白飯"_s, 1);
    const int riceText = addItem(u"白飯"_s, 1, u"S0"_s, { { u"TypeNo"_s, u"abc"_s } });
    const int riceEmpty = addItem(u"白飯"_s, 1, u"S0"_s, { { u"TypeNo"_s, QString() } });
    const int riceNull = addItem(u"白飯"_s, 1, u"S0"_s, { { u"TypeNo"_s, QVariant() } });

    TicketSettings settings;
    settings.menuRemarks = true;
    auto menuRemark = [&](int rno) {
        db::Recordset rs = rowsAt(rno);
        return tickets::readKitchenTicket(rs, db::gCNT(), settings).menuRemark;
    };
    EXPECT_EQ(menuRemark(fish), u"清蒸"_s);
    EXPECT_EQ(menuRemark(rice), QString()) << "an empty remark is still the menu's";
    for (int rno : { riceText, riceEmpty, riceNull })
        EXPECT_EQ(menuRemark(rno), std::nullopt) << rno;
    EXPECT_TRUE(env.readErr().isEmpty()) << env.readErr().toStdString();

    settings.menuRemarks = false;
    EXPECT_EQ(menuRemark(fish), std::nullopt);
}

TEST_F(TicketTest, BadRowsPrintWhatTheyHoldWithoutBreakingTheTicket)
{
    // Every column the ticket reads is NULL.
    const int empty = addRow({ { u"KPort"_s, u"PK"_s } });
    db::Recordset rs = rowsAt(empty);
    EXPECT_TRUE(slip().PrintKPortShortSize(rs, u"9"_s, 0, QString(), u"K"_s, db::gCNT()));
    EXPECT_EQ(lastTicket().tableRows(), QStringList { u"[快]|快上;"_s });
    EXPECT_EQ(lastTicket().textBlocks()[1], u" 點單人員:          印單時間:14:05:09"_s);

    // An operator id whose sixth byte would split a Chinese character, a name longer than the
    // ticket, and separators typed into a remark.
    const QString longName = u"招牌紅燒半筋半肉牛肉麵加大碗附滷味拼盤與季節時蔬"_s;
    const int item = addItem(longName, 1, u"S0"_s,
        { { u"OrderUserID"_s, u"A王小明"_s }, { u"Remark"_s, u"少辣;不要蔥|湯分開"_s } });
    rs = rowsAt(item);
    slip().PrintKPortShortSize(rs, u"9"_s, 0, QString(), u"K"_s, db::gCNT());
    const QString operatorLine = lastTicket().textBlocks()[1];
    EXPECT_TRUE(operatorLine.startsWith(u" 點單人員:A王小     印單時間:"_s)) << operatorLine.toStdString();
    EXPECT_EQ(platform::CodePage::byteWidth(operatorLine.mid(6, 4)), 6);
    const QStringList rows = lastTicket().tableRows();
    ASSERT_EQ(rows.size(), 1) << "a separator in a remark must not split the row";
    EXPECT_EQ(rows[0], longName + u" <少辣；不要蔥｜湯分開>|1;"_s);
    const QList<PrintItem> cells = lastTicket().rowCells(0, 0);
    EXPECT_GT(cells[0].lines.size(), 1) << "a long name wraps inside its column";
    EXPECT_EQ(cells[1].lineTexts(), QStringList { u"1"_s });
}

TEST_F(TicketTest, AFailedStepIsLoggedAndTheTicketStillPrints)
{
    const int item = addItem(u"牛肉麵"_s, 1);
    const int rice = addItem(u"白飯"_s, 2, u"A1"_s);
    const int egg = addItem(u"滷蛋"_s, 1, u"A1"_s);
    db::gCNT().execute(u"CREATE TRIGGER no_marks BEFORE UPDATE ON ORDERI WHEN OLD.RNo = %1"
                       " BEGIN SELECT RAISE(ABORT, 'locked by POS'); END"_s.arg(rice));
    g().gKPPrintMenuRemark = u"Y"_s;
    db::gCNT().execute(u"DROP TABLE MENUITEM"_s);

    db::Recordset rs = rowsAt(item);
    EXPECT_TRUE(slip().PrintKPortShortSize(rs, u"補0012"_s, 0, QString(), u"補印"_s, db::gCNT()));
    ASSERT_EQ(printers.jobs.size(), 1);
    EXPECT_EQ(lastTicket().tableRows(), (QStringList { u"牛肉麵|1;"_s, u"|/白飯*2/滷蛋;"_s }));
    EXPECT_EQ(env.readErr().count(u"處理程序: (PrintKPortShortSize)"_s), 1) << env.readErr().toStdString();

    rs = rowsAt(item);
    EXPECT_TRUE(slip().PrintKPortShortSize(rs, u"0013"_s, 0, QString(), u"K"_s, db::gCNT()));
    EXPECT_EQ(lastTicket().tableRows(), (QStringList { u"牛肉麵|1;"_s, u"|/白飯*2/滷蛋;"_s }))
        << "an add-on whose mark cannot be stored is still on the ticket";
    EXPECT_TRUE(ksMark(rice).isEmpty());
    EXPECT_EQ(ksMark(egg), u"0013"_s) << "one locked row costs no other row its mark";
    EXPECT_EQ(env.readErr().count(u"處理程序: (PrintKPortShortSize)"_s), 3);
    EXPECT_TRUE(env.prompter.boxes.isEmpty()) << "tickets never stop the service with a box";

    // A printer that refuses the job: logged, and not a success.
    printers.refuseWith = u"queue stopped"_s;
    rs = rowsAt(item);
    EXPECT_FALSE(slip().PrintKPortShortSize(rs, u"補1"_s, 0, QString(), u"K"_s, db::gCNT()));
    EXPECT_TRUE(env.readErr().contains(u"queue stopped"_s));
    EXPECT_EQ(slip().vsp.docName(), g().gExeName);
}

TEST_F(TicketTest, WindowLoadReadsTopMarginTableLabelAndTableNameFlag)
{
    env.settings.save(u"Tavo3"_s, u"KP"_s, u"lblSlipTopMargin"_s, u"500"_s);
    env.writeIni(TestEnvironment::big5(u"[PARAM]\r\nTableLabelSite=老張牛肉麵\r\n"_s));
    g().gCustName = u"老張牛肉麵"_s;
    const int item = addItem(u"牛肉麵"_s, 1);

    db::Recordset rs = rowsAt(item);
    slip().PrintKPortShortSize(rs, u"0012"_s, 0, QString(), u"補印"_s, db::gCNT());
    EXPECT_EQ(slip().SlipTopMargin, 500);
    EXPECT_EQ(slip().TableLabel, u"桌號"_s);
    EXPECT_TRUE(slip().KPAddTblName.isEmpty());
    EXPECT_EQ(texts(lastTicket()).first().rect.top(), 500);
    EXPECT_EQ(lastTicket().textBlocks().first(), u"補印-0012 桌號 A05"_s);

    remakeTicketPrinter();
    env.settings.save(u"Tavo3"_s, u"KP"_s, u"lblSlipTopMargin"_s, u"abc"_s);
    g().gCustName = u"別家店"_s;
    setParam(u"KPAddTblName"_s, u"y"_s);
    EXPECT_EQ(slip().SlipTopMargin, 0);
    EXPECT_TRUE(slip().TableLabel.isEmpty());
    EXPECT_EQ(slip().vsp.margins(), QMargins(0, 0, 0, 0));
    EXPECT_EQ(slip().vsp.tableBorder(), 10);
    rs = rowsAt(item);
    slip().PrintKPortShortSize(rs, u"0013"_s, 0, QString(), u"補印"_s, db::gCNT());
    EXPECT_EQ(slip().KPAddTblName, u"Y"_s);

    // No site configured: an empty CustName must not switch the label on.
    remakeTicketPrinter();
    env.writeIni(QByteArray("[PARAM]\r\n"));
    g().gCustName.clear();
    EXPECT_TRUE(slip().TableLabel.isEmpty());
}

TEST_F(TicketTest, IsPrinterInstalledWantsTheExactName)
{
    EXPECT_TRUE(print::IsPrinterInstalled(kKitchenPrinter));
    EXPECT_FALSE(print::IsPrinterInstalled(kKitchenPrinter.toLower()));
    EXPECT_FALSE(print::IsPrinterInstalled(kKitchenPrinter + u" "_s));
    EXPECT_FALSE(print::IsPrinterInstalled(QString()));
    EXPECT_FALSE(print::IsPrinterInstalled(u"Kitchen's TM"_s));
    printers.names.append(u"Kitchen's TM"_s);
    EXPECT_TRUE(print::IsPrinterInstalled(u"Kitchen's TM"_s));
    EXPECT_TRUE(env.prompter.boxes.isEmpty());

    printers.names.clear();
    EXPECT_FALSE(print::IsPrinterInstalled(kKitchenPrinter));
    EXPECT_TRUE(env.prompter.boxes.isEmpty()) << "no printers is an answer, not an error";

    printers.failListing = true;
    EXPECT_FALSE(print::IsPrinterInstalled(kKitchenPrinter));
    ASSERT_EQ(env.prompter.boxes.size(), 1);
    EXPECT_TRUE(env.readErr().contains(u"處理程序: (IsPrinterInstalled)"_s));
}
