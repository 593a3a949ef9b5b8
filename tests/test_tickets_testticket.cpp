// Test tickets: the dish ticket of a fixed entry, and the test of every printer of the port grid.
#include "test_tickets_fixture.h"

#include "platform/gridmodel.h"
#include "tickets/testticket.h"

using namespace Qt::StringLiterals;
using namespace tavo;
using namespace tavo::test;
using tavo::print::PrintItem;
using tavo::tickets::KPWPOrderI;

namespace {

class TestTicketTest : public TicketTest {
protected:
    print::PrintSurface vsp; // the service window's surface
    platform::GridModel fgKPort, fgPrinterList;
    tickets::OrderBuffer buffer;

    void SetUp() override
    {
        TicketTest::SetUp();
        fgKPort.setFormatString(u"RNo|KPort|KPortType|KPortName"_s);
        fgKPort.setRows(1);
        fgPrinterList.setFormatString(u"印表機"_s);
        fgPrinterList.setRows(1);
        tickets::fillTestEntry(buffer);
        buffer.printerLine = u"廚房印表機:"_s + kKitchenPrinter;
    }

    void addPort(const QString &port, const QString &type, const QString &printer)
    {
        fgKPort.addRow({ QString::number(fgKPort.Rows()), port, type, printer });
    }

    QStringList listed() const
    {
        QStringList names;
        for (int r = 1; r < fgPrinterList.Rows(); ++r)
            names << fgPrinterList.TextMatrix(r, 0);
        return names;
    }
};

} // namespace

TEST_F(TestTicketTest, TheTestTicketReadsTopToBottomInItsFonts)
{
    ASSERT_TRUE(KPWPOrderI(kKitchenPrinter, buffer, vsp, writeFGLog));
    ASSERT_EQ(printers.jobs.size(), 1);
    const print::PrintDocument &doc = lastTicket();
    EXPECT_EQ(doc.name, u"TM-T88 Kitchen->印表服務啟動測試"_s);
    EXPECT_EQ(doc.paperSize, ticketPrinter().vsp.paperSize())
        << "the test ticket comes out on the roll the kitchen tickets use";
    EXPECT_EQ(doc.textBlocks(),
        (QStringList { u"[印表服務啟動測試]"_s, u" 點單時間:hh:mm    印單時間:14:05:09"_s,
            u" 服務員代號: Korvel."_s, u"."_s, u"廚房印表機:TM-T88 Kitchen"_s, u"."_s,
            u"   ->營業日:2026/12/07"_s }));
    EXPECT_EQ(doc.tableRows(), QStringList { u"印表機OK, 請通知櫃台|999;"_s });

    const QList<PrintItem> lines = texts(doc);
    ASSERT_EQ(lines.size(), 7);
    EXPECT_TRUE(lines[0].font.bold);
    EXPECT_EQ(lines[0].font.size, 14);
    EXPECT_FALSE(lines[1].font.bold);
    EXPECT_EQ(lines[1].font.size, 10);
    EXPECT_EQ(lines[3].font.colour, QColor(Qt::red));
    EXPECT_EQ(lines[4].font.name, u"Arial"_s);
    EXPECT_TRUE(lines[4].font.bold);
    EXPECT_EQ(lines[4].rect.top(), lines[3].rect.top() + lines[3].lineHeight - 200)
        << "the red dot is overprinted";
    EXPECT_EQ(lines[5].font.name, print::kFixedDeviceFont);
    EXPECT_TRUE(lines[5].font.fixedPitch);
    EXPECT_EQ(lines[5].font.colour, QColor(Qt::black));
    EXPECT_EQ(lines[6].font.size, 14);

    const QList<PrintItem> cells = doc.rowCells(0, 0);
    ASSERT_EQ(cells.size(), 2);
    EXPECT_EQ(cells[0].rect.width(), 2800);
    EXPECT_EQ(cells[1].rect.width(), 900);
    EXPECT_EQ(cells[1].align, print::PrintAlign::Right);
    EXPECT_EQ(cells[0].font.size, 18);
    // The item line wraps at 18 points; the tail follows it, and never sits above the minimum.
    EXPECT_EQ(cells[0].lines.size(), 2);
    EXPECT_EQ(lines[5].rect.top(), std::max(cells[0].rect.bottom() + 1 + 50, tickets::SlipMinY));
    EXPECT_EQ(vsp.docName(), g().gExeName);
    EXPECT_TRUE(fgLog.isEmpty());
}

TEST_F(TestTicketTest, EmptyFieldsStillGiveAFullHeightTicket)
{
    buffer.printerLine.clear();
    buffer.businessDayLine.clear();
    buffer.itemName = u"OK"_s;
    ASSERT_TRUE(KPWPOrderI(kKitchenPrinter, buffer, vsp, writeFGLog));
    const QList<PrintItem> lines = texts(lastTicket());
    EXPECT_EQ(lines.last().text, u"   "_s);
    EXPECT_EQ(lines[lines.size() - 2].rect.top(), tickets::SlipMinY);

    // Content taller than the minimum is not pulled back up.
    buffer.itemName = u"一道名字長到要在兩千八百提普的欄位裡折成好幾行的測試菜色"_s;
    ASSERT_TRUE(KPWPOrderI(kKitchenPrinter, buffer, vsp, writeFGLog));
    const int tableBottom = lastTicket().rowCells(0, 0)[0].rect.bottom() + 1;
    const QList<PrintItem> tall = texts(lastTicket());
    EXPECT_EQ(tall[tall.size() - 2].rect.top(), std::max(tableBottom + 50, tickets::SlipMinY));
}

TEST_F(TestTicketTest, APrinterNotInstalledUnderThatExactNameGetsAnActivityRowAndNoTicket)
{
    for (const QString &name : { kKitchenPrinter.toLower(), QString(), u"Bar's TM"_s }) {
        EXPECT_FALSE(KPWPOrderI(name, buffer, vsp, writeFGLog));
        EXPECT_EQ(fgLog.last(), qMakePair(u"列印失敗"_s, name + u"未安裝"_s));
    }
    EXPECT_TRUE(printers.jobs.isEmpty());
    EXPECT_TRUE(env.prompter.boxes.isEmpty());
}

TEST_F(TestTicketTest, TestingAllPrintersTestsEachPrinterOnceAndOnlyReceiptPrinters)
{
    addPort(u"PK"_s, u"EPSONTM"_s, kKitchenPrinter);
    addPort(u"PK2"_s, u"EPSONTM"_s, kKitchenPrinter);
    addPort(u"PB"_s, u"WINDOWS"_s, u"Office Laser"_s);
    addPort(u"PK3"_s, u"EPSONTM"_s, kKitchenPrinter);
    addPort(u"PD"_s, u"EPSONTM"_s, u"tm-t88 kitchen"_s);
    buffer = {};

    tickets::printTestOfAllPrinters(fgKPort, fgPrinterList, buffer, vsp, writeFGLog);
    EXPECT_EQ(listed(), (QStringList { kKitchenPrinter, u"Office Laser"_s, u"tm-t88 kitchen"_s }));
    ASSERT_EQ(printers.jobs.size(), 1) << "three ports share one printer: one ticket";
    EXPECT_EQ(printers.jobs[0].document.textBlocks()[4], u"廚房印表機:TM-T88 Kitchen"_s);
    EXPECT_EQ(printers.jobs[0].document.textBlocks().last(), u"   ->營業日:2026/12/07"_s);
    EXPECT_EQ(fgLog,
        (QList<QPair<QString, QString>> { { u"啟動測試"_s, u"TM-T88 Kitchen廚房印表機"_s },
            { u"啟動測試"_s, u"tm-t88 kitchen廚房印表機"_s },
            { u"列印失敗"_s, u"tm-t88 kitchen未安裝"_s } }));
    EXPECT_EQ(buffer.printerLine, u"廚房印表機:tm-t88 kitchen"_s);

    // The next run starts from an empty list.
    tickets::printTestOfAllPrinters(fgKPort, fgPrinterList, buffer, vsp, writeFGLog);
    EXPECT_EQ(listed().size(), 3);
    EXPECT_EQ(printers.jobs.size(), 2);
}

TEST_F(TestTicketTest, APrintingErrorIsShownAndTheTestGoesOnWithTheNextPort)
{
    printers.names.append(u"Bar TM"_s);
    addPort(u"PK"_s, u"EPSONTM"_s, kKitchenPrinter);
    addPort(u"PB"_s, u"EPSONTM"_s, u"Bar TM"_s);
    printers.refuseWith = u"out of paper"_s;

    tickets::printTestOfAllPrinters(fgKPort, fgPrinterList, buffer, vsp, writeFGLog);
    ASSERT_EQ(env.prompter.boxes.size(), 2);
    EXPECT_TRUE(env.prompter.boxes[0].text.contains(u"(fmTavoKPortSrv_KPWPOrderI)"_s));
    EXPECT_TRUE(env.prompter.boxes[1].text.contains(u"out of paper"_s));
    EXPECT_EQ(fgLog.size(), 2);

    // The surface is usable again for the next ticket.
    printers.refuseWith.clear();
    EXPECT_TRUE(KPWPOrderI(u"Bar TM"_s, buffer, vsp, writeFGLog));
    EXPECT_EQ(printers.jobs.size(), 1);
}

TEST_F(TestTicketTest, APortRowThatCannotBeReadIsPassedOverWithoutAnErrorLogBlock)
{
    fgKPort.setFormatString(u"RNo|KPort"_s); // no type or printer column
    fgKPort.setRows(1);
    fgKPort.addRow({ u"1"_s, u"PK"_s });
    tickets::printTestOfAllPrinters(fgKPort, fgPrinterList, buffer, vsp, writeFGLog);
    EXPECT_TRUE(printers.jobs.isEmpty());
    EXPECT_TRUE(fgLog.isEmpty());
    EXPECT_TRUE(env.readErr().isEmpty()) << env.readErr().toStdString();
    EXPECT_TRUE(env.prompter.boxes.isEmpty());
}
