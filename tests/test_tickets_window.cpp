// The printing buttons of the service window reach the ticket code with the window's own controls.
#include "test_tickets_fixture.h"

#include "gui/fmTavoKPortSrv.h"
#include "gui/gridview.h"
#include "gui/messagepanel.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace tavo;
using namespace tavo::test;

TEST_F(TicketTest, ServiceWindowButtonsPrintThroughTheTicketCode)
{
    const int beef = addItem(u"牛肉麵"_s, 1, u"S0"_s, { { u"KSMark"_s, u"0012"_s } });
    gui::fmTavoKPortSrv window;
    window.service().quit = [](int) {};
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
    EXPECT_EQ(window.elaMsg->caption(), window.PrintRowMsg) << "said on the page of the button too";

    // Closed by the POS meanwhile: the message panel says why no ticket came out.
    db::gCNT().execute(u"UPDATE ORDERI SET OPDate = '2026/12/07'"_s);
    window.cmdPrintRow->click();
    EXPECT_EQ(printers.jobs.size(), 2);
    EXPECT_EQ(window.PrintRowMsg, u"沒有列印: 所選的點單已結帳"_s);
    EXPECT_EQ(window.elaMsg->caption(), window.PrintRowMsg);

    window.chkKPortForm->setChecked(true);
    window.cmdStart->click();
    EXPECT_TRUE(window.service().config().orderForm()) << "the box switches the order form on";
}

// A screen reader selects rows without moving the cursor; the mouse selects by dragging. Either
// way, the highlighted rows are the ones the button prints.
TEST_F(TicketTest, TheHighlightedRowsAreTheOnesReprinted)
{
    QStringList serials;
    gui::fmTavoKPortSrv window;
    window.service().quit = [](int) {};
    window.txtDefKPort->setText(u"PK"_s);
    window.txtPrinter->setText(kKitchenPrinter);
    window.txtPrinterType->setText(u"EPSONTM"_s);
    window.fg1->setRows(1);
    for (int i = 1; i <= 5; ++i)
        window.fg1->addRow({ QString::number(addItem(
            u"湯%1"_s.arg(i), 1, u"S0"_s, { { u"KSMark"_s, u"00%1"_s.arg(i) }, { u"ListNo"_s, i } })) });
    window.fg1->setRow(1);
    window.show();
    auto *list = window.findChild<gui::GridView *>(u"fg1"_s);
    ASSERT_NE(list, nullptr);
    auto *reprint = window.findChild<QPushButton *>(u"cmdPrintRow"_s);
    ASSERT_NE(reprint, nullptr);
    ASSERT_EQ(reprint->text(), u"補印送廚"_s);
    const QSignalSpy clicks(reprint, &QPushButton::clicked);

    // As AT-SPI's table interface does: rows 3 and 4 selected, the cursor left on row 1.
    list->selectionModel()->select(QItemSelection(list->model()->index(2, 0), list->model()->index(3, 0)),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QTest::mouseClick(reprint, Qt::LeftButton);
    ASSERT_EQ(clicks.size(), 1);
    for (const FakePrinterCatalog::Job &job : printers.jobs)
        serials << job.document.name;
    EXPECT_EQ(serials, (QStringList { u".補印菜條: 003"_s, u".補印菜條: 004"_s }));

    // A click on row 5 with Shift held after a click on row 2: rows 2 to 5.
    printers.jobs.clear();
    const auto rowCentre = [&](int row) { return list->visualRect(list->model()->index(row, 0)).center(); };
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ShiftModifier, rowCentre(4));
    EXPECT_EQ(window.fg1->SelectedRows(), 4);
    EXPECT_EQ(window.fg1->Row(), 5) << "the cursor follows the operator's click";
    QTest::mouseClick(reprint, Qt::LeftButton);
    EXPECT_EQ(printers.jobs.size(), 4);
}
