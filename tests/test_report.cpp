// The text log, the error log and the error box, byte for byte as other programs read them.
#include "platform/cursor.h"
#include "platform/errors.h"
#include "support/test_environment.h"
#include "util/globals.h"
#include "util/report.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>
#include <functional>
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

// Three procedures deep, as a tick reaches a ticket's printing through the scan.
constexpr LogTag kOuter = u"Outer";
constexpr LogTag kMiddle = u"Middle";
constexpr LogTag kInner = u"Inner";
constexpr LogTag kOther = u"Other";

void inner()
{
    const ErrorScope scope(kInner);
    failWith(3021, u"No current record."_s);
}

void middle()
{
    const ErrorScope scope(kMiddle);
    inner();
}

void outer()
{
    const ErrorScope scope(kOuter);
    middle();
}

void runsToItsEnd()
{
    const ErrorScope scope(kOther);
}

void otherFails()
{
    const ErrorScope scope(kOther);
    failWith(5, u"Invalid procedure call"_s);
}

// The procedure names of the error log's blocks, in order: "Inner,Edge".
std::string loggedTags(const QString &errorLog)
{
    QStringList tags;
    static const QRegularExpression tagLine(u"處理程序: \\((.*)\\)\r\n"_s);
    for (auto it = tagLine.globalMatch(errorLog); it.hasNext();)
        tags.append(it.next().captured(1));
    return tags.join(u',').toStdString();
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

TEST(ErrorScope, ErrorThreeCallsDeepIsReportedOnceUnderTheInnermostProcedure)
{
    const struct {
        const char *reporter;
        std::function<void(const QString &)> report;
        int boxes;
    } reporters[] = {
        { "WriteErrLog", [](const QString &tag) { WriteErrLog(tag); }, 0 },
        { "ShowErrMsg", [](const QString &tag) { ShowErrMsg(tag); }, 1 },
        { "AskErrMsg", [](const QString &tag) { AskErrMsg(tag); }, 1 },
    };
    for (const auto &r : reporters) {
        SCOPED_TRACE(r.reporter);
        TestEnvironment env;
        try {
            outer();
        } catch (...) {
            r.report(u"Edge"_s);
        }
        EXPECT_EQ(env.readErr().toStdString(),
            u"**記錄時間 - 26/12/07, 14:05:09 \r\n處理程序: (Inner)\r\n執行錯誤, 代碼: 3021\r\n"
            u"訊息: \r\n     No current record.\r\n\r\n"_s.toStdString());
        ASSERT_EQ(env.prompter.boxes.size(), r.boxes);
        if (r.boxes > 0)
            EXPECT_TRUE(env.prompter.boxes[0].text.startsWith(u"處理程序: (Inner)\n"_s));
        // Taken by that report: an error that leaves no marked procedure is the trap's own.
        try {
            failWith(13, u"型態不符合"_s);
        } catch (...) {
            r.report(u"Edge"_s);
        }
        EXPECT_EQ(loggedTags(env.readErr()), "Inner,Edge");
    }
}

TEST(ErrorScope, AnErrorCaughtOnTheWayLeavesNoNameForTheNextOne)
{
    const auto edge = [](const std::function<void()> &work) {
        try {
            work();
        } catch (...) {
            WriteErrLog(u"Edge"_s);
        }
    };
    const auto unmarkedFailure = [] { failWith(13, u"型態不符合"_s); };
    const struct {
        const char *name;
        std::function<void()> run;
        std::string logged;
    } cases[] = {
        { "a trap that reported and went on",
            [&] {
                try {
                    middle();
                } catch (...) {
                    WriteErrLog(u"Kept"_s);
                }
                edge(unmarkedFailure);
            },
            "Inner,Edge" },
        { "a trap that went on silently, then a procedure ran to its end",
            [&] {
                try {
                    middle();
                } catch (...) {
                }
                runsToItsEnd();
                edge(unmarkedFailure);
            },
            "Edge" },
        { "a trap that went on silently, then another procedure failed",
            [&] {
                try {
                    middle();
                } catch (...) {
                }
                edge(otherFails);
            },
            "Other" },
        { "a trap that runs a marked procedure before it reports",
            [&] {
                try {
                    middle();
                } catch (...) {
                    runsToItsEnd();
                    WriteErrLog(u"Kept"_s);
                }
            },
            "Inner" },
        { "an error raised while a trap handles another",
            [&] {
                try {
                    failWith(13, u"型態不符合"_s);
                } catch (...) {
                    edge(inner);
                    WriteErrLog(u"Kept"_s);
                }
            },
            "Inner,Kept" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TestEnvironment env;
        c.run();
        EXPECT_EQ(loggedTags(env.readErr()), c.logged);
        // Nothing is left over for a later report either.
        edge(unmarkedFailure);
        EXPECT_EQ(loggedTags(env.readErr()), c.logged + ",Edge");
    }
}
