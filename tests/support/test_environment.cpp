#include "support/test_environment.h"

#include "db/dbglobals.h"
#include "platform/echo.h"

#include "platform/codepage.h"
#include "util/globals.h"

#include <QFile>
#include <QProcess>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace tavo::test {

FakeClock::FakeClock()
    : m_now(start())
{
}

QDateTime FakeClock::start()
{
    return QDateTime(QDate(2026, 12, 7), QTime(14, 5, 9));
}

void FakeClock::sleepMs(int ms)
{
    sleeps.append(ms);
    if (onSleep)
        onSleep(ms);
    if (ms > 0)
        advance(ms);
}

platform::BoxAnswer ScriptedPrompter::ask(
    const QString &title, const QString &text, platform::BoxIcon icon, platform::BoxButtons buttons)
{
    boxes.append(Box { title, text, icon, buttons });
    if (onBox)
        onBox(boxes.back());
    if (!m_answers.isEmpty())
        return m_answers.dequeue();
    return buttons == platform::BoxButtons::YesNo ? platform::BoxAnswer::No : platform::BoxAnswer::Ok;
}

QString MemorySettings::slot(const QString &app, const QString &section, const QString &key)
{
    return app.toUpper() + u'\x1f' + section.toUpper() + u'\x1f' + key.toUpper();
}

QString MemorySettings::get(
    const QString &app, const QString &section, const QString &key, const QString &defaultValue) const
{
    const auto it = m_values.constFind(slot(app, section, key));
    return it == m_values.constEnd() ? defaultValue : it.value();
}

void MemorySettings::save(
    const QString &app, const QString &section, const QString &key, const QString &value)
{
    ++saves;
    m_values.insert(slot(app, section, key), value);
}

bool MemorySettings::contains(const QString &app, const QString &section, const QString &key) const
{
    return m_values.contains(slot(app, section, key));
}

QString postgresConnectionString()
{
    const QString host = qEnvironmentVariable("TAVO_TEST_PG_HOST");
    if (host.isEmpty())
        return {};
    return u"Provider=PostgreSQL;Data Source=%1:%2;Initial Catalog=%3;User ID=%4;Password=%5"_s.arg(host,
        qEnvironmentVariable("TAVO_TEST_PG_PORT", u"5432"_s), qEnvironmentVariable("TAVO_TEST_PG_DB"),
        qEnvironmentVariable("TAVO_TEST_PG_USER"), qEnvironmentVariable("TAVO_TEST_PG_PASSWORD"));
}

QString postgresOdbcConnectionString()
{
    const QString host = qEnvironmentVariable("TAVO_TEST_PG_HOST");
    if (host.isEmpty())
        return {};
    return u"Provider=MSDASQL;Driver={PostgreSQL Unicode};Server=%1;Port=%2;Database=%3;Uid=%4;Pwd=%5"_s.arg(
        host, qEnvironmentVariable("TAVO_TEST_PG_PORT", u"5432"_s), qEnvironmentVariable("TAVO_TEST_PG_DB"),
        qEnvironmentVariable("TAVO_TEST_PG_USER"), qEnvironmentVariable("TAVO_TEST_PG_PASSWORD"));
}

void resetProcessState()
{
    db::gCNT().close();
    db::msgDB().close();
    resetGlobals();
    platform::CodePage::setName({});
    platform::setEchoSink({});
    db::gCNT().setStatementHook({});
    qInstallMessageHandler(nullptr);
}

StderrCapture::StderrCapture()
{
    std::fflush(stderr);
    const QByteArray file = QFile::encodeName(m_dir.filePath(u"stderr"_s));
    const int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    EXPECT_GE(fd, 0) << "cannot capture standard error";
    if (fd < 0)
        return;
    // Kept from the children the test starts: a server restarted meanwhile would hold ctest's
    // pipe open, and ctest would wait for it for ever.
    m_saved = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    ::dup2(fd, STDERR_FILENO);
    ::close(fd);
}

StderrCapture::~StderrCapture()
{
    restore();
}

void StderrCapture::restore()
{
    if (m_saved < 0)
        return;
    std::fflush(stderr);
    ::dup2(m_saved, STDERR_FILENO);
    ::close(m_saved);
    m_saved = -1;
    m_text = QString::fromUtf8(TestEnvironment::readBytes(m_dir.filePath(u"stderr"_s)));
}

QString StderrCapture::text()
{
    restore();
    return m_text;
}

TestEnvironment::TestEnvironment()
    : m_previous(platform::services())
    , m_previousCodePage(platform::CodePage::name())
{
    resetProcessState();
    EXPECT_TRUE(m_dir.isValid()) << "no temporary folder";
    Globals &G = g();
    G.gAppDir = m_dir.path();
    G.gINIFile = path(u"TavoC.INI"_s);
    G.gLogFile = path(u"TavoKPortSrv.LOG"_s);
    G.gErrFile = path(u"TavoKPortSrv.ERR"_s);

    platform::Services &s = platform::services();
    s.clock = &clock;
    s.prompter = &prompter;
    s.settings = &settings;
    s.restart = &restart;
}

TestEnvironment::~TestEnvironment()
{
    resetProcessState();
    platform::services() = m_previous;
    platform::CodePage::setName(m_previousCodePage);
}

QString TestEnvironment::dir() const
{
    return m_dir.path();
}

QString TestEnvironment::path(const QString &name) const
{
    return m_dir.filePath(name);
}

void TestEnvironment::writeIni(const QByteArray &big5Content) const
{
    QFile file(g().gINIFile);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << "cannot write the INI";
    file.write(big5Content);
}

QByteArray TestEnvironment::readBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QString TestEnvironment::readLog() const
{
    return platform::fromAnsi(readLogBytes());
}

QString TestEnvironment::readErr() const
{
    return platform::fromAnsi(readErrBytes());
}

QByteArray TestEnvironment::readLogBytes() const
{
    return readBytes(g().gLogFile);
}

QByteArray TestEnvironment::readErrBytes() const
{
    return readBytes(g().gErrFile);
}

QByteArray TestEnvironment::big5(const QString &text)
{
    // The system's iconv program, so that a fault in the code page class cannot hide itself.
    QProcess iconv;
    iconv.start(u"iconv"_s, { u"-f"_s, u"UTF-8"_s, u"-t"_s, u"CP950"_s });
    if (!iconv.waitForStarted())
        return {};
    iconv.write(text.toUtf8());
    iconv.closeWriteChannel();
    iconv.waitForFinished();
    return iconv.readAllStandardOutput();
}

} // namespace tavo::test
