// The text log, the error log and the error box, byte for byte as other programs read them.
#include "platform/cursor.h"
#include "platform/errors.h"
#include "support/test_environment.h"
#include "util/globals.h"
#include "util/report.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace Qt::StringLiterals;
using namespace tavo;
using tavo::test::TestEnvironment;

namespace {

const QString kBlock = u"**記錄時間 - 26/12/07, 14:05:09 \r\n"
                       u"處理程序: (fmTavoKPortSrv_cmdStart_Click)\r\n"
                       u"執行錯誤, 代碼: 13\r\n"
                       u"訊息: \r\n"
                       u"     型態不符合\r\n"
                       u"\r\n"_s;

void failWith(qint64 number, const QString &description)
{
    throw TavoError(number, description);
}

} // namespace

TEST(WriteLog, AppendsTimeStampedBig5Lines)
{
    TestEnvironment env;
    WriteLog(u"TimerStart_Timer"_s);
    env.clock.advance(61000);
    WriteLog(u"CD連接埠:COM2無法開啟"_s);
    EXPECT_EQ(env.readLogBytes(),
        QByteArray("2026-12-07 14:05:09 => TimerStart_Timer\r\n")
            + TestEnvironment::big5(u"2026-12-07 14:06:10 => CD連接埠:COM2無法開啟\r\n"_s));
    // Another file when one is named; the default log is left alone.
    WriteLog(u"x"_s, env.path(u"other.LOG"_s));
    EXPECT_EQ(
        TestEnvironment::readBytes(env.path(u"other.LOG"_s)), QByteArray("2026-12-07 14:06:10 => x\r\n"));
    EXPECT_EQ(env.readLog().count(u"\r\n"_s), 2);
    EXPECT_TRUE(env.readErrBytes().isEmpty());
}

TEST(WriteLog, UnwritableLogIsRecordedInTheErrorLog)
{
    TestEnvironment env;
    g().gLogFile = env.path(u"missing-folder/TavoKPortSrv.LOG"_s);
    WriteLog(u"TimerStart_Timer"_s);
    EXPECT_EQ(env.readErr(),
        u"**記錄時間 - 26/12/07, 14:05:09 \r\n處理程序: (WriteLog)\r\n執行錯誤, 代碼: 76\r\n"
        u"訊息: \r\n     Path not found\r\n\r\n"_s);
    // Neither log writable: nothing to tell, nothing stops.
    g().gErrFile = env.path(u"missing-folder/TavoKPortSrv.ERR"_s);
    WriteLog(u"again"_s);
    g().gLogFile.clear();
    g().gErrFile.clear();
    WriteLog(u"again"_s);
    EXPECT_TRUE(env.prompter.boxes.isEmpty());
    EXPECT_EQ(env.prompter.beeps, 0);
}

TEST(WriteErrLog, WritesOneBlockWithoutBoxOrBeep)
{
    TestEnvironment env;
    try {
        failWith(13, u"型態不符合"_s);
    } catch (...) {
        WriteErrLog(u"fmTavoKPortSrv_cmdStart_Click"_s);
    }
    EXPECT_EQ(env.readErrBytes(), TestEnvironment::big5(kBlock));
    EXPECT_TRUE(env.prompter.boxes.isEmpty());
    EXPECT_EQ(env.prompter.beeps, 0);

    // Blocks are appended; an empty description still has its line of five spaces.
    env.clock.advance(1000);
    WriteErrLog(u"Timer1_Timer"_s, ErrorInfo { 5, QString() });
    EXPECT_TRUE(env.readErr().endsWith(u"**記錄時間 - 26/12/07, 14:05:10 \r\n處理程序: (Timer1_Timer)\r\n"
                                       u"執行錯誤, 代碼: 5\r\n訊息: \r\n     \r\n\r\n"_s));
    EXPECT_EQ(env.readErr().count(u"**記錄時間"_s), 2);
}

TEST(WriteErrLog, NumbersOfOtherFailuresAndOutsideACatch)
{
    TestEnvironment env;
    try {
        throw std::runtime_error("disk gone");
    } catch (...) {
        WriteErrLog(u"A"_s);
    }
    try {
        throw 42;
    } catch (...) {
        WriteErrLog(u"B"_s);
    }
    WriteErrLog(u"C"_s); // no error in flight: must not end the process
    const QString err = env.readErr();
    EXPECT_TRUE(err.contains(u"(A)\r\n執行錯誤, 代碼: -2147467259\r\n訊息: \r\n     disk gone\r\n"_s))
        << err.toStdString();
    EXPECT_TRUE(err.contains(u"(B)\r\n執行錯誤, 代碼: -2147467259\r\n"_s));
    EXPECT_TRUE(err.contains(u"(C)\r\n執行錯誤, 代碼: 0\r\n訊息: \r\n     \r\n"_s));
}

TEST(WriteErrLog, CharactersBig5LacksBecomeQuestionMarks)
{
    TestEnvironment env;
    WriteErrLog(u"T"_s, ErrorInfo { 1, u"bad 😀 品項"_s });
    EXPECT_TRUE(env.readErr().contains(u"     bad ? 品項\r\n"_s));
}

TEST(ShowErrMsg, BeepsLogsShowsTheFiveLinesAndRestoresTheArrow)
{
    TestEnvironment env;
    platform::setBusyCursor(true);
    platform::setBusyCursor(true);
    try {
        failWith(13, u"型態不符合"_s);
    } catch (...) {
        ShowErrMsg(u"fmTavoKPortSrv_cmdStart_Click"_s);
    }
    EXPECT_EQ(env.prompter.beeps, 1);
    EXPECT_EQ(env.readErrBytes(), TestEnvironment::big5(kBlock));
    ASSERT_EQ(env.prompter.boxes.size(), 1);
    const auto &box = env.prompter.boxes[0];
    EXPECT_EQ(box.title, u"TavoKPortSrv"_s);
    EXPECT_EQ(box.icon, platform::BoxIcon::Warning);
    EXPECT_EQ(box.buttons, platform::BoxButtons::Ok);
    EXPECT_EQ(box.text,
        u"處理程序: (fmTavoKPortSrv_cmdStart_Click)\n執行錯誤, 代碼: 13\n訊息: \n     型態不符合\n\n"_s);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(ShowErrMsg, UnwritableErrorLogStillShowsTheBox)
{
    TestEnvironment env;
    g().gErrFile = env.path(u"missing-folder/x.ERR"_s);
    try {
        failWith(3021, u"No current record."_s);
    } catch (...) {
        EXPECT_EQ(AskErrMsg(u"frmVSPBlank_cmdPrint_Click"_s), 1);
    }
    ASSERT_EQ(env.prompter.boxes.size(), 1);
    EXPECT_TRUE(env.prompter.boxes[0].text.startsWith(
        u"處理程序: (frmVSPBlank_cmdPrint_Click)\n執行錯誤, 代碼: 3021\n"_s));
    EXPECT_FALSE(QDir(env.path(u"missing-folder"_s)).exists());
}
