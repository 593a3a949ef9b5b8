// The kitchen display's front against the LAN: real sockets from other loopback addresses
// (127.0.0.2 and up stand in for the kitchen's network) against the display's own port.
#include "db/connection.h"
#include "kds/httpfront.h"
#include "kds/kitchendisplay.h"
#include "platform/echo.h"
#include "util/globals.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QWebSocket>
#include <QtEndian>
#include <gtest/gtest.h>

#include <memory>

using namespace Qt::StringLiterals;
using namespace tavo::kds;

namespace {

const QString kPin = u"135790"_s;

QHostAddress loopback(int last)
{
    return QHostAddress(u"127.0.0.%1"_s.arg(last));
}

// The front's limits with timeouts short enough for a test.
HttpLimits testLimits()
{
    HttpLimits limits;
    limits.requestTimeout = std::chrono::milliseconds(300);
    limits.idleTimeout = std::chrono::milliseconds(400);
    limits.maxPerAddress = 4;
    limits.maxConnections = 40;
    return limits;
}

struct Station {
    explicit Station(KdsSettings settings = {}, HttpLimits limits = testLimits())
        : display(cn, std::move(settings), dir.path(), limits)
    {
        tavo::platform::setEchoEnabled(false);
        tavo::g().gLogFile = dir.filePath(u"TavoKPortSrv.LOG"_s);
    }
    ~Station() { tavo::g().gLogFile = m_previousLog; }
    quint16 port() const { return quint16(display.url().port()); }
    QByteArray host() const { return display.url().authority().toUtf8(); }
    QByteArray log() const
    {
        QFile file(tavo::g().gLogFile);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QString m_previousLog = tavo::g().gLogFile;
    QTemporaryDir dir;
    tavo::db::Connection cn;
    KitchenDisplay display;
};

// A client connected from its own loopback address, keeping all it hears.
struct Client {
    Client(const QHostAddress &from, quint16 port,
        std::unique_ptr<QTcpSocket> s = std::make_unique<QTcpSocket>(), const QString &to = u"127.0.0.1"_s)
        : socket(std::move(s))
    {
        QObject::connect(socket.get(), &QTcpSocket::readyRead, [this] { received += socket->readAll(); });
        QObject::connect(socket.get(), &QTcpSocket::stateChanged, [this](QAbstractSocket::SocketState state) {
            if (state == QAbstractSocket::UnconnectedState)
                closed = true;
        });
        socket->bind(from);
        if (auto *tls = qobject_cast<QSslSocket *>(socket.get())) {
            tls->setPeerVerifyMode(QSslSocket::VerifyNone);
            tls->connectToHostEncrypted(to, port);
        } else {
            socket->connectToHost(to, port);
        }
    }
    int status() const { return received.startsWith("HTTP/1.1 ") ? received.mid(9, 3).toInt() : 0; }
    bool answered() const { return received.contains("\r\n\r\n"); }
    bool waitClosed(int ms = 3000)
    {
        return QTest::qWaitFor([this] { return closed; }, ms);
    }

    std::unique_ptr<QTcpSocket> socket;
    QByteArray received;
    bool closed = false;
};

// One request, answered.
int request(Station &d, const QHostAddress &from, const QByteArray &head, const QByteArray &body = {},
    QByteArray *answer = nullptr)
{
    Client c(from, d.port());
    c.socket->write(head + "Host: " + d.host() + "\r\nContent-Length: " + QByteArray::number(body.size())
        + "\r\n\r\n" + body);
    (void)QTest::qWaitFor([&] { return c.answered() || c.closed; }, 3000);
    (void)QTest::qWaitFor([&] { return c.received.size() > c.received.indexOf("\r\n\r\n") + 4; }, 200);
    if (answer)
        *answer = c.received;
    return c.status();
}

QByteArray frame(quint8 firstByte, const QByteArray &payload, bool masked = true, quint64 announced = 0)
{
    const quint64 size = announced ? announced : quint64(payload.size());
    QByteArray out(1, char(firstByte));
    const char mask = masked ? char(0x80) : char(0);
    if (size < 126) {
        out += char(mask | char(size));
    } else if (size <= 0xFFFF) {
        out += char(mask | 126);
        char length[2];
        qToBigEndian(quint16(size), length);
        out.append(length, 2);
    } else {
        out += char(mask | 127);
        char length[8];
        qToBigEndian(size, length);
        out.append(length, 8);
    }
    const QByteArray key = "\x12\x34\x56\x78";
    if (masked)
        out += key;
    for (qsizetype i = 0; i < payload.size(); ++i)
        out += masked ? char(payload[i] ^ key[i % 4]) : payload[i];
    return out;
}

// The frames a server sent, as (opcode, payload), after the handshake's answer.
QList<QPair<int, QByteArray>> serverFrames(const QByteArray &received)
{
    QList<QPair<int, QByteArray>> frames;
    qsizetype at = received.indexOf("\r\n\r\n");
    if (at < 0)
        return frames;
    at += 4;
    while (received.size() - at >= 2) {
        const auto *b = reinterpret_cast<const uchar *>(received.constData() + at);
        quint64 length = b[1] & 0x7F;
        qsizetype header = 2;
        if (length == 126) {
            length = qFromBigEndian<quint16>(b + 2);
            header = 4;
        } else if (length == 127) {
            length = qFromBigEndian<quint64>(b + 2);
            header = 10;
        }
        if (quint64(received.size() - at) < header + length)
            break;
        frames.append({ b[0] & 0x0F, received.mid(at + header, qsizetype(length)) });
        at += header + qsizetype(length);
    }
    return frames;
}

QByteArray upgradeRequest(const Station &d, const QByteArray &cookie = {})
{
    return "GET /ws HTTP/1.1\r\nHost: " + d.host()
        + "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
          "Sec-WebSocket-Version: 13\r\n"
        + (cookie.isEmpty() ? QByteArray() : "Cookie: " + cookie + "\r\n") + "\r\n";
}

QByteArray makeCertificate(const QTemporaryDir &dir, const QString &name)
{
    const int code = QProcess::execute(u"openssl"_s,
        { u"req"_s, u"-x509"_s, u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s, u"ec_paramgen_curve:prime256v1"_s,
            u"-nodes"_s, u"-days"_s, u"2"_s, u"-subj"_s, u"/CN=127.0.0.1"_s, u"-keyout"_s,
            dir.filePath(name + u".key"_s), u"-out"_s, dir.filePath(name + u".pem"_s) });
    return code == 0 ? name.toUtf8() : QByteArray();
}

} // namespace

TEST(KdsFront, OversizedRequestsAreRefusedBeforeTheyAreRead)
{
    Station d;
    ASSERT_TRUE(d.display.start()) << d.display.error().toStdString();
    const QByteArray host = "Host: " + d.host() + "\r\n";
    struct Row {
        const char *what;
        QByteArray start;
        QByteArray repeated; // sent over and over after the start, as long as the server reads
        int status;
    } rows[] = {
        { "a request line of megabytes", "GET /", "aaaaaaaaaaaaaaaa", 431 },
        { "headers by the thousand", "GET / HTTP/1.1\r\n" + host, "X-Filler: 1\r\n", 431 },
        { "a login body of 300 MB", "POST /login HTTP/1.1\r\n" + host + "Content-Length: 300000000\r\n\r\n",
            "pin=0000&", 413 },
        { "a body sent in chunks", "POST /login HTTP/1.1\r\n" + host + "Transfer-Encoding: chunked\r\n\r\n",
            "1000\r\n", 411 },
    };
    for (const Row &row : rows) {
        Client c(loopback(2), d.port());
        c.socket->write(row.start);
        const QByteArray chunk = row.repeated.repeated(64 * 1024 / row.repeated.size());
        qint64 sent = 0;
        // However much the client has to send, the answer comes once the limit is passed.
        (void)QTest::qWaitFor(
            [&] {
                while (!c.closed && c.socket->bytesToWrite() < 256 * 1024 && sent < 300'000'000) {
                    c.socket->write(chunk);
                    sent += chunk.size();
                }
                return c.closed;
            },
            5000);
        EXPECT_EQ(c.status(), row.status) << row.what << ": " << c.received.left(80).toStdString();
        EXPECT_TRUE(c.closed) << row.what;
        EXPECT_LT(sent, 8 * 1024 * 1024) << row.what << ": the server read on";
    }
    EXPECT_EQ(request(d, loopback(3), "GET /kds.css HTTP/1.1\r\n"), 200) << "the display serves on";
}

TEST(KdsFront, SlowAndIdleConnectionsAreClosedInTime)
{
    Station d;
    ASSERT_TRUE(d.display.start()) << d.display.error().toStdString();
    const QByteArray host = "Host: " + d.host() + "\r\n";
    struct Row {
        const char *what;
        QByteArray sent;
        bool drip; // one more byte every 50 ms: a deadline counts from the first byte, not the last
        int status;
    } rows[] = {
        { "a connection that says nothing", {}, false, 0 },
        { "a head that never ends", "GET / HTTP/1.1\r\n" + host + "X-Slow: ", false, 408 },
        { "a head dripping in", "GET / HTTP/1.1\r\n" + host + "X-Slow: ", true, 408 },
        { "a body that never comes",
            "POST /login HTTP/1.1\r\n" + host + "Content-Length: 100\r\n\r\npin=", false, 408 },
        { "a connection kept alive after its answer", "GET /kds.css HTTP/1.1\r\n" + host + "\r\n", false,
            200 },
    };
    for (const Row &row : rows) {
        Client c(loopback(4), d.port());
        c.socket->write(row.sent);
        QElapsedTimer t;
        t.start();
        QTimer drip;
        QObject::connect(&drip, &QTimer::timeout, [&] { c.socket->write("x"); });
        if (row.drip)
            drip.start(50);
        EXPECT_TRUE(c.waitClosed()) << row.what;
        EXPECT_EQ(c.status(), row.status) << row.what;
        EXPECT_GE(t.elapsed(), 250) << row.what;
        EXPECT_LT(t.elapsed(), 2000) << row.what;
    }
}

TEST(KdsFront, OneAddressHoldsOnlyAFewConnectionsAndAFloodLeavesPagesServed)
{
    // Timeouts long enough that only the caps close the flood's connections.
    HttpLimits limits = testLimits();
    limits.requestTimeout = std::chrono::milliseconds(20'000);
    Station d({}, limits);
    d.display.setHeartbeatInterval(std::chrono::milliseconds(50));
    ASSERT_TRUE(d.display.start()) << d.display.error().toStdString();

    // Past its cap an address's connections are closed at once; another address is served.
    std::vector<std::unique_ptr<Client>> held;
    for (int i = 0; i < 7; ++i)
        held.push_back(std::make_unique<Client>(loopback(5), d.port()));
    QTest::qWait(300);
    const auto open = [](const std::vector<std::unique_ptr<Client>> &clients) {
        return std::count_if(clients.begin(), clients.end(), [](const auto &c) { return !c->closed; });
    };
    EXPECT_EQ(open(held), 4);
    EXPECT_EQ(request(d, loopback(6), "GET /kds.css HTTP/1.1\r\n"), 200);
    held.clear();

    // A page on its WebSocket through a flood of idle connections from 50 addresses, over what
    // the display holds: it keeps hearing from the service, and a new tablet is served.
    QWebSocket page;
    int heard = 0;
    QObject::connect(&page, &QWebSocket::binaryMessageReceived, [&] { ++heard; });
    QUrl ws = d.display.url();
    ws.setScheme(u"ws"_s);
    ws.setPath(u"/ws"_s);
    page.open(ws);
    ASSERT_TRUE(QTest::qWaitFor([&] { return heard >= 2; }, 3000));
    std::vector<std::unique_ptr<Client>> flood;
    for (int i = 0; i < 150; ++i)
        flood.push_back(std::make_unique<Client>(loopback(10 + i % 50), d.port()));
    const int before = heard;
    EXPECT_EQ(request(d, loopback(61), "GET /kds.css HTTP/1.1\r\n"), 200) << "a new tablet";
    EXPECT_TRUE(QTest::qWaitFor([&] { return heard >= before + 3; }, 2000)) << "the page hears the service";
    // Those the display took beyond what it holds were closed, the oldest first.
    EXPECT_TRUE(QTest::qWaitFor([&] { return open(flood) <= 40; }, 5000)) << open(flood);
    EXPECT_TRUE(flood.front()->closed);
    EXPECT_FALSE(flood.back()->closed);
    EXPECT_EQ(page.state(), QAbstractSocket::ConnectedState);
}

TEST(KdsFront, PinGuessesFromManyAddressesMeetOneLimitAndAreLogged)
{
    KdsSettings settings;
    settings.pin = kPin;
    Station d(settings);
    ASSERT_TRUE(d.display.start()) << d.display.error().toStdString();
    QMap<int, int> statuses;
    // 100 guesses from 50 addresses, two each.
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < 50; ++i)
            ++statuses[request(
                d, loopback(10 + i), "POST /login HTTP/1.1\r\n", "pin=" + QByteArray::number(100000 + i))];
    EXPECT_EQ(statuses.value(401), 20) << "wrong PINs weighed before everyone waits";
    EXPECT_EQ(statuses.value(429), 80);
    QByteArray answer;
    EXPECT_EQ(request(d, loopback(70), "POST /login HTTP/1.1\r\n", "pin=" + kPin.toUtf8(), &answer), 429)
        << "even the right PIN from a new address waits";
    EXPECT_TRUE(answer.contains("Retry-After: ")) << answer.toStdString();

    const QByteArray log = d.log();
    EXPECT_TRUE(log.contains("127.0.0.10\r\n")) << log.left(300).toStdString();
    EXPECT_TRUE(log.contains("127.0.0.29\r\n"));
    EXPECT_EQ(log.count("127.0.0."), 20) << "one line per PIN weighed";
}

TEST(KdsFront, WebSocketFramesOutsideTheRulesCloseThePage)
{
    Station d;
    ASSERT_TRUE(d.display.start()) << d.display.error().toStdString();
    const auto code = [](quint16 c) {
        QByteArray out(2, Qt::Uninitialized);
        qToBigEndian(c, out.data());
        return out;
    };
    struct Row {
        const char *what;
        QByteArray sent;
        int opcode; // of the server's last frame
        QByteArray payload;
    } rows[] = {
        { "a ping is answered", frame(0x89, "hi"), 10, "hi" },
        { "an unmasked frame", frame(0x82, "{}", false), 8, code(1002) },
        { "a reserved bit", frame(0xC2, "{}"), 8, code(1002) },
        { "an unknown opcode", frame(0x83, "{}"), 8, code(1002) },
        { "a continuation with nothing to continue", frame(0x80, "{}"), 8, code(1002) },
        { "200 MB announced", frame(0x82, QByteArray(1000, 'x'), true, 200'000'000), 8, code(1009) },
        { "fragments over the cap",
            frame(0x02, QByteArray(40'000, 'x')) + frame(0x80, QByteArray(40'000, 'x')), 8, code(1009) },
        { "text that is not UTF-8", frame(0x81, "\xff\xfe"), 8, code(1007) },
        { "a close is returned", frame(0x88, code(1000)), 8, code(1000) },
    };
    for (const Row &row : rows) {
        Client c(loopback(7), d.port());
        c.socket->write(upgradeRequest(d));
        ASSERT_TRUE(QTest::qWaitFor([&] { return serverFrames(c.received).size() >= 2; }, 3000)) << row.what;
        EXPECT_TRUE(c.received.startsWith("HTTP/1.1 101 ")) << row.what;
        const qsizetype board = serverFrames(c.received).size();
        c.socket->write(row.sent);
        (void)QTest::qWaitFor([&] { return serverFrames(c.received).size() > board; }, 3000);
        const auto frames = serverFrames(c.received);
        ASSERT_GT(frames.size(), board) << row.what;
        EXPECT_EQ(frames.last().first, row.opcode) << row.what;
        EXPECT_EQ(frames.last().second, row.payload) << row.what;
        if (row.opcode == 8) {
            EXPECT_TRUE(c.waitClosed()) << row.what;
        }
    }
}

TEST(KdsFront, TheAddressPrintedIsTheAddressThatAnswers)
{
    struct Row {
        QString address;
        QString pin;
        bool starts;
        QString host; // of the address printed
    } rows[] = {
        { u"127.0.0.2"_s, {}, true, u"127.0.0.2"_s },
        { u"localhost"_s, {}, true, u"127.0.0.1"_s },
        { u"127.0.0.1"_s, {}, true, u"127.0.0.1"_s },
        { u"0.0.0.0"_s, {}, false, {} },
        { u"0.0.0.0"_s, u"24680"_s, false, {} }, // too short off loopback
        { u"no-such-host.invalid"_s, {}, false, {} },
    };
    for (const Row &row : rows) {
        KdsSettings settings;
        settings.address = row.address;
        settings.pin = row.pin;
        Station d(settings);
        ASSERT_EQ(d.display.start(), row.starts) << row.address.toStdString();
        if (!row.starts) {
            EXPECT_FALSE(d.display.error().isEmpty());
            continue;
        }
        const QUrl url = d.display.url();
        EXPECT_EQ(url.host(), row.host);
        Client c(loopback(8), d.port(), std::make_unique<QTcpSocket>(), url.host());
        c.socket->write("GET / HTTP/1.1\r\nHost: " + url.authority().toUtf8() + "\r\n\r\n");
        (void)QTest::qWaitFor([&] { return c.answered(); }, 3000);
        EXPECT_EQ(c.status(), 200) << row.address.toStdString();
    }
}

TEST(KdsFront, HttpsServesOnlyTlsAndItsCookieIsSecure)
{
    QTemporaryDir certs;
    ASSERT_FALSE(makeCertificate(certs, u"a"_s).isEmpty()) << "openssl makes a certificate";
    ASSERT_FALSE(makeCertificate(certs, u"b"_s).isEmpty());
    KdsSettings settings;
    settings.pin = kPin;
    settings.certificate = certs.filePath(u"a.pem"_s);
    settings.privateKey = certs.filePath(u"a.key"_s);
    Station d(settings);
    ASSERT_TRUE(d.display.start()) << d.display.error().toStdString();
    EXPECT_EQ(d.display.url().scheme(), u"https"_s);
    EXPECT_FALSE(d.display.pinInClear());

    Client tls(loopback(9), d.port(), std::make_unique<QSslSocket>());
    tls.socket->write(
        "POST /login HTTP/1.1\r\nHost: " + d.host() + "\r\nContent-Length: 10\r\n\r\npin=" + kPin.toUtf8());
    ASSERT_TRUE(QTest::qWaitFor([&] { return tls.answered(); }, 5000))
        << tls.socket->errorString().toStdString();
    EXPECT_EQ(tls.status(), 303);
    EXPECT_TRUE(tls.received.contains("; Secure\r\n")) << tls.received.toStdString();

    Client plain(loopback(9), d.port());
    plain.socket->write("GET / HTTP/1.1\r\nHost: " + d.host() + "\r\n\r\n");
    EXPECT_TRUE(plain.waitClosed());
    EXPECT_FALSE(plain.received.contains("HTTP/1.1")) << "nothing answered in clear text";

    struct Row {
        QString certificate, key;
    } bad[] = {
        { certs.filePath(u"a.pem"_s), certs.filePath(u"b.key"_s) }, // not each other's
        { certs.filePath(u"a.pem"_s), certs.filePath(u"missing.key"_s) },
        { certs.filePath(u"a.key"_s), certs.filePath(u"a.key"_s) },
        { certs.filePath(u"a.pem"_s), {} },
    };
    for (const Row &row : bad) {
        settings.certificate = row.certificate;
        settings.privateKey = row.key;
        Station refused(settings);
        EXPECT_FALSE(refused.display.start()) << row.key.toStdString();
        EXPECT_TRUE(refused.display.error().contains(u"HTTPS"_s)) << refused.display.error().toStdString();
    }
}

TEST(KdsFront, SigningOutEveryDeviceClosesTheirPages)
{
    KdsSettings settings;
    settings.pin = kPin;
    Station d(settings);
    d.display.setHeartbeatInterval(std::chrono::milliseconds(50));
    ASSERT_TRUE(d.display.start()) << d.display.error().toStdString();
    const auto signIn = [&] {
        QByteArray answer;
        request(d, loopback(11), "POST /login HTTP/1.1\r\n", "pin=" + kPin.toUtf8(), &answer);
        const qsizetype at = answer.indexOf("tavo_kds=");
        return answer.mid(at, answer.indexOf(';', at) - at);
    };
    const std::function<void()> signOuts[] = {
        [&] { d.display.signOutEveryDevice(); },
        [&] {
            QString error;
            EXPECT_TRUE(signOutEveryDevice(d.dir.path(), &error)) << error.toStdString();
        },
    };
    for (const auto &signOut : signOuts) {
        const QByteArray cookie = signIn();
        ASSERT_FALSE(cookie.isEmpty());
        EXPECT_EQ(request(d, loopback(11), "GET / HTTP/1.1\r\nCookie: " + cookie + "\r\n"), 200);
        Client page(loopback(11), d.port());
        page.socket->write(upgradeRequest(d, cookie));
        ASSERT_TRUE(QTest::qWaitFor([&] { return serverFrames(page.received).size() >= 2; }, 3000));
        signOut();
        EXPECT_TRUE(page.waitClosed());
        EXPECT_EQ(serverFrames(page.received).last().second, QByteArray("\x03\xf0", 2)) << "closed with 1008";
        EXPECT_EQ(request(d, loopback(11), "GET / HTTP/1.1\r\nCookie: " + cookie + "\r\n"), 401);
    }
}
