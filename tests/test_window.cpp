// The service window on a demo ORDERI in SQLite: loading, the state of its buttons through
// start, stop and setting mode, the cycle on the fake clock, the restart, and every way it ends.
#include "db/connection.h"
#include "gui/fmTavoKPortSrv.h"
#include "gui/gridview.h"
#include "gui/messagepanel.h"
#include "platform/codepage.h"
#include "platform/echo.h"
#include "support/test_environment.h"
#include "test_watch_db.h"
#include "util/globals.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>

using namespace Qt::StringLiterals;
using namespace tavo;
using platform::BoxAnswer;
using platform::BoxButtons;
using platform::BoxIcon;
using tavo::gui::fmTavoKPortSrv;

namespace {

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::setEchoEnabled(false); // the echo tests switch it on for themselves
        g().gOPDate = u"2026/12/07"_s;
        g().gUserID = u"櫃台一"_s;
        QDir(env.dir()).mkdir(u"LOG"_s);
        table = std::make_unique<test::OrderTable>(db::gCNT(), test::Server::SQLite, env.path(u"tavo.db"_s));
        param(u"OPDATE"_s, u"2026/12/07"_s);
        settings(u"TavoC"_s, u"PrintItem"_s, u"Y"_s);
    }
    void TearDown() override
    {
        window.reset();
        table.reset();
    }

    void param(const QString &id, const QString &value)
    {
        table->execute(u"DELETE FROM xxPARAM WHERE ParamID = '"_s + id + u"'"_s);
        table->execute(
            u"INSERT INTO xxPARAM (ParamID, ParamValue) VALUES ('"_s + id + u"', '"_s + value + u"')"_s);
    }
    void settings(const QString &section, const QString &key, const QString &value)
    {
        env.settings.save(u"Tavo3"_s, section, key, value);
    }

    fmTavoKPortSrv &open()
    {
        window = std::make_unique<fmTavoKPortSrv>();
        window->service().quit = [this](int code) { quits.append(code); };
        return *window;
    }

    // One second of the running service: the clock moves, the timer ticks.
    void tick(int times = 1)
    {
        for (int i = 0; i < times; ++i) {
            env.clock.advance(1000);
            window->service().tick();
        }
    }
    int scans() const { return int(std::count(env.clock.sleeps.begin(), env.clock.sleeps.end(), 200)); }
    int listedRows() const { return window->fg1->Rows() - 1; }
    bool on(QWidget *w) const { return w->isEnabledTo(window.get()); }
    // A grid control of the form, found as an operator's tools find it.
    gui::GridView &view(const QString &name) const
    {
        auto *grid = window->findChild<gui::GridView *>(name);
        EXPECT_NE(grid, nullptr) << name.toStdString();
        return *grid;
    }

    QString fileText(const QString &path) const
    {
        return platform::fromAnsi(test::TestEnvironment::readBytes(path));
    }
    QString orderFile() const { return env.path(u"LOG/KPS20261207.TXT"_s); }

    test::TestEnvironment env;
    std::unique_ptr<test::OrderTable> table;
    std::unique_ptr<fmTavoKPortSrv> window;
    QVector<int> quits;
};

TEST_F(WindowTest, LoadingFillsTheControlsAndArmsTheStart)
{
    table->insert(1);
    table->insert(2);
    settings(u"TavoC"_s, u"PrintItem"_s, u"N"_s); // the first listing runs whatever the box says
    settings(u"TavoC"_s, u"ShutTime"_s, u"03:05"_s);
    settings(u"KP"_s, u"KPortForm"_s, u"Y"_s);
    fmTavoKPortSrv &w = open();

    EXPECT_EQ(w.tabPage->count(), 3);
    EXPECT_EQ(w.tabPage->tabText(0), u"廚房印表機設定"_s);
    EXPECT_EQ(w.tabPage->tabText(1), u"出菜條清單"_s);
    EXPECT_EQ(w.tabPage->tabText(2), u"吧廚統計表"_s);
    EXPECT_EQ(w.tabPage->currentIndex(), 1);
    EXPECT_EQ(w.cmdExit->text(), u"&Z結束"_s);
    EXPECT_EQ(w.cmdPrintTest->text(), u" 測試 所有印表機"_s);
    EXPECT_EQ(w.lblHead(0)->text(), u"廚房控菜服務程式"_s);
    EXPECT_EQ(w.lblHead(1)->toolTip(), u"V1.0.0"_s);
    EXPECT_EQ(w.lblHead(2)->text(), u"2026/12/07"_s);
    EXPECT_EQ(w.lblStatus->text(), u"櫃台一"_s);
    EXPECT_EQ(w.lblMode->text(), QString());
    EXPECT_EQ(w.txtOpDate->text(), u"2026/12/07"_s);
    EXPECT_EQ(w.txtDefKPort->text(), u"PK"_s) << "the default port";
    EXPECT_EQ(w.service().port(), u"PK"_s);
    EXPECT_EQ(w.txtShutTime->text(), u"03:05"_s);
    EXPECT_TRUE(w.chkKPortForm->isChecked()) << "keys compare without letter case";
    EXPECT_FALSE(w.chkPrintItem->isChecked());
    EXPECT_EQ(w.service().cycleTime(), 4);

    EXPECT_EQ(w.fg1->Rows(), 3);
    EXPECT_EQ(w.fg1->Row(), 1) << "the first data row is current";
    EXPECT_EQ(w.service().scanBound().highest(), 2);
    EXPECT_EQ(w.fgLog->Rows(), 1);
    EXPECT_EQ(w.fgLog->TextMatrix(0, 1), u"  作業別"_s);
    EXPECT_EQ(w.fgLog->TextMatrix(0, 2), u"            作業訊息"_s);
    EXPECT_EQ(w.fgKPort->Cols(), 7);
    EXPECT_EQ(w.fgKPort->Rows(), 1);

    EXPECT_EQ(w.elaMsg->caption(), u"本作業30秒後自動啟動"_s);
    EXPECT_EQ(env.prompter.beeps, 2);
    EXPECT_EQ(env.clock.sleeps, QVector<int> { 200 });
    EXPECT_EQ(w.service().startTimer().Interval(), 30000);
    EXPECT_TRUE(w.service().startTimer().isTicking());
    EXPECT_FALSE(w.service().cycleTimer().isTicking());
    EXPECT_TRUE(on(w.cmdStart));
    EXPECT_FALSE(on(w.cmdStop));
    EXPECT_TRUE(w.cmdTestPrinter->isHidden());
    EXPECT_TRUE(env.prompter.boxes.isEmpty());
}

TEST_F(WindowTest, ReachableByCaptionsAndLabels)
{
    fmTavoKPortSrv &w = open();
    EXPECT_EQ(w.txtShutTime->accessibleName(), u"自動重開機時間 :"_s);
    EXPECT_EQ(w.txtDefKPort->accessibleName(), u"要監控的送廚出口:"_s);
    EXPECT_EQ(w.txtOpDate->accessibleName(), u"營業日期:"_s);
    EXPECT_EQ(view(u"fg1"_s).accessibleName(), u"出菜條清單"_s);
    for (const QString &name : { u"fgKPort"_s, u"fg2"_s, u"fgLog"_s, u"fgPrinterList"_s })
        EXPECT_FALSE(view(name).accessibleName().isEmpty()) << name.toStdString();
    for (QLineEdit *box : w.findChildren<QLineEdit *>())
        EXPECT_FALSE(box->accessibleName().isEmpty()) << box->objectName().toStdString();
}

TEST_F(WindowTest, AlertQuantityHidesTheOrderFormBox)
{
    settings(u"KP"_s, u"KPortFORM"_s, u"Y"_s);
    param(u"KPAlertQty"_s, u"y"_s);
    fmTavoKPortSrv &w = open();
    EXPECT_FALSE(w.chkKPortForm->isChecked());
    EXPECT_TRUE(w.chkKPortForm->isHidden());
    EXPECT_EQ(env.settings.get(u"Tavo3"_s, u"KP"_s, u"KPortForm"_s), u"N"_s);
}

TEST_F(WindowTest, CycleTimeIsClampedToOneToFiveTicks)
{
    const QList<std::pair<QString, int>> cases { { u"9"_s, 5 }, { u"0"_s, 1 }, { u"abc"_s, 1 }, { u"3"_s, 3 },
        { QString(), 4 } };
    for (const auto &[value, every] : cases) {
        if (value.isEmpty())
            table->execute(u"DELETE FROM xxPARAM WHERE ParamID = 'KPCycleTime'"_s);
        else
            param(u"KPCycleTime"_s, value);
        open();
        const int before = scans();
        tick(every - 1);
        EXPECT_EQ(scans(), before) << "KPCycleTime " << value.toStdString();
        tick();
        EXPECT_EQ(scans(), before + 1) << "KPCycleTime " << value.toStdString();
        tick(every);
        EXPECT_EQ(scans(), before + 2) << "KPCycleTime " << value.toStdString();
    }
}

TEST_F(WindowTest, StartsByItselfAndFollowsTheStateTable)
{
    fmTavoKPortSrv &w = open();
    w.service().startTimer().Timer();
    EXPECT_TRUE(env.readLog().contains(u"2026-12-07 14:05:09 => TimerStart_Timer\r\n"_s));
    EXPECT_FALSE(w.service().startTimer().isTicking());
    EXPECT_TRUE(w.service().cycleTimer().isTicking());
    EXPECT_EQ(w.service().cycleTimer().Interval(), 1000);
    EXPECT_TRUE(w.service().running());
    EXPECT_TRUE(on(w.cmdStop));
    for (QPushButton *b : { w.cmdStart, w.cmdPrintRow, w.cmdPrintTest, w.cmdSET, w.cmdChangePrinter })
        EXPECT_FALSE(on(b)) << b->objectName().toStdString();
    EXPECT_FALSE(w.tabPage->isTabEnabled(2));

    w.cmdStop->click();
    EXPECT_FALSE(w.service().cycleTimer().isTicking());
    EXPECT_EQ(w.lblMode->text(), u"STOP"_s);
    EXPECT_EQ(env.clock.sleeps.last(), 1000) << "the one-second wait runs on the clock";
    for (QPushButton *b : { w.cmdStart, w.cmdPrintRow, w.cmdPrintTest })
        EXPECT_TRUE(on(b)) << b->objectName().toStdString();
    for (QPushButton *b : { w.cmdStop, w.cmdSET, w.cmdChangePrinter })
        EXPECT_FALSE(on(b)) << b->objectName().toStdString() << " stays off until the program restarts";
    EXPECT_TRUE(w.tabPage->isTabEnabled(2));
    EXPECT_TRUE(env.prompter.boxes.isEmpty());
}

TEST_F(WindowTest, SettingModeRefusesTheStart)
{
    fmTavoKPortSrv &w = open();
    w.cmdSET->click();
    EXPECT_EQ(w.cmdSET->text(), u"設定完成"_s);
    EXPECT_TRUE(w.fgKPort->Editable());
    EXPECT_EQ(view(u"fgKPort"_s).BackColor(), QColor(255, 255, 128));
    EXPECT_FALSE(w.cmdTestPrinter->isHidden());

    w.cmdStart->click();
    EXPECT_EQ(w.elaMsg->caption(), u"請先按[設定完成]鈕"_s);
    EXPECT_FALSE(w.service().running());
    EXPECT_FALSE(w.service().cycleTimer().isTicking());
    EXPECT_TRUE(w.service().startTimer().isTicking()) << "the refused start leaves the automatic one armed";
    EXPECT_EQ(w.service().watchState(), core::KitchenService::WatchState::Setting)
        << "what the kitchen is told";

    w.cmdSET->click();
    EXPECT_EQ(w.cmdSET->text(), u"更改設定"_s);
    EXPECT_FALSE(w.fgKPort->Editable());
    EXPECT_EQ(view(u"fgKPort"_s).BackColor(), QColor(255, 255, 255));
    EXPECT_TRUE(w.cmdTestPrinter->isHidden());
    EXPECT_FALSE(w.service().running()) << "a refused press is the operator's to repeat";
    w.cmdStart->click();
    EXPECT_TRUE(w.service().running());
    EXPECT_FALSE(w.service().startTimer().isTicking()) << "a manual start cancels the automatic one";

    // The automatic start refused in setting mode is not lost: it comes with "設定完成".
    fmTavoKPortSrv &again = open();
    again.cmdSET->click();
    emit again.service().startTimer().Timer();
    EXPECT_FALSE(again.service().running());
    EXPECT_EQ(again.elaMsg->caption(), u"請先按[設定完成]鈕"_s);
    again.cmdSET->click();
    EXPECT_TRUE(again.service().running());
    EXPECT_TRUE(again.service().cycleTimer().isTicking());
}

TEST_F(WindowTest, TheCycleListsNewRowsAndFollowsTheBusinessDate)
{
    table->insert(1);
    fmTavoKPortSrv &w = open();
    w.cmdStart->click();
    table->insert(2);
    table->insert(3, u"PB"_s);
    param(u"OPDATE"_s, u"2026/12/08"_s);
    tick(3);
    EXPECT_EQ(listedRows(), 1);
    EXPECT_EQ(w.lblMode->text(), u"14:05:12"_s);
    EXPECT_EQ(w.lblHead(2)->text(), u"2026/12/07"_s);
    tick();
    EXPECT_EQ(listedRows(), 2);
    EXPECT_EQ(w.fg1->TextMatrix(2, 0), u"2"_s);
    EXPECT_EQ(w.lblHead(2)->text(), u"2026/12/08"_s) << "the date follows another program's change";
    EXPECT_EQ(w.txtOpDate->text(), u"2026/12/07"_s);
    EXPECT_EQ(g().gOPDate, u"2026/12/07"_s);
    EXPECT_EQ(w.elaMsg->caption(), u"檢查新點單資料.."_s);
    EXPECT_TRUE(w.isEnabled());
    EXPECT_TRUE(w.service().cycleTimer().isTicking());

    // Unticked: the clock and the date go on, the list does not grow.
    w.chkPrintItem->setChecked(false);
    table->insert(4);
    table->execute(u"DELETE FROM xxPARAM WHERE ParamID = 'OPDATE'"_s);
    tick(4);
    EXPECT_EQ(listedRows(), 2);
    EXPECT_EQ(w.elaMsg->caption(), u"列印菜條未勾選, 不檢查新點單"_s)
        << "the cycle says why nothing is listed";
    EXPECT_EQ(w.lblMode->text(), u"14:05:17"_s);
    EXPECT_EQ(w.lblHead(2)->text(), u"2026/12/07"_s) << "no OPDATE: today";
}

TEST_F(WindowTest, ATickHoldsInputBackWithoutTakingTheFocus)
{
    // A clock that lets the test act while the tick pauses for the message flash.
    struct ActingClock : test::FakeClock {
        std::function<void()> duringPause;
        void sleepMs(int ms) override
        {
            if (duringPause)
                duringPause();
            FakeClock::sleepMs(ms);
        }
    } clock;
    clock.set(env.clock.now());
    platform::services().clock = &clock;
    fmTavoKPortSrv &w = open();
    w.show();
    QApplication::setActiveWindow(&w);
    w.cmdStart->click();
    w.txtShutTime->setFocus();
    w.txtShutTime->setText(u"0"_s); // half typed
    const int saves = env.settings.saves;

    bool held = false;
    clock.duringPause = [&] {
        held = (w.service().state() == core::KitchenService::State::Scanning);
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
            Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w.cmdStop, &press);
        QApplication::sendEvent(w.cmdStop, &release);
    };
    for (int i = 0; i < 4; ++i) {
        clock.advance(1000);
        w.service().tick();
    }
    clock.duringPause = {};
    EXPECT_TRUE(held);
    EXPECT_FALSE((w.service().state() == core::KitchenService::State::Scanning));
    EXPECT_TRUE(w.service().running()) << "the click on 暫停服務 during the tick was held back";
    EXPECT_EQ(QApplication::focusWidget(), w.txtShutTime) << "the operator keeps the box being typed in";
    EXPECT_EQ(env.settings.saves, saves) << "a half-typed time is not stored by the tick";
    platform::services().clock = &env.clock;
}

TEST_F(WindowTest, AFailingScanHoldsItsBoxAndTheNextTickRuns)
{
    fmTavoKPortSrv &w = open();
    w.cmdStart->click();
    table->insert(1);
    table->breakListing();
    tick(4);
    ASSERT_EQ(env.prompter.boxes.size(), 1);
    EXPECT_TRUE(env.prompter.boxes[0].text.contains(u"fmTavoKPortSrv_AddFG1"_s));
    EXPECT_TRUE(w.isEnabled());
    EXPECT_TRUE(w.service().cycleTimer().isTicking());
    table->mendListing();
    tick(4);
    EXPECT_EQ(listedRows(), 1) << "the row of the failed scan comes at the next one";
}

TEST_F(WindowTest, RestartsOnlyAtTheExactClockText)
{
    table->insert(1);
    env.clock.set(QDateTime(QDate(2026, 12, 8), QTime(3, 4, 50)));
    fmTavoKPortSrv &w = open();
    w.cmdStart->click();
    w.txtShutTime->setText(u"3:05"_s);
    tick(40);
    EXPECT_TRUE(env.restart.calls.isEmpty()) << "a one-digit hour never matches";

    env.clock.set(QDateTime(QDate(2026, 12, 8), QTime(3, 4, 50)));
    w.txtShutTime->setText(u"03:05"_s);
    tick(12);
    ASSERT_EQ(env.restart.calls.size(), 1) << "asked at the first scan of 03:05";
    EXPECT_TRUE(env.restart.calls[0].reboot && env.restart.calls[0].force);
    tick(56);
    EXPECT_EQ(env.restart.calls.size(), 1) << "once in the minute, however many scans it holds";
    EXPECT_TRUE(env.readErr().isEmpty()) << "a restart the system took is no error";
    EXPECT_TRUE(fileText(env.path(u"LOG/KPS20261208.TXT"_s)).contains(u"\r\n1\tPK\t"_s))
        << "the day's list is saved before the machine goes down";
    EXPECT_TRUE(quits.isEmpty()) << "the system ends the program, not the window";

    env.clock.set(QDateTime(QDate(2026, 12, 9), QTime(3, 4, 58)));
    tick(8);
    EXPECT_EQ(env.restart.calls.size(), 2) << "the next day's 03:05 asks again";
}

TEST_F(WindowTest, ExitAsksAndSavesBothGrids)
{
    table->insert(7);
    fmTavoKPortSrv &w = open();
    w.service().writeActivity(u"K1送廚"_s, u"列印OK:TM1-"_s);
    w.service().writeActivity(u"啟動測試"_s, u"TM1廚房印表機"_s);
    EXPECT_EQ(w.fgLog->TextMatrix(1, 0), w.fgLog->TextMatrix(2, 0)) << "same second, same time text";
    EXPECT_EQ(w.fgLog->TextMatrix(1, 0), u"2026/12/07 14:05:09"_s);

    w.cmdExit->click(); // answered No
    ASSERT_EQ(env.prompter.boxes.size(), 1);
    EXPECT_EQ(env.prompter.boxes[0].text, u"確定要離開嗎?"_s);
    EXPECT_EQ(env.prompter.boxes[0].icon, BoxIcon::Question);
    EXPECT_EQ(env.prompter.boxes[0].buttons, BoxButtons::YesNo);
    EXPECT_TRUE(quits.isEmpty());
    EXPECT_FALSE(QFile::exists(orderFile()));
    EXPECT_TRUE(w.service().startTimer().isTicking()) << "No leaves the service as it was";

    QFile old(orderFile());
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("an older list of today, longer than the new one\r\n\r\n\r\n\r\n");
    old.close();
    env.prompter.queueAnswer(BoxAnswer::Yes);
    w.cmdExit->click();
    EXPECT_EQ(quits, QVector<int> { 0 });
    EXPECT_TRUE(fileText(orderFile()).startsWith(u"記錄序號\t送廚出口\t出菜單號\t"_s));
    EXPECT_EQ(fileText(orderFile()).count(u"\r\n"_s), 2) << "the older file is replaced";
    const QString log = fileText(env.path(u"LOG/L20261207_1405.TXT"_s));
    EXPECT_EQ(log,
        u"記錄時間\t  作業別\t            作業訊息\r\n"
        u"2026/12/07 14:05:09\tK1送廚\t列印OK:TM1-\r\n"
        u"2026/12/07 14:05:09\t啟動測試\tTM1廚房印表機\r\n"_s);
    EXPECT_FALSE(w.service().startTimer().isTicking());
}

TEST_F(WindowTest, ExitFilesAreNamedWhenTheExitIsAskedFor)
{
    table->insert(1);
    env.clock.set(QDateTime(QDate(2026, 12, 7), QTime(23, 59, 50)));
    fmTavoKPortSrv &w = open();
    env.prompter.onBox = [this](const test::ScriptedPrompter::Box &) { env.clock.advance(20000); };
    env.prompter.queueAnswer(BoxAnswer::Yes);
    w.cmdExit->click();
    env.prompter.onBox = {};
    ASSERT_EQ(quits, QVector<int> { 0 });
    EXPECT_TRUE(fileText(orderFile()).contains(u"\r\n1\tPK\t"_s))
        << "an answer after midnight still files the list under the day it was asked on";
    EXPECT_FALSE(QFile::exists(env.path(u"LOG/KPS20261208.TXT"_s)));
    EXPECT_TRUE(QFile::exists(env.path(u"LOG/L20261207_2359.TXT"_s)));
}

TEST_F(WindowTest, CtrlEndAndTheTitleBarAskTheSameQuestion)
{
    fmTavoKPortSrv &w = open();
    QKeyEvent ctrlEnd(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
    QApplication::sendEvent(&view(u"fg1"_s), &ctrlEnd);
    ASSERT_EQ(env.prompter.boxes.size(), 1);
    EXPECT_EQ(env.prompter.boxes[0].text, u"確定要離開嗎?"_s);
    QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
    QApplication::sendEvent(&view(u"fg1"_s), &end);
    EXPECT_EQ(env.prompter.boxes.size(), 1) << "End alone is the grid's";

    w.show();
    EXPECT_FALSE(w.close()) << "No cancels the close";
    EXPECT_EQ(env.prompter.boxes.size(), 2);
    EXPECT_TRUE(w.isVisible());
    env.prompter.queueAnswer(BoxAnswer::Yes);
    EXPECT_FALSE(w.close()) << "the program ends through its exit, not through the close";
    EXPECT_EQ(quits, QVector<int> { 0 });
    EXPECT_TRUE(QFile::exists(orderFile()));
}

TEST_F(WindowTest, ACloseDuringATickWaitsForTheTickToEnd)
{
    fmTavoKPortSrv &w = open();
    w.show();
    w.cmdStart->click();
    bool askedMidTick = false;
    env.prompter.onBox = [&](const test::ScriptedPrompter::Box &) {
        askedMidTick |= (w.service().state() == core::KitchenService::State::Scanning);
    };
    // The scan's message pause stands for the moment the title bar's close arrives.
    env.clock.onSleep = [&](int) {
        if ((w.service().state() == core::KitchenService::State::Scanning))
            w.close();
    };
    tick(int(w.service().cycleTime()));
    env.clock.onSleep = {};
    QApplication::processEvents();
    ASSERT_EQ(env.prompter.boxes.size(), 1) << "the close is answered once the tick is over";
    EXPECT_EQ(env.prompter.boxes[0].text, u"確定要離開嗎?"_s);
    EXPECT_FALSE(askedMidTick) << "no question in the middle of the scan";
    EXPECT_TRUE(w.isVisible()) << "No keeps the service";
}

TEST_F(WindowTest, AnEndRequestedDuringATickSavesTheRowsThatTickListed)
{
    fmTavoKPortSrv &w = open();
    w.cmdStart->click();
    table->insert(7);
    // SIGTERM's handler runs from the events the scan lets through; the pause stands for that.
    env.clock.onSleep = [&](int) {
        if ((w.service().state() == core::KitchenService::State::Scanning))
            w.service().requestEnd();
    };
    tick(int(w.service().cycleTime()));
    env.clock.onSleep = {};
    EXPECT_EQ(quits, QVector<int> { 0 });
    EXPECT_TRUE(fileText(orderFile()).contains(u"\r\n7\tPK\t"_s)) << "the row of the last scan is saved";
}

TEST_F(WindowTest, ASecondRunOfTheDayKeepsTheFirstRunsList)
{
    table->insert(1);
    open().service().requestEnd();
    const QString firstList = fileText(orderFile());
    ASSERT_TRUE(firstList.contains(u"\r\n1\tPK\t"_s));
    window.reset();

    table->insert(2);
    env.clock.advance(3600 * 1000);
    fmTavoKPortSrv &second = open();
    second.service().saveGrids(u"test"_s); // the session's commit, then its end: one run, one list
    second.service().requestEnd();
    const QStringList lists = QDir(env.path(u"LOG"_s)).entryList({ u"KPS*"_s }, QDir::Files, QDir::Name);
    ASSERT_EQ(lists.size(), 2) << lists.join(u' ').toStdString();
    EXPECT_TRUE(lists[1].startsWith(u"KPS20261207_"_s)) << lists[1].toStdString();
    EXPECT_EQ(fileText(env.path(u"LOG/"_s + lists[1])), firstList) << "the first run's list, whole";
    EXPECT_TRUE(fileText(orderFile()).contains(u"\r\n2\tPK\t"_s)) << "the newest list keeps the day's name";
}

TEST_F(WindowTest, AnUnwritableLogFolderLosesNoGrid)
{
    table->insert(3);
    QDir(env.dir()).rmdir(u"LOG"_s);
    QFile blocker(env.path(u"LOG"_s)); // a file where the folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    fmTavoKPortSrv &w = open();
    env.prompter.queueAnswer(BoxAnswer::Yes);
    w.cmdExit->click();
    EXPECT_EQ(quits, QVector<int> { 0 });
    EXPECT_TRUE(fileText(env.path(u"KPS20261207.TXT"_s)).contains(u"\r\n3\tPK\t"_s));
    EXPECT_TRUE(QFile::exists(env.path(u"L20261207_1405.TXT"_s)));
    EXPECT_TRUE(env.readErr().contains(u"處理程序: (fmTavoKPortSrv_cmdExit_Click)"_s));
    EXPECT_EQ(env.prompter.boxes.size(), 1) << "no box stands between the service and its end";
}

TEST_F(WindowTest, TerminationSignalEndsWithoutAsking)
{
    table->insert(5);
    fmTavoKPortSrv &w = open();
    w.cmdStart->click();
    std::raise(SIGTERM);
    QElapsedTimer waited;
    waited.start();
    while (quits.isEmpty() && waited.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(quits, QVector<int> { 0 });
    EXPECT_TRUE(env.prompter.boxes.isEmpty());
    EXPECT_TRUE(fileText(orderFile()).contains(u"\r\n5\tPK\t"_s));
    EXPECT_FALSE(w.service().cycleTimer().isTicking());
    w.show();
    EXPECT_TRUE(w.close()) << "an ending program closes without another question";
}

TEST_F(WindowTest, ListPageEmptiesOrScansAndStatsPageFitsTheLog)
{
    table->insert(1);
    fmTavoKPortSrv &w = open();
    w.resize(1000, 700);
    table->insert(2);
    w.tabPage->setCurrentIndex(0);
    w.tabPage->setCurrentIndex(1);
    EXPECT_EQ(listedRows(), 2) << "opening the list scans while 列印菜條 is ticked";

    w.chkPrintItem->setChecked(false);
    w.tabPage->setCurrentIndex(0);
    w.tabPage->setCurrentIndex(1);
    EXPECT_EQ(listedRows(), 0) << "unticked, the list is emptied";
    EXPECT_EQ(w.service().scanBound().highest(), 2) << "and its bound kept";
    table->insert(3);
    w.chkPrintItem->setChecked(true);
    w.tabPage->setCurrentIndex(0);
    w.tabPage->setCurrentIndex(1);
    EXPECT_EQ(listedRows(), 1) << "older rows do not come back";

    w.service().writeActivity(u"啟動服務測試"_s, u"TM-A"_s);
    w.elaMsg->setCaption(u"x"_s);
    w.tabPage->setCurrentIndex(2);
    EXPECT_EQ(w.elaMsg->caption(), QString());
    const gui::GridView &log = view(u"fgLog"_s);
    for (int col : { 0, 1 })
        EXPECT_GE(log.columnWidth(col), log.fontMetrics().horizontalAdvance(w.fgLog->TextMatrix(1, col)))
            << "column " << col << " shows its text whole";
    const int expected = log.WidthTwips() - log.ColWidth(0) - log.ColWidth(1) - 400;
    EXPECT_NEAR(log.ColWidth(2), expected, 15);
}

TEST_F(WindowTest, ShutTimeBoxSelectsMovesAndStores)
{
    fmTavoKPortSrv &w = open();
    w.show();
    QApplication::setActiveWindow(&w);
    w.txtShutTime->setText(u"03:05"_s);
    w.txtShutTime->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(w.txtShutTime->selectedText(), u"03:05"_s) << "the whole text is selected on entry";

    QTest::keyClick(w.txtShutTime, Qt::Key_Return);
    EXPECT_NE(QApplication::focusWidget(), w.txtShutTime) << "Enter moves on";
    EXPECT_EQ(w.txtShutTime->text(), u"03:05"_s) << "and types nothing";
    EXPECT_EQ(env.settings.get(u"Tavo3"_s, u"TavoC"_s, u"ShutTime"_s), u"03:05"_s) << "stored on leaving";

    // Leaving the box again with an emptied text, then with any text at all.
    auto typeAndLeave = [&](const QString &text) {
        w.txtShutTime->setFocus();
        w.txtShutTime->setText(text);
        w.txtOpDate->setFocus();
    };
    typeAndLeave(u"  "_s);
    EXPECT_EQ(env.settings.get(u"Tavo3"_s, u"TavoC"_s, u"ShutTime"_s), u"03:05"_s)
        << "an emptied box is not stored";
    typeAndLeave(u"垃圾'"_s);
    EXPECT_EQ(env.settings.get(u"Tavo3"_s, u"TavoC"_s, u"ShutTime"_s), u"垃圾'"_s);
    w.txtShutTime->setFocus();
    w.txtShutTime->end(false);
    QTest::keyClick(w.txtShutTime, Qt::Key_3);
    EXPECT_EQ(w.txtShutTime->text(), u"垃圾'3"_s) << "other keys type";
}

TEST_F(WindowTest, OperatorEventsAreEchoedOneLineEach)
{
    QStringList lines;
    platform::setEchoEnabled(true);
    platform::setEchoSink([&](const QString &line) { lines.append(line); });
    table->insert(1);
    fmTavoKPortSrv &w = open();
    w.service().writeActivity(u"列印失敗"_s, u"TM9未安裝"_s);
    w.chkPrintItem->setChecked(false);
    w.cmdStart->click();
    const bool notChecking = lines.contains(u"elaMsg\t列印菜條未勾選, 不檢查新點單"_s);
    QTest::mouseClick(w.elaMsg, Qt::LeftButton);
    platform::setEchoSink({});
    platform::setEchoEnabled(false);

    EXPECT_TRUE(notChecking) << "a start with 列印菜條 off says so";
    EXPECT_TRUE(lines.contains(u"elaMsg\t本作業30秒後自動啟動"_s));
    EXPECT_TRUE(lines.contains(u"fgLog\t2026/12/07 14:05:09\t列印失敗\tTM9未安裝"_s));
    const QStringList orders = lines.filter(QRegularExpression(u"^fg1\t"_s));
    ASSERT_EQ(orders.size(), 2);
    EXPECT_TRUE(orders[0].startsWith(u"fg1\t記錄序號\t送廚出口\t"_s)) << "the captions come first";
    EXPECT_EQ(orders[1].split(u'\t').size(), 15);
    EXPECT_EQ(lines.filter(QRegularExpression(u"^TavoKPortSrv\t.*PK"_s)).size(), 1)
        << "one line at the start";
    EXPECT_EQ(w.elaMsg->caption(), QString()) << "a click clears the panel";
}

} // namespace
