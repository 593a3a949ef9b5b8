// The port settings page and the pick dialogs driven as an operator drives them: keys and clicks
// on the window's controls, modal dialogs answered from a zero-delay timer, on a demo SQLite site.
#include "db/connection.h"
#include "gui/fmRoomOrder.h"
#include "gui/fmTavoKPortSrv.h"
#include "gui/frmFgDate.h"
#include "gui/frmPickF2.h"
#include "gui/gridview.h"
#include "gui/messagepanel.h"
#include "platform/echo.h"
#include "support/fake_printers.h"
#include "support/test_environment.h"
#include "test_watch_db.h"
#include "util/globals.h"
#include "util/grids.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tavo;
using grids::PortGrid;
using platform::BoxAnswer;
using tavo::gui::fmTavoKPortSrv;
using tavo::gui::GridView;

namespace {

// Qt's warnings while it lives (the offscreen platform's note about window hints aside).
class QtWarnings {
public:
    QtWarnings()
    {
        messages().clear();
        m_previous
            = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
                  if (type != QtDebugMsg && type != QtInfoMsg && !text.contains(u"propagateSizeHints"_s))
                      messages().append(text);
              });
    }
    ~QtWarnings() { qInstallMessageHandler(m_previous); }
    static QStringList &messages()
    {
        static QStringList list;
        return list;
    }

private:
    QtMessageHandler m_previous = nullptr;
};

class PortPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::setEchoEnabled(false);
        g().gOPDate = u"2026/12/07"_s;
        QDir(env.dir()).mkdir(u"LOG"_s);
        table = std::make_unique<test::OrderTable>(db::gCNT(), test::Server::SQLite, env.path(u"tavo.db"_s));
        table->execute(
            u"INSERT INTO KPORT (KPort, KPortType, KPortName, PrintList, PrintItem, Remark) VALUES "_s
            u"('PK', 'EPSONTM', 'Bob''s TM', 'Y', 'Y', ''), ('PB', 'EPSONTM', 'TM-B', '', 'Y', '')"_s);
    }
    void TearDown() override
    {
        window.reset();
        gui::frmPickF2::unload();
        gui::frmFgDate::unload();
        gui::fmRoomOrder::unload();
        table.reset();
    }

    fmTavoKPortSrv &open()
    {
        window = std::make_unique<fmTavoKPortSrv>();
        window->service().quit = [](int) {};
        window->show();
        window->tabPage->setCurrentIndex(0); // the settings page
        QApplication::processEvents();
        return *window;
    }
    GridView &portView() const { return *window->findChild<GridView *>(u"fgKPort"_s); }
    // Puts the cursor on a cell of the port grid as a click would.
    void select(int row, int col)
    {
        GridView &view = portView();
        const QRect cell = view.visualRect(window->fgKPort->index(row - 1, col));
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, cell.center());
        ASSERT_EQ(window->fgKPort->Row(), row);
    }
    // The grid row standing for the KPORT record `rno`.
    int rowOf(int rno) const
    {
        for (int r = 1; r < window->fgKPort->Rows(); ++r)
            if (window->fgKPort->TextMatrix(r, PortGrid::RNo) == QString::number(rno))
                return r;
        return -1;
    }
    QString field(int rno, const QString &column)
    {
        db::Recordset rs = db::gCNT().openRecordset(
            u"SELECT "_s + column + u" FROM KPORT WHERE RNo = "_s + QString::number(rno));
        return rs.eof() ? u"<none>"_s : rs.text(0);
    }
    int ports()
    {
        db::Recordset rs = db::gCNT().openRecordset(u"SELECT COUNT(*) FROM KPORT"_s);
        return rs.text(0).toInt();
    }
    QString saved(const QString &section, const QString &key) const
    {
        return env.settings.get(u"Tavo3"_s, section, key, u"<none>"_s);
    }
    // Acts on the pick list once it is open.
    void whenPickListOpens(std::function<void(gui::frmPickF2 &)> act)
    {
        QTimer::singleShot(0, [act] {
            gui::frmPickF2 &pick = gui::frmPickF2::instance();
            EXPECT_TRUE(pick.isVisible());
            act(pick);
            if (pick.isVisible())
                pick.cmdCancel->click();
        });
    }

    test::TestEnvironment env;
    test::FakePrinterCatalog printers { { u"TM-A"_s, u"Ann's TM"_s } };
    std::unique_ptr<test::OrderTable> table;
    std::unique_ptr<fmTavoKPortSrv> window;
};

TEST_F(PortPageTest, KeysActOnlyInSettingModeAndReachKport)
{
    fmTavoKPortSrv &w = open();
    ASSERT_EQ(w.fgKPort->Rows(), 3) << "the demo's two ports";
    GridView &view = portView();
    const int pb = rowOf(2);
    select(pb, PortGrid::PrintList);
    view.setFocus();

    // View mode: Space, Ctrl+Delete and Ctrl+Insert do nothing; Enter moves on all the same.
    QTest::keyClick(&view, Qt::Key_Space);
    QTest::keyClick(&view, Qt::Key_Delete, Qt::ControlModifier);
    QTest::keyClick(&view, Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_EQ(w.fgKPort->TextMatrix(pb, PortGrid::PrintList), QString());
    EXPECT_EQ(w.fgKPort->Rows(), 3);
    EXPECT_EQ(ports(), 2);
    EXPECT_TRUE(env.prompter.boxes.isEmpty());
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_EQ(w.fgKPort->Col(), PortGrid::PrintItem) << "Enter moves to the next cell in view mode";

    QTest::mouseClick(w.cmdSET, Qt::LeftButton);
    EXPECT_EQ(w.cmdSET->text(), u"設定完成"_s);
    EXPECT_EQ(view.BackColor(), QColor(255, 255, 128));
    EXPECT_TRUE(w.cmdTestPrinter->isVisible());
    select(pb, PortGrid::PrintList);
    // The highlight is the one cell Space acts on, not the whole row.
    EXPECT_EQ(view.selectionModel()->selectedIndexes(),
        QModelIndexList { w.fgKPort->index(pb - 1, PortGrid::PrintList) });
    QTest::keyClick(&view, Qt::Key_Space);
    EXPECT_EQ(w.fgKPort->TextMatrix(pb, PortGrid::PrintList), u"Y"_s);
    EXPECT_EQ(field(2, u"PrintList"_s), u"Y"_s);
    EXPECT_FALSE(field(2, u"UpdDate"_s).isEmpty());
    QTest::keyClick(&view, Qt::Key_Return);
    EXPECT_EQ(w.fgKPort->Col(), PortGrid::PrintItem) << "Enter moves to the next cell";

    // An edit typed into the cell: a refused type keeps the old value, a good printer is stored.
    select(pb, PortGrid::KPortType);
    QTest::keyClick(&view, 'S'); // typing opens the cell's editor
    auto *editor = view.viewport()->findChild<QLineEdit *>();
    ASSERT_NE(editor, nullptr);
    QTest::keyClicks(editor, u"TAR"_s);
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents(); // the editor commits once the key is through
    EXPECT_EQ(w.fgKPort->TextMatrix(pb, PortGrid::KPortType), u"EPSONTM"_s);
    EXPECT_EQ(field(2, u"KPortType"_s), u"EPSONTM"_s);
    EXPECT_EQ(w.elaMsg->text(), u"不支援此型別:STAR"_s);
    {
        // Enter in an open cell stores the text and moves on, as it does outside one.
        const QtWarnings qt;
        select(pb, PortGrid::KPortName);
        QTest::keyClick(&view, 'A');
        QLineEdit *open = nullptr;
        for (QLineEdit *e : view.viewport()->findChildren<QLineEdit *>())
            open = e->isVisible() ? e : open;
        ASSERT_NE(open, nullptr);
        QTest::keyClicks(open, u"nn's TM"_s);
        QTest::keyClick(open, Qt::Key_Return);
        QApplication::processEvents();
        EXPECT_EQ(field(2, u"KPortName"_s), u"Ann's TM"_s);
        EXPECT_EQ(w.fgKPort->Col(), PortGrid::PrintList);
        // Tab out of the last cell: the next row's record number takes no edit, and says so.
        select(rowOf(1), PortGrid::Remark);
        ASSERT_LT(rowOf(1), w.fgKPort->Rows() - 1);
        QTest::keyClick(&view, 'x');
        for (QLineEdit *e : view.viewport()->findChildren<QLineEdit *>())
            open = e->isVisible() ? e : open;
        QTest::keyClick(open, Qt::Key_Tab);
        QApplication::processEvents();
        EXPECT_EQ(w.elaMsg->text(), u"本欄位不能修改"_s);
        EXPECT_EQ(QtWarnings::messages(), QStringList()) << "the editor is closed by the view that opened it";
    }
    const QModelIndex printer = w.fgKPort->index(pb - 1, PortGrid::KPortName);
    EXPECT_FALSE(w.fgKPort->setData(printer, u"TM-X"_s));
    EXPECT_EQ(w.elaMsg->text(), u"印表機沒有安裝:TM-X"_s);
    EXPECT_TRUE(w.fgKPort->setData(printer, u"Ann's TM"_s));
    EXPECT_EQ(field(2, u"KPortName"_s), u"Ann's TM"_s);
    EXPECT_EQ(w.elaMsg->text(), QString());
    select(pb, PortGrid::RNo);
    QTest::keyClick(&view, Qt::Key_F2);
    EXPECT_EQ(w.elaMsg->text(), u"本欄位不能修改"_s);

    QTest::keyClick(&view, Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_EQ(w.fgKPort->Rows(), 4);
    EXPECT_EQ(ports(), 3);
    select(rowOf(1), PortGrid::KPort);
    env.prompter.queueAnswer(BoxAnswer::Yes);
    QTest::keyClick(&view, Qt::Key_Delete, Qt::ControlModifier);
    ASSERT_EQ(env.prompter.boxes.size(), 1);
    EXPECT_EQ(env.prompter.boxes[0].text, u"確定要刪除?"_s);
    EXPECT_EQ(rowOf(1), -1);
    EXPECT_EQ(field(1, u"KPort"_s), u"<none>"_s);
    QTest::mouseClick(w.cmdSET, Qt::LeftButton);
    EXPECT_EQ(w.cmdSET->text(), u"更改設定"_s);
    EXPECT_FALSE(w.cmdTestPrinter->isVisible());
}

TEST_F(PortPageTest, SetDefSavesTheRowAndANewPortStartsAFirstScan)
{
    table->insert(5, u"PB"_s);
    table->insert(6, u"PB"_s);
    table->insert(7, u"PK"_s);
    env.settings.save(u"Tavo3"_s, u"TavoC"_s, u"DEFKPORT"_s, u"PB"_s);
    env.settings.save(u"Tavo3"_s, u"TavoC"_s, u"Printer"_s, u"TM-B"_s);
    fmTavoKPortSrv &w = open();
    EXPECT_EQ(w.service().scanBound().highest(), 6);
    select(rowOf(1), PortGrid::KPort);
    // Flags typed by hand in lower case.
    w.fgKPort->setTextMatrix(rowOf(1), PortGrid::PrintList, u"y"_s);
    w.fgKPort->setTextMatrix(rowOf(1), PortGrid::PrintItem, u"y"_s);
    QTest::mouseClick(w.cmdSetDef, Qt::LeftButton);
    EXPECT_EQ(saved(u"TavoC"_s, u"PrintList"_s), u"Y"_s) << "flags are upper-cased";
    EXPECT_EQ(saved(u"TavoC"_s, u"PrintItem"_s), u"Y"_s);
    EXPECT_TRUE(w.chkPrintList->isChecked());
    EXPECT_EQ(saved(u"TavoC"_s, u"DEFKPORT"_s), u"PK"_s);
    EXPECT_EQ(saved(u"TavoC"_s, u"Printer"_s), u"Bob's TM"_s);
    EXPECT_EQ(saved(u"TavoC"_s, u"PrinterType"_s), u"EPSONTM"_s);
    EXPECT_TRUE(w.service().scanBound().isNone()) << "a new port empties the bound";
    w.service().scan();
    ASSERT_EQ(w.fg1->Rows(), 2);
    EXPECT_EQ(w.fg1->TextMatrix(1, 0), u"7"_s);

    // The same port again leaves the bound alone; an empty printer stays empty.
    w.txtPrinter->clear();
    QTest::mouseClick(w.cmdSetDef, Qt::LeftButton);
    EXPECT_EQ(w.service().scanBound().highest(), 7);
    EXPECT_EQ(saved(u"TavoC"_s, u"Printer"_s), QString());

    // The boxes save as they are clicked.
    QTest::mouseClick(w.chkPrintItem, Qt::LeftButton, {}, QPoint(8, w.chkPrintItem->height() / 2));
    EXPECT_EQ(saved(u"TavoC"_s, u"PrintItem"_s), u"N"_s);
    QTest::mouseClick(w.chkKPortForm, Qt::LeftButton, {}, QPoint(8, w.chkKPortForm->height() / 2));
    EXPECT_EQ(saved(u"KP"_s, u"KPortForm"_s), u"Y"_s);
}

TEST_F(PortPageTest, PrinterPickedFromTheListOrNothingChanges)
{
    fmTavoKPortSrv &w = open();
    w.txtDefKPort->clear();
    QTest::mouseClick(w.cmdSetKportPrinter, Qt::LeftButton);
    EXPECT_EQ(w.elaMsg->text(), u"請先選擇出菜口"_s);

    w.txtDefKPort->setText(u"PK"_s);
    whenPickListOpens([](gui::frmPickF2 &pick) {
        EXPECT_EQ(pick.windowTitle(), u"代碼輸入輔助視窗"_s);
        EXPECT_EQ(pick.fgCode->TextMatrix(0, 1), u"印表機名稱"_s);
        EXPECT_EQ(pick.fgCode->TextMatrix(2, 0), u"1"_s);
        QTest::mouseClick(pick.fgCodeView->horizontalHeader()->viewport(), Qt::LeftButton);
        EXPECT_TRUE(pick.isVisible()) << "a click on the header picks nothing";
        QTest::keyClick(pick.fgCodeView, Qt::Key_Down);
        QTest::keyClick(pick.fgCodeView, Qt::Key_Return);
    });
    QTest::mouseClick(w.cmdSetKportPrinter, Qt::LeftButton);
    EXPECT_EQ(w.txtPrinter->text(), u"Ann's TM"_s);
    EXPECT_EQ(saved(u"TavoC"_s, u"Printer"_s), u"Ann's TM"_s);
    EXPECT_EQ(gui::frmPickF2::instance().PickCode, u"1"_s);

    // A click on a data row picks it.
    whenPickListOpens([](gui::frmPickF2 &pick) {
        const QRect first = pick.fgCodeView->visualRect(pick.fgCode->index(0, 1));
        QTest::mouseClick(pick.fgCodeView->viewport(), Qt::LeftButton, {}, first.center());
    });
    QTest::mouseClick(w.cmdSetKportPrinter, Qt::LeftButton);
    EXPECT_EQ(w.txtPrinter->text(), u"TM-A"_s);
    EXPECT_EQ(saved(u"TavoC"_s, u"Printer"_s), u"TM-A"_s);
    w.txtPrinter->setText(u"Ann's TM"_s);
    env.settings.save(u"Tavo3"_s, u"TavoC"_s, u"Printer"_s, u"Ann's TM"_s);

    // Esc, or a list without printers, leaves everything as it was.
    whenPickListOpens([](gui::frmPickF2 &pick) { QTest::keyClick(pick.fgCodeView, Qt::Key_Escape); });
    QTest::mouseClick(w.cmdSetKportPrinter, Qt::LeftButton);
    EXPECT_EQ(gui::frmPickF2::instance().PickDscp, QString());
    printers.names.clear();
    whenPickListOpens([](gui::frmPickF2 &pick) {
        EXPECT_EQ(pick.fgCode->Rows(), 1);
        QTest::keyClick(pick.fgCodeView, Qt::Key_Return);
        QTest::keyClick(pick.fgCodeView, Qt::Key_Space);
        EXPECT_TRUE(pick.isVisible());
    });
    QTest::mouseClick(w.cmdSetKportPrinter, Qt::LeftButton);
    EXPECT_EQ(w.txtPrinter->text(), u"Ann's TM"_s);
    EXPECT_EQ(saved(u"TavoC"_s, u"Printer"_s), u"Ann's TM"_s);
}

TEST_F(PortPageTest, RedirectionAsksThenMovesTheRowsAndReloads)
{
    fmTavoKPortSrv &w = open();
    select(rowOf(1), PortGrid::KPortName);
    // Cancelled in the pick list, or answered No: KPORT stays as it was.
    whenPickListOpens([](gui::frmPickF2 &pick) { QTest::mouseClick(pick.cmdCancel, Qt::LeftButton); });
    QTest::mouseClick(w.cmdChangePrinter, Qt::LeftButton);
    EXPECT_TRUE(env.prompter.boxes.isEmpty()) << "nothing asked without a new printer";
    whenPickListOpens([](gui::frmPickF2 &pick) { QTest::keyClick(pick.fgCodeView, Qt::Key_Return); });
    env.prompter.queueAnswer(BoxAnswer::No);
    QTest::mouseClick(w.cmdChangePrinter, Qt::LeftButton);
    ASSERT_EQ(env.prompter.boxes.size(), 1);
    env.prompter.boxes.clear();
    EXPECT_EQ(field(1, u"KPortName"_s), u"Bob's TM"_s);
    EXPECT_EQ(field(2, u"KPortName"_s), u"TM-B"_s);

    whenPickListOpens([](gui::frmPickF2 &pick) {
        pick.fgCode->setRow(2);
        QTest::keyClick(pick.fgCodeView, Qt::Key_Space);
    });
    env.prompter.queueAnswer(BoxAnswer::Yes);
    QTest::mouseClick(w.cmdChangePrinter, Qt::LeftButton);
    ASSERT_EQ(env.prompter.boxes.size(), 1);
    EXPECT_EQ(env.prompter.boxes[0].text, u"要將所有送到Bob's TM印表機的工作改送到Ann's TM去印, 確定嗎?"_s);
    EXPECT_EQ(field(1, u"KPortName"_s), u"Ann's TM"_s);
    EXPECT_EQ(field(2, u"KPortName"_s), u"TM-B"_s);
    EXPECT_EQ(w.fgKPort->TextMatrix(rowOf(1), PortGrid::KPortName), u"Ann's TM"_s) << "the grid is reloaded";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // A failing update: reported, the pointer normal again.
    table->execute(u"DROP TABLE KPORT"_s);
    whenPickListOpens([](gui::frmPickF2 &pick) { QTest::keyClick(pick.fgCodeView, Qt::Key_Return); });
    env.prompter.queueAnswer(BoxAnswer::Yes);
    QTest::mouseClick(w.cmdChangePrinter, Qt::LeftButton);
    EXPECT_EQ(env.prompter.boxes.size(), 3) << "the question and the error";
    EXPECT_TRUE(env.readErr().contains(u"fmTavoKPortSrv_cmdChangePrinter_Click"_s));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(PortPageTest, TestPrinterPrintsOnThePrinterOfThePickedRow)
{
    env.settings.save(u"Tavo3"_s, u"TavoC"_s, u"Printer"_s, u"TM-A"_s);
    env.settings.save(u"Tavo3"_s, u"TavoC"_s, u"PrinterType"_s, u"EPSONTM"_s);
    g().gUserID = u"櫃台一"_s;
    printers.names << u"Bob's TM"_s << u"TM-B"_s;
    fmTavoKPortSrv &w = open();
    QTest::mouseClick(w.cmdSET, Qt::LeftButton);
    select(rowOf(2), PortGrid::KPortName);
    QTest::mouseClick(w.cmdTestPrinter, Qt::LeftButton);
    ASSERT_EQ(printers.jobs.size(), 1);
    EXPECT_EQ(printers.jobs[0].printer, u"TM-B"_s) << "the row's printer, not the service's TM-A";
    EXPECT_EQ(w.PrintBuffer.printerLine, u"廚房印表機:TM-B"_s);
    EXPECT_EQ(w.lblStatus->text(), u"櫃台一"_s) << "the user again once the test is printed";
    printers.jobs.clear();

    // "測試 所有印表機" prints one ticket on the printer of each port of the grid.
    QTest::mouseClick(w.cmdSET, Qt::LeftButton);
    QTest::mouseClick(w.cmdPrintTest, Qt::LeftButton);
    ASSERT_EQ(printers.jobs.size(), 2);
    QStringList tested { printers.jobs[0].printer, printers.jobs[1].printer };
    tested.sort();
    EXPECT_EQ(tested, (QStringList { u"Bob's TM"_s, u"TM-B"_s }));
}

TEST_F(PortPageTest, WithoutAPortRowTheButtonsSayWhatIsMissing)
{
    table->execute(u"DELETE FROM KPORT"_s);
    env.settings.save(u"Tavo3"_s, u"TavoC"_s, u"Printer"_s, u"TM-A"_s);
    env.settings.save(u"Tavo3"_s, u"TavoC"_s, u"PrinterType"_s, u"EPSONTM"_s);
    fmTavoKPortSrv &w = open();
    ASSERT_EQ(w.fgKPort->Rows(), 1);
    QTest::mouseClick(w.cmdChangePrinter, Qt::LeftButton);
    EXPECT_EQ(w.elaMsg->text(), u"請先選擇有問題的印表機"_s);
    EXPECT_FALSE(gui::frmPickF2::instance().isVisible());
    QTest::mouseClick(w.cmdSET, Qt::LeftButton);
    QTest::mouseClick(w.cmdTestPrinter, Qt::LeftButton);
    EXPECT_EQ(w.elaMsg->text(), u"請先點選要測試的印表機.."_s);
    EXPECT_TRUE(printers.jobs.isEmpty());
    EXPECT_TRUE(env.prompter.boxes.isEmpty());
}

TEST_F(PortPageTest, CalendarPicksADayIntoTheBusinessDateBox)
{
    fmTavoKPortSrv &w = open();
    gui::frmFgDate &cal = gui::frmFgDate::instance();
    EXPECT_EQ(cal.lblDate->text(), u"2026/12/07"_s) << "today at the first use";
    cal.DoCalendar(QDate(2024, 1, 31));
    QTimer::singleShot(0, [&cal] {
        QTest::mouseClick(cal.imgNext, Qt::LeftButton);
        EXPECT_EQ(cal.lblDate->text(), u"2024/02/29"_s);
        EXPECT_EQ(cal.Label1->text(), u"2024年 2月"_s);
        EXPECT_EQ(cal.rowDivisor(), 5);
        QTest::mouseClick(cal.imgNext, Qt::LeftButton);
        EXPECT_EQ(cal.rowDivisor(), 6);
        QHeaderView *header = cal.fgCalView->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(2) + 5, header->height() / 2));
        EXPECT_TRUE(cal.isVisible());
        const QRect day5 = cal.fgCalView->visualRect(cal.fgCal->index(1, 2));
        QTest::mouseClick(cal.fgCalView->viewport(), Qt::LeftButton, {}, day5.center());
    });
    QTest::mouseDClick(w.txtOpDate, Qt::LeftButton);
    EXPECT_EQ(cal.DATEPICKED, QDate(2024, 3, 5));
    EXPECT_EQ(w.txtOpDate->text(), u"2024/03/05"_s);

    QTimer::singleShot(0, [&cal] {
        EXPECT_EQ(cal.Label1->text(), u"2024年 3月"_s) << "the month shown last";
        QTest::mouseClick(cal.cmdExit, Qt::LeftButton);
    });
    QTest::mouseDClick(w.txtOpDate, Qt::LeftButton);
    EXPECT_EQ(cal.DATEPICKED, QDate(2024, 3, 5));
    EXPECT_EQ(w.txtOpDate->text(), u"2024/03/05"_s);
}

TEST_F(PortPageTest, RoomOrderShowsTheSelectedRowsOpenItems)
{
    table->insert(1);
    table->insert(2);
    table->close(2);
    env.settings.save(u"Tavo3"_s, u"TavoC"_s, u"PrintItem"_s, u"Y"_s);
    fmTavoKPortSrv &w = open();
    ASSERT_GE(w.fg1->Rows(), 2);
    w.tabPage->setCurrentIndex(1);
    w.fg1->setRow(1);
    bool shown = false;
    QTimer::singleShot(0, [&shown] {
        gui::fmRoomOrder &view = gui::fmRoomOrder::instance();
        shown = view.isVisible();
        EXPECT_EQ(view.windowTitle(), u"包廂點單明細"_s);
        EXPECT_EQ(view.Label2->text(), u"A05"_s);
        QAccessibleInterface *room = QAccessible::queryAccessibleInterface(view.Label2);
        EXPECT_EQ(room ? room->text(QAccessible::Name) : QString(), u"A05"_s)
            << "a screen reader reads the room number";
        EXPECT_EQ(view.fgCode->Rows(), 2) << "the closed item is not waiting";
        EXPECT_EQ(view.fgCode->TextMatrix(0, 0), u"送廚出口"_s);
        QTest::keyClick(view.fgCodeView, Qt::Key_Escape);
    });
    QTest::mouseClick(w.cmdRoomOrder, Qt::LeftButton);
    EXPECT_TRUE(shown);
    EXPECT_FALSE(gui::fmRoomOrder::instance().isVisible());
}

} // namespace
