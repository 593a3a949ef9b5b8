// The service under systemd. The daily restart goes to logind's own D-Bus interface, here
// python-dbusmock's logind template on a private bus of the test's own, so nothing can restart
// this machine. The notifications of a Type=notify unit with a watchdog reach a socket the test
// binds where systemd would.
#include "core/kitchenservice.h"
#include "core/systemdsupervision.h"
#include "platform/echo.h"
#include "platform/logindrestart.h"
#include "platform/systemdnotifier.h"
#include "support/test_environment.h"
#include "test_watch_db.h"
#include "util/grids.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace tavo;
using core::KitchenService;

namespace {

const QString kLogin1 = u"org.freedesktop.login1"_s;
const QString kLogin1Path = u"/org/freedesktop/login1"_s;
const QString kManager = u"org.freedesktop.login1.Manager"_s;
const QString kMock = u"org.freedesktop.DBus.Mock"_s;

void runEventsFor(int ms, const std::function<bool()> &done = {})
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms && !(done && done()))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool dbusmockInstalled()
{
    QProcess python;
    python.start(QStringLiteral(TAVO_PYTHON), { u"-c"_s, u"import dbusmock"_s });
    return python.waitForFinished(30000) && python.exitStatus() == QProcess::NormalExit
        && python.exitCode() == 0;
}

// A private bus (a dbus-daemon of its own) with, when asked, logind's stand-in on it.
class LogindMock {
public:
    ~LogindMock()
    {
        if (!m_name.isEmpty())
            QDBusConnection::disconnectFromBus(m_name);
        for (QProcess *process : { &m_mock, &m_daemon }) {
            process->terminate();
            if (!process->waitForFinished(5000))
                process->kill();
            process->waitForFinished(5000);
        }
    }

    // Empty when the bus is up, and logind's stand-in on it when `withLogind`; else what failed.
    QString start(bool withLogind)
    {
        m_daemon.start(u"dbus-daemon"_s, { u"--session"_s, u"--nofork"_s, u"--print-address=1"_s });
        if (!m_daemon.waitForStarted(10000))
            return u"dbus-daemon did not start"_s;
        runEventsFor(10000, [this] { return m_daemon.canReadLine(); });
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        if (m_address.isEmpty())
            return u"dbus-daemon told no address"_s;
        static int count = 0;
        m_name = u"tavo-logind-mock-%1"_s.arg(++count);
        if (!QDBusConnection::connectToBus(m_address, m_name).isConnected())
            return u"cannot reach the private bus at "_s + m_address;
        if (!withLogind)
            return {};
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // The template claims its name on "the system bus": this one.
        environment.insert(u"DBUS_SYSTEM_BUS_ADDRESS"_s, m_address);
        environment.remove(u"DBUS_SESSION_BUS_ADDRESS"_s);
        m_mock.setProcessEnvironment(environment);
        m_mock.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_mock.start(QStringLiteral(TAVO_PYTHON), { u"-m"_s, u"dbusmock"_s, u"--template"_s, u"logind"_s });
        runEventsFor(20000, [this] { return bus().interface()->isServiceRegistered(kLogin1).value(); });
        if (!bus().interface()->isServiceRegistered(kLogin1).value())
            return u"the logind template did not come up on the private bus"_s;
        return {};
    }

    QDBusConnection bus() const { return QDBusConnection(m_name); }
    QString address() const { return m_address; }

    // The login1 object here is the stand-in: the real logind has no Mock interface.
    bool isMock() const { return mockCall(u"GetCalls"_s, {}).type() == QDBusMessage::ReplyMessage; }

    void addMethod(const QString &name, const QString &inSignature, const QString &code) const
    {
        const QDBusMessage reply = mockCall(u"AddMethod"_s, { kManager, name, inSignature, QString(), code });
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }

    // The calls of the Manager's methods, as "Method(arg, ...); ...".
    QString calls() const
    {
        const QDBusMessage reply = mockCall(u"GetCalls"_s, {});
        QStringList calls;
        if (reply.type() != QDBusMessage::ReplyMessage)
            return u"GetCalls failed: "_s + reply.errorMessage();
        const QDBusArgument list = reply.arguments().at(0).value<QDBusArgument>();
        list.beginArray();
        while (!list.atEnd()) {
            quint64 time = 0;
            QString method;
            QStringList arguments;
            list.beginStructure();
            list >> time >> method;
            list.beginArray();
            while (!list.atEnd()) {
                QDBusVariant value;
                list >> value;
                arguments << value.variant().toString();
            }
            list.endArray();
            list.endStructure();
            calls << method + u'(' + arguments.join(u", "_s) + u')';
        }
        list.endArray();
        return calls.join(u"; "_s);
    }

private:
    QDBusMessage mockCall(const QString &method, const QVariantList &arguments) const
    {
        QDBusMessage call = QDBusMessage::createMethodCall(kLogin1, kLogin1Path, kMock, method);
        call.setArguments(arguments);
        return bus().call(call, QDBus::Block, 10000);
    }

    QProcess m_daemon, m_mock;
    QString m_address, m_name;
};

// A POS site on SQLite whose service has the restart time 03:05, at 03:04:30.
class Station {
public:
    Station()
    {
        platform::setEchoEnabled(false);
        QDir(env.dir()).mkdir(u"LOG"_s);
        pos = std::make_unique<test::OrderTable>(posLink, test::Server::SQLite, env.path(u"tavo.db"_s));
        cnt.open(posLink.connectionString());
        pos->execute(u"INSERT INTO xxPARAM (ParamID, ParamValue) VALUES ('OPDATE', '2026/12/08')"_s);
        env.settings.save(u"Tavo3"_s, u"TavoC"_s, u"PrintItem"_s, u"Y"_s);
        env.settings.save(u"Tavo3"_s, u"TavoC"_s, u"ShutTime"_s, u"03:05"_s);
        env.clock.set(QDateTime(QDate(2026, 12, 8), QTime(3, 4, 30)));
    }
    ~Station()
    {
        service.reset();
        cnt.close();
    }
    KitchenService &load()
    {
        service = std::make_unique<KitchenService>(env.site(cnt));
        service->quit = [](int) {};
        service->load();
        return *service;
    }
    void tick(int times)
    {
        for (int i = 0; i < times; ++i) {
            env.clock.advance(1000);
            service->tick();
        }
    }
    int activityRows(const QString &type) const
    {
        int rows = 0;
        for (int r = 1; r < service->activity().Rows(); ++r)
            rows += service->activity().TextMatrix(r, grids::ActivityList::Type) == type;
        return rows;
    }
    int errorBlocks(const QString &tag) const
    {
        return int(env.readErr().count(u"處理程序: ("_s + tag + u')'));
    }

    test::TestEnvironment env;
    db::Connection posLink;
    db::Connection cnt;
    std::unique_ptr<test::OrderTable> pos;
    std::unique_ptr<KitchenService> service;
};

// The service's cycles from 03:04:30 to 03:06:10: every cycle of the restart minute and some on
// either side. The restart goes to `mock`'s bus and nowhere else. The messages about the restart.
QStringList runThroughTheRestartMinute(Station &site, const LogindMock &mock)
{
    const bool safe = mock.isMock() || !mock.bus().interface()->isServiceRegistered(kLogin1).value();
    EXPECT_TRUE(safe) << "the test's bus must not have a real logind on it";
    if (!safe)
        return {};
    platform::LogindRestart logind(mock.bus());
    platform::services().restart = &logind;
    KitchenService &s = site.load();
    EXPECT_TRUE(s.start());
    QSignalSpy messages(&s, &KitchenService::message);
    site.tick(100);
    platform::services().restart = &site.env.restart;
    QStringList aboutTheRestart;
    for (const QList<QVariant> &message : messages)
        if (message[0].toString().contains(u"重開機"_s))
            aboutTheRestart << message[0].toString();
    return aboutTheRestart;
}

class LogindRestartTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!dbusmockInstalled())
            GTEST_SKIP() << "python-dbusmock is not installed (Debian package python3-dbusmock)";
    }
};

struct LogindVersion {
    const char *name;
    QString rebootWithFlags; // the stand-in's RebootWithFlags(t), or empty: the method is unknown
    QString expectedCalls;
};

TEST_F(LogindRestartTest, AsksLogindOnceInTheMinuteWithoutAskingTheRunningPrograms)
{
    const QString invalidFlags = uR"(if args[0] & ~0x3:
    raise dbus.exceptions.DBusException("Invalid flags parameter", name="org.freedesktop.DBus.Error.InvalidArgs"))"_s;
    const LogindVersion versions[] = {
        { "before systemd 248: no *WithFlags methods", {}, u"Reboot(false)"_s },
        { "systemd 248 to 256: no flag to pass a blocking inhibitor", invalidFlags,
            u"RebootWithFlags(16); RebootWithFlags(0)"_s },
        { "systemd 257 on", u"pass"_s, u"RebootWithFlags(16)"_s },
    };
    for (const LogindVersion &version : versions) {
        SCOPED_TRACE(version.name);
        LogindMock mock;
        ASSERT_EQ(mock.start(true), QString());
        if (!version.rebootWithFlags.isEmpty())
            mock.addMethod(u"RebootWithFlags"_s, u"t"_s, version.rebootWithFlags);
        Station site;
        const QStringList messages = runThroughTheRestartMinute(site, mock);
        EXPECT_EQ(mock.calls().toStdString(), version.expectedCalls.toStdString());
        EXPECT_EQ(site.errorBlocks(u"ShutdownWindows"_s), 0) << site.env.readErr().toStdString();
        EXPECT_EQ(site.activityRows(u"自動重開機"_s), 0);
        EXPECT_TRUE(messages.isEmpty());
        EXPECT_TRUE(QFile::exists(site.env.path(u"LOG/KPS20261208.TXT"_s)))
            << "the day's list is saved first";
    }
}

struct Refusal {
    const char *name;
    bool logind; // logind's stand-in is on the bus
    QString method; // the method the stand-in refuses with `error`
    QString error;
    QString expectedCalls;
};

TEST_F(LogindRestartTest, ARefusalIsReportedOnceForTheMinute)
{
    const auto raising = [](const QString &name) {
        return u"raise dbus.exceptions.DBusException(\"refused\", name=\"%1\")"_s.arg(name);
    };
    const Refusal refusals[] = {
        // What logind answers a caller whom polkit does not allow, when it may not ask a password.
        { "polkit says no", true, u"Reboot"_s,
            u"org.freedesktop.DBus.Error.InteractiveAuthorizationRequired"_s, u"Reboot(false)"_s },
        { "access denied", true, u"RebootWithFlags"_s, u"org.freedesktop.DBus.Error.AccessDenied"_s,
            u"RebootWithFlags(16)"_s },
        { "no logind on the bus", false, {}, u"org.freedesktop.DBus.Error.ServiceUnknown"_s, {} },
    };
    for (const Refusal &refusal : refusals) {
        SCOPED_TRACE(refusal.name);
        LogindMock mock;
        ASSERT_EQ(mock.start(refusal.logind), QString());
        if (!refusal.method.isEmpty())
            mock.addMethod(
                refusal.method, refusal.method == u"Reboot"_s ? u"b"_s : u"t"_s, raising(refusal.error));
        Station site;
        const QStringList messages = runThroughTheRestartMinute(site, mock);
        if (refusal.logind) {
            EXPECT_EQ(mock.calls().toStdString(), refusal.expectedCalls.toStdString())
                << "asked once in the minute";
        }
        EXPECT_EQ(site.errorBlocks(u"ShutdownWindows"_s), 1) << site.env.readErr().toStdString();
        EXPECT_TRUE(site.env.readErr().contains(refusal.error)) << "the system's reason is in the error log";
        EXPECT_EQ(site.activityRows(u"自動重開機"_s), 1);
        ASSERT_EQ(messages.size(), 1) << messages.join(u" | "_s).toStdString();
        EXPECT_TRUE(messages[0].startsWith(u"自動重開機失敗"_s)) << messages[0].toStdString();
        EXPECT_FALSE(site.service->ended()) << "the service goes on listing";
    }
}

// Plays systemd's side of the notification socket: binds the address NOTIFY_SOCKET names ("@..."
// in the abstract namespace, else a path) and reads the datagrams that arrive.
class NotifySocket {
public:
    explicit NotifySocket(const QString &address)
        : m_address(address.toUtf8())
    {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un name {};
        name.sun_family = AF_UNIX;
        std::memcpy(name.sun_path, m_address.constData(), size_t(m_address.size()));
        if (name.sun_path[0] == '@')
            name.sun_path[0] = '\0';
        const auto length = socklen_t(offsetof(sockaddr_un, sun_path) + size_t(m_address.size()));
        EXPECT_EQ(::bind(m_fd, reinterpret_cast<const sockaddr *>(&name), length), 0) << std::strerror(errno);
        qputenv("NOTIFY_SOCKET", m_address);
    }
    ~NotifySocket()
    {
        ::close(m_fd);
        qunsetenv("NOTIFY_SOCKET");
        qunsetenv("WATCHDOG_USEC");
        qunsetenv("WATCHDOG_PID");
    }
    // What arrived since the last read, one message per datagram.
    QList<QByteArray> read()
    {
        QList<QByteArray> messages;
        char buffer[4096];
        for (ssize_t n; (n = ::recv(m_fd, buffer, sizeof buffer, 0)) >= 0;)
            messages << QByteArray(buffer, n);
        return messages;
    }

private:
    QByteArray m_address;
    int m_fd = -1;
};

TEST(SystemdNotify, ReadyStatusAndKeepAliveReachTheSocket)
{
    QTemporaryDir folder;
    const QString addresses[] = { u"@tavo-notify-%1"_s.arg(::getpid()), folder.filePath(u"notify"_s) };
    for (const QString &address : addresses) {
        SCOPED_TRACE(address.toStdString());
        NotifySocket systemd(address);
        qputenv("WATCHDOG_USEC", "200000");
        Station site;
        site.pos->insert(1);
        site.pos->insert(2);
        KitchenService &s = site.load();
        core::superviseBySystemd(s);
        ASSERT_TRUE(s.start());
        site.pos->insert(3);
        site.tick(int(s.cycleTime()));
        const QString scanTime = site.env.clock.now().toString(u"yyyy/MM/dd hh:mm:ss"_s);
        // Read as the manager does, while they come: the socket's queue holds only a few.
        QList<QByteArray> messages;
        runEventsFor(650, [&] {
            messages += systemd.read();
            return false;
        });
        messages += systemd.read();
        ASSERT_FALSE(messages.isEmpty());
        EXPECT_EQ(messages.first(), "READY=1") << "ready once loaded";
        EXPECT_TRUE(
            messages.contains("STATUS=等待自動啟動; 上次檢查 2026/12/08 03:04:30, 新增 2 筆, 清單共 2 筆"_ba))
            << "the first listing, before the start";
        const QByteArray scanned
            = u"STATUS=監控送廚出口 PK; 上次檢查 %1, 新增 1 筆, 清單共 3 筆"_s.arg(scanTime).toUtf8();
        EXPECT_TRUE(messages.contains(scanned)) << QByteArray(messages.join('\n')).toStdString();
        EXPECT_GE(messages.count("WATCHDOG=1"), 3) << "every 100 ms while the event loop turns";
        EXPECT_EQ(messages.count(scanned), 1) << "a status is told when it changes";

        s.end(u"cmdExit_Click"_s, site.env.clock.now());
        EXPECT_EQ(systemd.read(), QList<QByteArray> { "STOPPING=1" });
    }
}

TEST(SystemdNotify, TheWatchdogIsFedOnlyWhenItIsOurs)
{
    QTemporaryDir folder;
    NotifySocket systemd(folder.filePath(u"notify"_s));
    qputenv("WATCHDOG_USEC", "200000");
    {
        // Before READY=1 the start-up (an operator's box, say) only extends the start timeout.
        platform::SystemdNotifier notifier;
        EXPECT_EQ(notifier.keepAliveMs(), 100);
        runEventsFor(350);
        const QList<QByteArray> starting = systemd.read();
        EXPECT_GE(starting.size(), 2);
        EXPECT_EQ(starting.count("EXTEND_TIMEOUT_USEC=200000"), starting.size());
        notifier.ready();
        runEventsFor(350);
        const QList<QByteArray> running = systemd.read();
        ASSERT_GE(running.size(), 2);
        EXPECT_EQ(running.first(), "READY=1");
        EXPECT_EQ(running.count("WATCHDOG=1"), running.size() - 1);
    }
    // A watchdog set for another process (the one that started us) is left alone.
    qputenv("WATCHDOG_PID", QByteArray::number(::getppid()));
    platform::SystemdNotifier notifier;
    EXPECT_EQ(notifier.keepAliveMs(), 0);
    notifier.ready();
    runEventsFor(250);
    EXPECT_EQ(systemd.read(), QList<QByteArray> { "READY=1" });
}

TEST(SystemdNotify, AManagerThatDoesNotReadNeverStopsTheEventLoop)
{
    QTemporaryDir folder;
    NotifySocket systemd(folder.filePath(u"notify"_s));
    qputenv("WATCHDOG_USEC", "20000");
    platform::SystemdNotifier notifier;
    notifier.ready();
    // A keep-alive every 10 ms into a queue of a few datagrams nobody reads.
    int turns = 0;
    QElapsedTimer clock;
    clock.start();
    runEventsFor(400, [&] {
        ++turns;
        return false;
    });
    EXPECT_LT(clock.elapsed(), 2000) << "a send waited for the reader";
    EXPECT_GT(turns, 20);
    const QList<QByteArray> queued = systemd.read();
    ASSERT_FALSE(queued.isEmpty());
    EXPECT_EQ(queued.first(), "READY=1");
    runEventsFor(100);
    EXPECT_FALSE(systemd.read().isEmpty()) << "once read again, the keep-alives arrive";
}

} // namespace
