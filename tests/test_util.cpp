// Common utilities: dates in the site's calendars, byte widths, pauses, the restart, the serial
// port reset and the input conveniences.
#include "gui/input.h"
#include "platform/codepage.h"
#include "support/test_environment.h"
#include "util/dates.h"
#include "util/globals.h"
#include "util/machine.h"
#include "util/text.h"

#include <QApplication>
#include <QLineEdit>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace tavo;
using tavo::test::TestEnvironment;

// ---- dates -----------------------------------------------------------------------------------

TEST(DateText, AcceptsTheSitesFormsAndRejectsImpossibleDates)
{
    EXPECT_EQ(toDate(u"2024/05/01"_s), QDate(2024, 5, 1));
    EXPECT_EQ(toDate(u"2024-05-01 13:05"_s), QDate(2024, 5, 1));
    EXPECT_EQ(toDate(u"2024/5/1 13:05:59"_s), QDate(2024, 5, 1));
    EXPECT_EQ(toDate(u"2024-05-01T13:05:00"_s), QDate(2024, 5, 1));
    EXPECT_EQ(toDate(u" 2024/02/29 "_s), QDate(2024, 2, 29));
    for (const QString &bad : { u"2025/13/40"_s, u"2025/02/29"_s, u"20240501"_s, u"2024/05-01"_s,
             u"2024/05/01 25:00"_s, u"2024/05/01 12:60"_s, u"abc"_s, QString() })
        EXPECT_FALSE(isDateText(bad)) << bad.toStdString();
    EXPECT_EQ(toDate(QVariant(QDateTime(QDate(2024, 5, 1), QTime(23, 59)))), QDate(2024, 5, 1));
    EXPECT_FALSE(toDate(QVariant(42)).isValid());
}

TEST(DBDateDisp, MinguoYearsHaveAtLeastTwoDigits)
{
    TestEnvironment env;
    EXPECT_EQ(DBDateDisp(QDate(1999, 12, 31), u"CCMMDD"_s), u"881231"_s);
    EXPECT_EQ(DBDateDisp(QDate(2011, 1, 1), u"CCMMDD"_s), u"1000101"_s);
    EXPECT_EQ(DBDateDisp(QDate(1915, 3, 9), u"CCMMDD"_s), u"040309"_s);
    EXPECT_EQ(DBDateDisp(QDate(2024, 5, 1), u"CC/MM/DD"_s), u"113/05/01"_s);
}

TEST(DBDateDisp, FormatsOfTheTableWithTheSitesSeparator)
{
    TestEnvironment env;
    const QDate d(2024, 5, 1);
    EXPECT_EQ(DBDateDisp(d, u"YYYY/MM/DD"_s), u"2024/05/01"_s);
    EXPECT_EQ(DBDateDisp(d, u"YY/MM/DD"_s), u"24/05/01"_s);
    EXPECT_EQ(DBDateDisp(d, u"YYYY/MM"_s), u"2024/05"_s);
    EXPECT_EQ(DBDateDisp(d, u"YYMMDD"_s), u"240501"_s);
    g().gDateSep = u"-"_s;
    EXPECT_EQ(DBDateDisp(d, u"CC/MM/DD"_s), u"113-05-01"_s);
    EXPECT_EQ(DBDateDisp(d, u"YYYY/MM/DD"_s), u"2024-05-01"_s);
    EXPECT_EQ(DBDateDisp(d, u"YY/MM/DD"_s), u"24-05-01"_s);
    EXPECT_EQ(DBDateDisp(d, u"YYYY/MM"_s), u"2024/05"_s) << "a date format, not the site's separator";
    // No format given: the site's calendar.
    g().gCalendar = u"CCMMDD"_s;
    EXPECT_EQ(DBDateDisp(u"2024/05/01"_s), u"1130501"_s);
    g().gCalendar = QString();
    EXPECT_EQ(DBDateDisp(d), u"2024-05-01"_s);
}

TEST(DBDateDisp, OtherFormatsAreDateFormats)
{
    TestEnvironment env;
    const QDate d(2024, 5, 1);
    EXPECT_EQ(DBDateDisp(d, u"yyyy年mm月dd日"_s), u"2024年05月01日"_s);
    EXPECT_EQ(DBDateDisp(d, u"dd.mm.yy"_s), u"01.05.24"_s);
    EXPECT_EQ(DBDateDisp(d, u"m/d/yyyy"_s), u"5/1/2024"_s);
    EXPECT_EQ(DBDateDisp(d, u"yyyy/mm/dd hh:mm"_s), u"2024/05/01 00:00"_s) << "the time is dropped";
    EXPECT_EQ(DBDateDisp(d, u"\"D\"yyyymmdd"_s), u"D20240501"_s);
}

TEST(DBDateDisp, TimeIsDroppedAndNonDatesGiveNothing)
{
    TestEnvironment env;
    EXPECT_EQ(DBDateDisp(QDateTime(QDate(2024, 5, 1), QTime(13, 5)), u"CCMMDD"_s), u"1130501"_s);
    EXPECT_EQ(DBDateDisp(u"2024-05-01 13:05"_s, u"YYYY/MM/DD"_s), u"2024/05/01"_s);
    EXPECT_EQ(DBDateDisp(u"2025/13/40"_s), QString());
    EXPECT_EQ(DBDateDisp(u"not a date"_s), QString());
    EXPECT_EQ(DBDateDisp(QVariant()), QString());
    EXPECT_TRUE(env.prompter.boxes.isEmpty());
}

// ---- text ------------------------------------------------------------------------------------

TEST(FixWidthB, CutsAndPadsToExactBytes)
{
    TestEnvironment env;
    const QString three = u"牛肉麵"_s; // six bytes in Big5
    EXPECT_EQ(FixWidthB(three, 4), u"牛肉"_s);
    EXPECT_EQ(FixWidthB(three, 8), u"牛肉麵  "_s);
    EXPECT_EQ(FixWidthB(three, 6), three);
    // The third character would straddle the cut: a space keeps the width exact.
    EXPECT_EQ(FixWidthB(three, 5), u"牛肉 "_s);
    EXPECT_EQ(FixWidthB(u"A中B"_s, 2), u"A "_s);
    EXPECT_EQ(FixWidthB(u"x2"_s, 5), u"x2   "_s);
    EXPECT_EQ(FixWidthB(u"abc"_s, 0), QString());
    EXPECT_EQ(FixWidthB(u"abc"_s, -3), QString());
    EXPECT_EQ(FixWidthB(QString(), 3), u"   "_s);
    for (int w = 0; w < 12; ++w)
        EXPECT_EQ(platform::CodePage::byteWidth(FixWidthB(u"半筋半肉a麵"_s, w)), w) << w;
}

TEST(FixWidthB, KeepsCharactersTheCodePageLacks)
{
    TestEnvironment env;
    // Big5 has no "😀" nor "ĳ": they count one byte (the "?" they would print as) and stay.
    EXPECT_EQ(FixWidthB(u"😀ĳ中"_s, 3), u"😀ĳ "_s);
}

TEST(AddPathSep, AppendsOnlyWhenMissing)
{
    EXPECT_EQ(AddPathSep(QString(), u"\\"_s), QString());
    EXPECT_EQ(AddPathSep(u"C:\\Tavo"_s, u"\\"_s), u"C:\\Tavo\\"_s);
    EXPECT_EQ(AddPathSep(u"C:\\Tavo\\"_s, u"\\"_s), u"C:\\Tavo\\"_s);
    EXPECT_EQ(AddPathSep(u"/opt/tavo"_s), u"/opt/tavo/"_s);
}

// ---- the system ------------------------------------------------------------------------------

TEST(Delay, PausesThroughTheClockInWholeMilliseconds)
{
    TestEnvironment env;
    const QDateTime start = env.clock.now();
    Delay(1.5);
    Delay(0.2004);
    Delay(0);
    Delay(-2);
    EXPECT_EQ(env.clock.sleeps, (QVector<int> { 1500, 200 }));
    EXPECT_EQ(start.msecsTo(env.clock.now()), 1700);
}

TEST(ShutdownWindows, AsksTheRestartServiceOnceAndLogsARefusal)
{
    for (const QString &refusal : { QString(), u"Reboot: org.freedesktop.DBus.Error.AccessDenied: no"_s }) {
        TestEnvironment env;
        env.restart.refusal = refusal;
        QString reason = u"untouched"_s;
        EXPECT_EQ(ShutdownWindows(true, true, &reason), refusal.isEmpty());
        ASSERT_EQ(env.restart.calls.size(), 1);
        EXPECT_TRUE(env.restart.calls[0].reboot);
        EXPECT_TRUE(env.restart.calls[0].force);
        if (refusal.isEmpty()) {
            EXPECT_EQ(reason, u"untouched"_s);
            EXPECT_TRUE(env.readErr().isEmpty());
        } else {
            EXPECT_EQ(reason, refusal);
            EXPECT_TRUE(env.readErr().contains(u"處理程序: (ShutdownWindows)\r\n"_s))
                << env.readErr().toStdString();
            EXPECT_TRUE(env.readErr().contains(u"     "_s + refusal + u"\r\n"_s));
        }
    }
}

TEST(ResetComPort, OnlyCom1ToCom6InUpperCase)
{
    TestEnvironment env;
    for (const QString &name : { u"com1"_s, u"COM7"_s, u"COM"_s, u"LPT1"_s, u"COM1 "_s }) {
        env.prompter.boxes.clear();
        EXPECT_FALSE(ResetComPort(name)) << name.toStdString();
        ASSERT_EQ(env.prompter.boxes.size(), 1);
        EXPECT_EQ(env.prompter.boxes[0].text, u"(ResetComPort)只能重設COM1-COM6通訊埠"_s);
        EXPECT_EQ(env.prompter.boxes[0].icon, platform::BoxIcon::Warning);
        EXPECT_EQ(env.prompter.boxes[0].buttons, platform::BoxButtons::Ok);
    }
    EXPECT_TRUE(env.readLog().isEmpty());
}

TEST(ResetComPort, FailureIsLoggedAndSuccessIsQuiet)
{
    TestEnvironment env;
    qputenv("TAVO_PORT_COM3", QFile::encodeName(env.path(u"no-such-device"_s)));
    EXPECT_FALSE(ResetComPort(u"COM3"_s));
    EXPECT_EQ(env.readLog(), u"2026-12-07 14:05:09 => (ResetComPort)重設COM通訊埠失敗\r\n"_s);

    // A pseudo terminal takes the settings as a serial line would.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    qputenv("TAVO_PORT_COM3", ptsname(master));
    EXPECT_TRUE(ResetComPort(u"COM3"_s));
    close(master);
    qunsetenv("TAVO_PORT_COM3");
    EXPECT_EQ(env.readLog().count(u"\r\n"_s), 1);
    EXPECT_TRUE(env.prompter.boxes.isEmpty());
}

// ---- input conveniences ----------------------------------------------------------------------

TEST(KeyMoveFocus, EnterAndArrowsWalkTheTabOrder)
{
    QWidget form;
    auto *layout = new QVBoxLayout(&form);
    auto *first = new QLineEdit(&form);
    auto *skipped = new QLineEdit(&form);
    auto *second = new QLineEdit(&form);
    for (QLineEdit *e : { first, skipped, second })
        layout->addWidget(e);
    skipped->setEnabled(false);
    form.show();
    first->setFocus();

    EXPECT_TRUE(KeyMoveFocus(first, Qt::Key_Return));
    EXPECT_EQ(form.focusWidget(), second);
    EXPECT_TRUE(KeyMoveFocus(second, Qt::Key_Up));
    EXPECT_EQ(form.focusWidget(), first);
    EXPECT_TRUE(KeyMoveFocus(first, Qt::Key_Down));
    EXPECT_EQ(form.focusWidget(), second);
    EXPECT_TRUE(KeyMoveFocus(second, Qt::Key_Enter));
    EXPECT_EQ(form.focusWidget(), first) << "the tab order wraps around";
    EXPECT_FALSE(KeyMoveFocus(first, Qt::Key_A));
    EXPECT_FALSE(KeyMoveFocus(first, Qt::Key_Tab));
    EXPECT_EQ(form.focusWidget(), first);
}

TEST(InputConveniences, SelectAllAndCorner)
{
    QLineEdit box(u"03:30"_s);
    SelectAllText(&box);
    EXPECT_EQ(box.selectedText(), u"03:30"_s);
    SelectAllText(nullptr);

    QWidget form;
    form.resize(200, 100);
    form.show();
    FormToCorner(&form);
    QScreen *screen = form.screen();
    ASSERT_NE(screen, nullptr);
    const QRect area = screen->geometry();
    const int above = qRound(375.0 * screen->logicalDotsPerInchY() / 1440.0);
    EXPECT_EQ(form.frameGeometry().right(), area.right());
    EXPECT_EQ(form.frameGeometry().bottom(), area.bottom() - above);
    if (qFuzzyCompare(screen->logicalDotsPerInchY(), 96.0)) {
        EXPECT_EQ(above, 25);
    }
}
