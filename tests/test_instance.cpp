// The real program started many times at once on one site: one copy serves, the others end
// quietly, and a copy killed without a chance to clean up does not block the next start.
#include "demo/demosite.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

class ProgramCopies : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        const QString site = m_dir.filePath(u"site"_s);
        tavo::demo::initSite(site);
        // The lock lives in the runtime folder: a folder of the test's own keeps a real
        // service of this user out of it. Qt accepts it only when private to its owner.
        const QString runtime = m_dir.filePath(u"run"_s);
        ASSERT_TRUE(QDir().mkpath(runtime));
        QFile::setPermissions(
            runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(u"TAVO_HOME"_s, site);
        m_env.insert(u"XDG_RUNTIME_DIR"_s, runtime);
        m_env.insert(u"XDG_CONFIG_HOME"_s, m_dir.filePath(u"config"_s));
        m_env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        m_env.insert(u"TAVO_ECHO"_s, u"0"_s);
        m_env.remove(u"DISPLAY"_s);
        m_env.remove(u"WAYLAND_DISPLAY"_s);
    }
    void TearDown() override
    {
        for (auto &p : m_copies)
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
    }

    QProcess *start()
    {
        auto &p = m_copies.emplace_back(std::make_unique<QProcess>());
        p->setProcessEnvironment(m_env);
        p->setWorkingDirectory(m_dir.path());
        p->start(QString::fromUtf8(TAVO_PROGRAM), {});
        return p.get();
    }
    // Waits until `count` of the copies have ended, at most `ms`.
    int waitForEnds(int count, int ms)
    {
        int ended = 0;
        for (int waited = 0; waited <= ms; waited += 50) {
            ended = 0;
            for (auto &p : m_copies) {
                p->waitForFinished(0);
                ended += p->state() == QProcess::NotRunning ? 1 : 0;
            }
            if (ended >= count)
                break;
            QThread::msleep(50);
        }
        return ended;
    }

    QTemporaryDir m_dir;
    QProcessEnvironment m_env;
    std::vector<std::unique_ptr<QProcess>> m_copies;
};

TEST_F(ProgramCopies, TenStartsLeaveOneRunningAndAKilledHolderIsTakenOver)
{
    for (int i = 0; i < 10; ++i)
        start();
    EXPECT_EQ(waitForEnds(9, 20000), 9);
    QThread::msleep(500); // a holder failing late would end now
    QProcess *holder = nullptr;
    for (auto &p : m_copies) {
        p->waitForFinished(0);
        if (p->state() != QProcess::NotRunning) {
            EXPECT_EQ(holder, nullptr) << "a second copy still runs";
            holder = p.get();
        } else {
            EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(p->exitCode(), 0);
            EXPECT_EQ(p->readAllStandardError(), QByteArray()) << "a second copy ends without a word";
        }
    }
    ASSERT_NE(holder, nullptr) << "no copy kept running";

    holder->kill(); // SIGKILL: the lock file stays behind
    ASSERT_TRUE(holder->waitForFinished(5000));
    m_copies.clear();
    QProcess *next = start();
    ASSERT_TRUE(next->waitForStarted(5000));
    EXPECT_FALSE(next->waitForFinished(1500))
        << "the next start took the stale lock over: " << next->readAllStandardError().toStdString();
    QProcess *late = start();
    EXPECT_TRUE(late->waitForFinished(15000)) << "and holds it against a later copy";
    EXPECT_EQ(late->exitCode(), 0);
}

// A headless demo run as a new site's IT person starts it: no runtime folder in the
// environment, the POS feed beside the service, both ended by signals. Standard error holds no
// warning about the runtime folder, and the SQLite database is closed, its write-ahead log
// merged and gone.
TEST_F(ProgramCopies, AnUnattendedDemoRunWarnsOfNothingAndLeavesNoWriteAheadLog)
{
    m_env.remove(u"XDG_RUNTIME_DIR"_s);
    // Qt's stand-in runtime folder is made under the temporary folder: this test's own.
    const QString tmp = m_dir.filePath(u"tmp"_s);
    ASSERT_TRUE(QDir().mkpath(tmp));
    m_env.insert(u"TMPDIR"_s, tmp);
    m_env.insert(u"TAVO_ECHO"_s, u"1"_s);
    // The demo's POS feed writes beside it, as under run.sh.
    QProcess feed;
    feed.setProcessEnvironment(m_env);
    feed.start(
        QString::fromUtf8(TAVO_DEMO), { u"feed"_s, m_dir.filePath(u"site"_s), u"--interval"_s, u"200"_s });
    ASSERT_TRUE(feed.waitForReadyRead(15000)) << "the feed writes its first order";
    QProcess *service = start();
    QByteArray err;
    for (int waited = 0; waited < 20000 && !err.contains("本作業30秒後自動啟動"); waited += 50) {
        service->waitForReadyRead(50);
        err += service->readAllStandardError();
    }
    ASSERT_TRUE(err.contains("本作業30秒後自動啟動")) << err.toStdString();
    service->terminate();
    ASSERT_TRUE(service->waitForFinished(15000));
    err += service->readAllStandardError();
    EXPECT_EQ(service->exitCode(), 0);
    EXPECT_FALSE(err.contains("XDG_RUNTIME_DIR")) << err.toStdString();
    EXPECT_TRUE(err.contains("TavoKPortSrv\t服務程式結束")) << err.toStdString();
    feed.terminate(); // as run.sh ends it, after the service
    ASSERT_TRUE(feed.waitForFinished(15000));
    EXPECT_EQ(feed.exitStatus(), QProcess::NormalExit) << "the feed ends on its own terms";
    const QString db = m_dir.filePath(u"site/tavo.db"_s);
    ASSERT_TRUE(QFile::exists(db));
    EXPECT_FALSE(QFile::exists(db + u"-wal"_s)) << "the database was left open";
}

} // namespace
