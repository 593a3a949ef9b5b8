// Start-up: the INI and log files, the business parameters, the connection failure.
#include "core/startup.h"
#include "db/connection.h"
#include "db/dbglobals.h"
#include "demo/demoschema.h"
#include "gui/application.h"
#include "gui/fmTavoKPortSrv.h"
#include "platform/codepage.h"
#include "platform/echo.h"
#include "platform/singleinstance.h"
#include "platform/system.h"
#include "support/test_environment.h"
#include "util/globals.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPointer>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using namespace tavo;

namespace {

void writeBytes(const QString &path, qint64 size)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(size, 'x'));
}

class StartupTest : public ::testing::Test {
protected:
    test::TestEnvironment env;
};

TEST_F(StartupTest, LogFilesAreDeletedOnlyWhenOverOneHundredKilobytes)
{
    writeBytes(env.path(u"TavoKPortSrv.LOG"_s), 102400);
    writeBytes(env.path(u"TavoKPortSrv.ERR"_s), 102401);
    core::InitGlobal(u"TavoC.INI"_s, env.dir());
    EXPECT_TRUE(QFile::exists(g().gLogFile));
    EXPECT_FALSE(QFile::exists(g().gErrFile));
    EXPECT_EQ(g().gLogFile, env.dir() + u"/TavoKPortSrv.LOG"_s);
}

TEST_F(StartupTest, AnInstalledProgramKeepsItsSiteInTheUnitsFolder)
{
    // Root can write to /usr/bin: the installed program still must not take it for its site.
    const QString unitFolder = QDir::homePath() + u"/.local/share/TavoKPortSrv"_s;
    EXPECT_EQ(core::siteFolderFor(u"/usr/bin"_s), unitFolder);
    EXPECT_EQ(core::siteFolderFor(u"/usr/local/bin"_s), unitFolder);
    EXPECT_EQ(core::siteFolderFor(env.path(u"missing"_s)), unitFolder);
    EXPECT_EQ(core::siteFolderFor(env.dir()), env.dir()) << "a program kept in a site's folder";
    if (geteuid() != 0) {
        QFile::setPermissions(env.dir(), QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_EQ(core::siteFolderFor(env.dir()), unitFolder);
        QFile::setPermissions(env.dir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
}

// What Qt and the libraries under it say (here a socket notifier's and a driver's warning) goes to
// the text log, never to the operator's echo on standard error; before the log is known there is
// nowhere else than standard error.
TEST_F(StartupTest, LibraryMessagesGoToTheTextLogAndStayOffTheEcho)
{
    core::routeLibraryMessagesToLog();
    platform::setEchoEnabled(true);
    const QLoggingCategory driver("qt.sql.driver");
    QString echoed;
    {
        test::StderrCapture stderrCapture;
        qWarning("QSocketNotifier: Invalid socket 8 and type 'Read', disabling...");
        qCWarning(driver) << "QSqlQuery::exec: database not open";
        platform::echoLine(u"gCNT"_s, u"資料庫連線中斷: FATAL: terminating connection"_s);
        echoed = stderrCapture.text();
    }
    EXPECT_EQ(echoed, u"gCNT\t資料庫連線中斷: FATAL: terminating connection\n"_s);
    const QString log = env.readLog();
    EXPECT_TRUE(log.contains(
        u" => Qt warning: QSocketNotifier: Invalid socket 8 and type 'Read', disabling...\r\n"_s))
        << log.toStdString();
    EXPECT_TRUE(log.contains(u" => Qt warning [qt.sql.driver]: QSqlQuery::exec: database not open\r\n"_s));

    const QString logFile = std::exchange(g().gLogFile, QString());
    {
        test::StderrCapture stderrCapture;
        qWarning("QXcbConnection: Could not connect to display");
        echoed = stderrCapture.text();
    }
    g().gLogFile = logFile;
    platform::setEchoEnabled(false);
    EXPECT_TRUE(echoed.contains(u"QXcbConnection: Could not connect to display"_s))
        << "before the log is known";
    EXPECT_FALSE(env.readLog().contains(u"QXcbConnection"_s));
}

TEST_F(StartupTest, IniValuesAndTheirDefaults)
{
    env.writeIni(platform::toAnsi(u"[param]\r\ncustname=台北小館\r\nDateSep=-\r\n"_s));
    core::InitGlobal(u"TavoC.INI"_s, env.dir());
    EXPECT_EQ(g().gCustName, u"台北小館"_s);
    EXPECT_EQ(g().gDateSep, u"-"_s);
    EXPECT_EQ(g().gCalendar, u"YYYY/MM/DD"_s);
    EXPECT_EQ(g().gAmtFmt, u"#,##0"_s);
    EXPECT_EQ(g().gUserID, platform::GetLogonUser().left(20));
    EXPECT_EQ(g().gSQLQuote, u"'"_s);
}

TEST_F(StartupTest, MissingIniLeavesEveryDefaultAndNoError)
{
    core::InitGlobal(u"TavoC.INI"_s, env.dir());
    EXPECT_TRUE(g().gCustName.isEmpty());
    EXPECT_EQ(g().gCalendar, u"YYYY/MM/DD"_s);
    EXPECT_TRUE(env.prompter.boxes.isEmpty());
}

class BusinessParametersTest : public StartupTest {
protected:
    void SetUp() override
    {
        db::gCNT().setCreateIfMissing(true);
        db::gCNT().open(u"Provider=SQLite;Data Source="_s + env.path(u"tavo.db"_s));
        SetDBType();
        db::gCNT().execute(u"CREATE TABLE xxPARAM (ParamID TEXT PRIMARY KEY, ParamValue TEXT,"
                           " FileDate TEXT, UpdDate TEXT)"_s);
    }
    void param(const QString &id, const QString &value)
    {
        db::gCNT().execute(u"INSERT INTO xxPARAM (ParamID, ParamValue) VALUES ('%1', '%2')"_s.arg(id, value));
    }
    QString stored(const QString &id)
    {
        auto rs = db::gCNT().openRecordset(u"SELECT ParamValue FROM xxPARAM WHERE ParamID = '%1'"_s.arg(id));
        return rs.eof() ? u"<none>"_s : rs.text(u"ParamValue"_s);
    }
};

TEST_F(BusinessParametersTest, InvalidBusinessDateIsResetToTodayStoredAndAnnounced)
{
    param(u"OPDATE"_s, u"2025/13/40"_s);
    core::InitTavo3();
    EXPECT_EQ(g().gOPDate, u"2026/12/07"_s);
    EXPECT_EQ(g().gOPDateYMD, u"20261207"_s);
    EXPECT_EQ(stored(u"OPDATE"_s), u"2026/12/07"_s);
    ASSERT_EQ(env.prompter.boxes.size(), 1);
    EXPECT_EQ(env.prompter.boxes[0].icon, platform::BoxIcon::Warning);
    EXPECT_EQ(env.prompter.boxes[0].text, u"營業日期設定錯誤\n重設為: 2026/12/07"_s);
}

TEST_F(BusinessParametersTest, MissingBusinessDateIsInsertedAsToday)
{
    core::InitTavo3();
    EXPECT_EQ(stored(u"OPDATE"_s), u"2026/12/07"_s);
    EXPECT_EQ(env.prompter.boxes.size(), 1);
}

TEST_F(BusinessParametersTest, ValidBusinessDateIsKeptAndNormalised)
{
    param(u"OPDATE"_s, u"2026-12-05"_s);
    core::InitTavo3();
    EXPECT_EQ(g().gOPDate, u"2026/12/05"_s);
    EXPECT_EQ(g().gOPDateYMD, u"20261205"_s);
    EXPECT_TRUE(env.prompter.boxes.isEmpty());
}

TEST_F(BusinessParametersTest, FlagsAreUpperCasedAndMissingOnesAreNo)
{
    param(u"OPDATE"_s, u"2026/12/07"_s);
    param(u"KPSplitS1item"_s, u"y"_s);
    param(u"KTVAPP"_s, u""_s);
    core::InitTavo3();
    EXPECT_EQ(g().gKPSplitS1item, u"Y"_s);
    EXPECT_EQ(g().gKTVAPP, u"N"_s);
    EXPECT_EQ(g().gHideTimeMark, u"N"_s);
    EXPECT_EQ(g().gKPPrintMenuRemark, u"N"_s);
}

TEST_F(BusinessParametersTest, WorkstationIdIsWrittenOnlyWhenEmpty)
{
    param(u"OPDATE"_s, u"2026/12/07"_s);
    core::InitTavo3();
    EXPECT_EQ(env.settings.get(u"Tavo3"_s, u"SYS"_s, u"POSID"_s), u"WS01"_s);
    env.settings.save(u"Tavo3"_s, u"SYS"_s, u"POSID"_s, u"WS07"_s);
    core::InitTavo3();
    EXPECT_EQ(env.settings.get(u"Tavo3"_s, u"SYS"_s, u"POSID"_s), u"WS07"_s);
}

TEST_F(BusinessParametersTest, DisplayPortWithoutTypeIsNotTouched)
{
    param(u"OPDATE"_s, u"2026/12/07"_s);
    env.settings.save(u"Tavo3"_s, u"CD"_s, u"CDport"_s, u"COM9"_s);
    core::InitTavo3();
    EXPECT_TRUE(env.readLog().isEmpty());
    env.settings.save(u"Tavo3"_s, u"CD"_s, u"CDtype"_s, u"VFD"_s);
    core::InitTavo3();
    EXPECT_TRUE(env.readLog().contains(u"CD連接埠:COM9無法開啟"_s));
}

class MainTest : public StartupTest {
protected:
    void SetUp() override { qputenv("TAVO_HOME", env.dir().toLocal8Bit()); }
    void TearDown() override { qunsetenv("TAVO_HOME"); }
    platform::SingleInstance instance { env.path(u"instance.lock"_s) };
    std::function<void(const Site &)> noWindow = [](const Site &) { ADD_FAILURE() << "no window may open"; };
};

TEST_F(MainTest, EmptyConnectionStringEndsStartWithTheFailureBox)
{
    env.writeIni("[PARAM]\r\nGCNT=\r\n");
    EXPECT_EQ(core::Main(instance, noWindow), core::StartResult::Failed);
    ASSERT_EQ(env.prompter.boxes.size(), 2); // the missing message database, then the failure
    EXPECT_TRUE(env.prompter.boxes[0].text.startsWith(u"Error Open MSGDB"_s));
    EXPECT_TRUE(
        env.prompter.boxes[1].text.startsWith(u"連線失敗!\n請檢查修正"_s + g().gINIFile + u"檔案設定"_s));
}

TEST_F(MainTest, FailureBoxAndErrorLogNeverShowThePassword)
{
    env.writeIni("[PARAM]\r\nGCNT=Provider=PostgreSQL;Data Source=127.0.0.1:1;Initial Catalog=pos;"
                 "User ID=kitchen;Password=s3cret\r\n");
    EXPECT_EQ(core::Main(instance, noWindow), core::StartResult::Failed);
    const QString box = env.prompter.boxes.last().text;
    EXPECT_TRUE(box.contains(u"User ID=kitchen;Password=***"_s)) << box.toStdString();
    EXPECT_FALSE(box.contains(u"s3cret"_s));
    EXPECT_FALSE(env.readErr().contains(u"s3cret"_s));
    EXPECT_TRUE(env.readErr().contains(u"處理程序: (sub_Main)"_s));
    EXPECT_FALSE(QFile::exists(env.path(u"LOG"_s)));
}

struct SecretCase {
    const char *name;
    QString connection; // the site's GCNT, holding `secret`
    QString secret;
    core::StartResult expected;
};

void PrintTo(const SecretCase &c, std::ostream *os)
{
    *os << c.name;
}

class SecretTest : public MainTest, public ::testing::WithParamInterface<SecretCase> { };

TEST_P(SecretTest, PasswordReachesNoLogNoBoxAndNoStandardError)
{
    const SecretCase &c = GetParam();
    if (c.connection.isEmpty())
        GTEST_SKIP() << "TAVO_TEST_PG_HOST is not set";
    {
        db::Connection site;
        site.setCreateIfMissing(true);
        site.open(u"Provider=SQLite;Data Source=tavo.db"_s, env.dir());
        demo::createSchema(site);
    }
    env.writeIni("[PARAM]\r\nGCNT=" + test::TestEnvironment::big5(c.connection) + "\r\n");
    platform::setEchoEnabled(true);
    core::StartResult result;
    QString standardError;
    {
        test::StderrCapture capture;
        result = core::Main(instance, [](const Site &site) {
            gui::openServiceWindow(site);
            for (QWidget *w : QApplication::topLevelWidgets())
                if (qobject_cast<gui::fmTavoKPortSrv *>(w))
                    delete w;
        });
        standardError = capture.text();
    }
    platform::setEchoEnabled(false);
    EXPECT_EQ(result, c.expected);
    EXPECT_FALSE(env.readLog().contains(c.secret)) << env.readLog().toStdString();
    EXPECT_FALSE(env.readErr().contains(c.secret)) << env.readErr().toStdString();
    for (const auto &box : env.prompter.boxes)
        EXPECT_FALSE(box.text.contains(c.secret)) << box.text.toStdString();
    EXPECT_FALSE(standardError.contains(c.secret)) << standardError.toStdString();
    if (c.expected == core::StartResult::Failed)
        EXPECT_TRUE(env.readErr().contains(u"處理程序: (sub_Main)"_s)) << "the failure is still told";
    else
        EXPECT_FALSE(standardError.isEmpty()) << "the echo told of the start";
}

INSTANTIATE_TEST_SUITE_P(Starts, SecretTest,
    ::testing::Values(
        SecretCase { "RefusedServer",
            u"Provider=PostgreSQL;Data Source=127.0.0.1:1;Initial Catalog=pos;User ID=k;Password=s3cret"_s,
            u"s3cret"_s, core::StartResult::Failed },
        SecretCase { "QuotedPasswordWithSemicolon",
            u"Provider=PostgreSQL;Data Source=127.0.0.1:1;User ID=k;Password=\"pa;ss'w0rd\""_s, u"ss'w0rd"_s,
            core::StartResult::Failed },
        SecretCase { "UnclosedQuote", u"Provider=PostgreSQL;Data Source=127.0.0.1:1;Password=\"s3cret"_s,
            u"s3cret"_s, core::StartResult::Failed },
        SecretCase { "JetDatabasePassword",
            u"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=missing.mdb;Jet OLEDB:Database Password=s3cret"_s,
            u"s3cret"_s, core::StartResult::Failed },
        SecretCase { "OdbcRefused",
            u"Provider=MSDASQL;Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=pos;Uid=k;Pwd=s3cret"_s,
            u"s3cret"_s, core::StartResult::Failed },
        SecretCase { "SqlServerRefused",
            u"Provider=SQLOLEDB;Data Source=127.0.0.1,1;Initial Catalog=pos;User ID=sa;Password=s3cret"_s,
            u"s3cret"_s, core::StartResult::Failed },
        SecretCase { "SqliteIgnoresIt", u"Provider=SQLite;Data Source=tavo.db;Password=s3cret"_s, u"s3cret"_s,
            core::StartResult::Started },
        SecretCase { "PostgreSQLAcceptsIt", test::postgresConnectionString(),
            qEnvironmentVariable("TAVO_TEST_PG_PASSWORD"), core::StartResult::Started },
        SecretCase { "OdbcAcceptsIt", test::postgresOdbcConnectionString(),
            qEnvironmentVariable("TAVO_TEST_PG_PASSWORD"), core::StartResult::Started }),
    [](const ::testing::TestParamInfo<SecretCase> &info) { return std::string(info.param.name); });

TEST_F(MainTest, ASoundSiteStartsTheServiceWindowWithItsShiftTable)
{
    env.writeIni("[PARAM]\r\nGCNT=Provider=SQLite;Data Source=tavo.db\r\n");
    {
        db::Connection site;
        site.setCreateIfMissing(true);
        site.open(u"Provider=SQLite;Data Source=tavo.db"_s, env.dir());
        demo::createSchema(site);
        site.execute(u"INSERT INTO xxPARAM (ParamID, ParamValue) VALUES ('OPDATE', '2026/12/07')"_s);
    }
    QFile shifts(env.path(u"TavoC_fg2.CSV"_s));
    ASSERT_TRUE(shifts.open(QIODevice::WriteOnly));
    shifts.write(
        test::TestEnvironment::big5(u"班別,起始時間,結束時間\r\n午班,11:00,14:00\r\n晚班,17:00,21:00\r\n"_s));
    shifts.close();

    ASSERT_EQ(core::Main(instance, gui::openServiceWindow), core::StartResult::Started);
    EXPECT_TRUE(QFileInfo(env.path(u"LOG"_s)).isDir());
    EXPECT_EQ(g().gOPDate, u"2026/12/07"_s);
    QPointer<gui::fmTavoKPortSrv> window;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *form = qobject_cast<gui::fmTavoKPortSrv *>(w); form && form->isVisible())
            window = form;
    ASSERT_TRUE(window) << "the service window is shown";
    ASSERT_EQ(window->fg2->Rows(), 3);
    EXPECT_EQ(window->fg2->TextMatrix(2, 0), u"晚班"_s);
    EXPECT_EQ(window->txtOpDate->text(), u"2026/12/07"_s);
    delete window;
}

TEST_F(MainTest, SecondCopyEndsSilently)
{
    platform::SingleInstance first(env.path(u"other.lock"_s));
    ASSERT_TRUE(first.acquire());
    // A second holder of the same lock in this process stands for another copy.
    platform::SingleInstance second(env.path(u"other.lock"_s));
    EXPECT_EQ(core::Main(second, noWindow), core::StartResult::AlreadyRunning);
    EXPECT_TRUE(env.prompter.boxes.isEmpty());
    EXPECT_TRUE(env.readErr().isEmpty());
}

} // namespace
