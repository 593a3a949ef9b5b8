// The printing buttons of the service window reach the ticket code with the window's own controls.
#include "test_tickets_fixture.h"

#include "gui/fmTavoKPortSrv.h"
#include "gui/gridview.h"
#include "gui/messagepanel.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

using namespace Qt::StringLiterals;
using namespace tavo;
using namespace tavo::test;

TEST_F(TicketTest, ServiceWindowButtonsPrintThroughTheTicketCode)
{
    const int beef = addItem(u"牛肉麵"_s, 1, u"S0"_s, { { u"KSMark"_s, u"0012"_s } });
    gui::fmTavoKPortSrv window;
    window.quit = [](int) {};
    window.fgKPort->addRow({ u"1"_s, u"PK"_s, u"EPSONTM"_s, kKitchenPrinter });
    window.fgKPort->addRow({ u"2"_s, u"PB"_s, u"EPSONTM"_s, u"Bar TM"_s });

    window.cmdPrintTest->click();
    EXPECT_EQ(window.tabPage->currentIndex(), 2) << "the activity grid shows the results";
    ASSERT_EQ(printers.jobs.size(), 1);
    EXPECT_EQ(printers.jobs[0].document.name, u"TM-T88 Kitchen->印表服務啟動測試"_s);
    EXPECT_EQ(window.fgPrinterList->Rows(), 3);
    const int logRows = window.fgLog->Rows();
    ASSERT_GE(logRows, 4);
    EXPECT_EQ(window.fgLog->TextMatrix(logRows - 1, 1), u"列印失敗"_s);
    EXPECT_EQ(window.fgLog->TextMatrix(logRows - 1, 2), u"Bar TM未安裝"_s);

    window.txtDefKPort->setText(u"PK"_s);
    window.txtPrinter->setText(kKitchenPrinter);
    window.txtPrinterType->setText(u"EPSONTM"_s);
    window.fg1->setRows(1);
    window.fg1->addRow({ QString::number(beef) });
    window.fg1->setRow(1);
    window.cmdPrintRow->setEnabled(true);
    window.cmdPrintRow->click();
    ASSERT_EQ(printers.jobs.size(), 2);
    EXPECT_EQ(printers.jobs[1].document.name, u".補印菜條: 0012"_s);
    EXPECT_EQ(window.PrintRowMsg, u"列印OK:TM-T88 Kitchen-"_s);
    EXPECT_EQ(window.fgLog->TextMatrix(window.fgLog->Rows() - 1, 1), u"PK送廚"_s);

    // Closed by the POS meanwhile: the message panel says why no ticket came out.
    db::gCNT().execute(u"UPDATE ORDERI SET OPDate = '2026/12/07'"_s);
    window.cmdPrintRow->click();
    EXPECT_EQ(printers.jobs.size(), 2);
    EXPECT_EQ(window.PrintRowMsg, u"沒有列印: 所選的點單已結帳"_s);
    EXPECT_EQ(window.elaMsg->caption(), window.PrintRowMsg);

    window.chkKPortForm->setChecked(true);
    window.onStartWithOrderForm();
    EXPECT_EQ(tickets::frmTMSlip::instance().KPortFORM, u"ORDER"_s);
}
