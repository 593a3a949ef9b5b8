#include "kds/kitchendisplay.h"

#include "kds/kdsstore.h"
#include "kds/pingate.h"
#include "platform/echo.h"
#include "platform/services.h"
#include "util/globals.h"
#include "util/report.h"

#include <QAbstractHttpServer>
#include <QDir>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QTcpServer>
#include <QUrlQuery>
#include <QWebSocket>

using namespace Qt::StringLiterals;

namespace tavo::kds {

namespace {

using Status = QHttpServerResponder::StatusCode;

// Only the page's own files run: no inline script, no other origin, no frames around it.
const QByteArray kSecurityPolicy = "default-src 'none'; script-src 'self'; style-src 'self'; "
                                   "connect-src 'self'; img-src 'self'; base-uri 'none'; "
                                   "form-action 'self'; frame-ancestors 'none'";
const QByteArray kCookie = "tavo_kds";
constexpr int kCookieDays = 400;
// Well inside the silence after which a page shows itself lost.
constexpr std::chrono::seconds kHeartbeatInterval(3);

QDateTime now()
{
    return platform::services().clock->now();
}

QByteArray resource(const QString &name)
{
    QFile file(u":/kds/"_s + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray header(const QList<QPair<QByteArray, QByteArray>> &headers, const QByteArray &name)
{
    for (const auto &[key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

QByteArray cookieValue(const QByteArray &cookies, const QByteArray &name)
{
    for (const QByteArray &part : cookies.split(';')) {
        const QByteArray pair = part.trimmed();
        if (pair.startsWith(name + '='))
            return pair.mid(name.size() + 1);
    }
    return {};
}

void reply(QHttpServerResponder &responder, Status status, const QByteArray &type, const QByteArray &body,
    const QList<QPair<QByteArray, QByteArray>> &extra = {})
{
    responder.writeStatusLine(status);
    responder.writeHeader("Content-Type", type);
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    responder.writeHeader("Content-Security-Policy", kSecurityPolicy);
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    responder.writeHeader("Referrer-Policy", "no-referrer");
    responder.writeHeader("Cache-Control", "no-store");
    for (const auto &[key, value] : extra)
        responder.writeHeader(key, value);
    responder.writeBody(body);
}

bool isUpgrade(const QHttpServerRequest &request)
{
    return header(request.headers(), "Upgrade").compare("websocket", Qt::CaseInsensitive) == 0;
}

QByteArray loginPage(const QString &message)
{
    return resource(u"login.html"_s).replace("{{MESSAGE}}", message.toHtmlEscaped().toUtf8());
}

QString titleOf(const QString &port)
{
    return u"廚房看板 - "_s + port;
}

} // namespace

// Qt's HTTP server without its router: every request comes to the display, which decides.
class HttpFront : public QAbstractHttpServer {
public:
    explicit HttpFront(KitchenDisplay &display)
        : m_display(display)
    {
    }

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override
    {
        // Qt's server takes an upgrade the handler accepted without writing anything to its own
        // WebSocket server; one refused here gets the answer of missingHandler.
        if (isUpgrade(request))
            return m_display.acceptsWebSocket(request);
        QHttpServerResponder responder = makeResponder(request, socket);
        m_display.handle(request, responder);
        return true;
    }
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override
    {
        QHttpServerResponder responder = makeResponder(request, socket);
        if (isUpgrade(request))
            reply(responder, Status::Forbidden, "text/plain; charset=utf-8", "forbidden");
        else
            reply(responder, Status::NotFound, "text/plain; charset=utf-8", "not found");
    }

private:
    KitchenDisplay &m_display;
};

KitchenDisplay::KitchenDisplay(
    db::Connection &cn, KdsSettings settings, const QString &siteDir, QObject *parent)
    : QObject(parent)
    , m_cn(cn)
    , m_settings(std::move(settings))
    , m_store(std::make_unique<KdsStore>(QDir(siteDir).filePath(u"KDS.db"_s)))
    , m_gate(std::make_unique<PinGate>(m_settings.pin))
    , m_http(std::make_unique<HttpFront>(*this))
{
    if (!m_store->ok())
        WriteErrLog(u"KitchenDisplay"_s, ErrorInfo { kErrPathFileAccess, m_store->lastError() });
    m_store->forgetBefore(now().addDays(-KdsStore::kBumpKeepDays));
    connect(
        m_http.get(), &QAbstractHttpServer::newWebSocketConnection, this, &KitchenDisplay::acceptWebSockets);
    m_heartbeat.setInterval(kHeartbeatInterval);
    connect(&m_heartbeat, &QTimer::timeout, this, &KitchenDisplay::sendHeartbeat);
    rebuild();
}

KitchenDisplay::~KitchenDisplay()
{
    for (QWebSocket *client : std::as_const(m_clients)) {
        client->disconnect(this);
        client->abort();
        delete client;
    }
}

bool KitchenDisplay::start()
{
    const QHostAddress address(m_settings.address);
    if (address.isNull()) {
        m_error = u"廚房看板位址無效: "_s + m_settings.address;
        return false;
    }
    if (!address.isLoopback() && !m_gate->required()) {
        m_error = u"廚房看板不在本機位址 "_s + m_settings.address + u" 上時須設定 PIN"_s;
        return false;
    }
    m_listening = m_http->listen(address, m_settings.port);
    if (m_listening == 0) {
        m_error = u"廚房看板無法在 %1:%2 上接聽"_s.arg(m_settings.address).arg(m_settings.port);
        return false;
    }
    m_heartbeat.start();
    return true;
}

QUrl KitchenDisplay::url() const
{
    QUrl url;
    url.setScheme(u"http"_s);
    const QHostAddress address(m_settings.address);
    QHostAddress shown = address;
    // Listening on every address: the machine's address on the network is what a tablet opens.
    if (address == QHostAddress::Any || address == QHostAddress::AnyIPv4
        || address == QHostAddress::AnyIPv6) {
        shown = QHostAddress(QHostAddress::LocalHost);
        for (const QHostAddress &candidate : QNetworkInterface::allAddresses())
            if (!candidate.isLoopback() && candidate.protocol() == QAbstractSocket::IPv4Protocol) {
                shown = candidate;
                break;
            }
    }
    url.setHost(shown.toString());
    url.setPort(m_listening ? m_listening : m_settings.port);
    url.setPath(u"/"_s);
    return url;
}

void KitchenDisplay::setPort(const QString &kport)
{
    if (kport == m_port)
        return;
    m_port = kport;
    m_rows.clear();
    rebuild();
}

void KitchenDisplay::setWatchNotice(const QString &notice)
{
    if (notice == m_watchNotice)
        return;
    m_watchNotice = notice;
    const QByteArray text = watchMessage();
    for (QWebSocket *client : std::as_const(m_clients))
        client->sendBinaryMessage(text);
}

bool KitchenDisplay::refresh()
{
    try {
        QList<OrderRow> rows = readOpenRows(m_cn, m_port, m_settings.menuRemarks ? &m_menuRemarks : nullptr);
        m_readFailed = false;
        // A row without a time of its own ages from when the display first showed it.
        const QDateTime seen = now();
        const QDateTime seenWall(seen.date(), seen.time(), Qt::UTC);
        QHash<qint64, QDateTime> firstSeen;
        for (OrderRow &r : rows)
            if (!r.orderedAt.isValid())
                r.orderedAt = firstSeen[r.rno] = m_firstSeen.value(r.rno, seenWall);
        m_firstSeen = std::move(firstSeen);
        // Most cycles list nothing new: the board stands as it is.
        if (rows == m_rows)
            return false;
        m_rows = std::move(rows);
    } catch (...) {
        // The service reports the database; one line here says the display stood.
        if (!m_readFailed)
            WriteErrLog(u"KitchenDisplay_refresh"_s);
        m_readFailed = true;
        return false;
    }
    rebuild();
    return true;
}

void KitchenDisplay::rebuild()
{
    const QHash<QString, qint64> bumped = m_store->bumpedUpTo(m_port);
    m_cards = buildCards(m_rows, bumped, m_store->crossedOff(m_port));
    bool canRecall = false;
    for (const OrderRow &r : std::as_const(m_rows))
        if (r.rno <= bumped.value(r.orderPID, 0)) {
            canRecall = true;
            break;
        }
    const QDateTime at = now();
    const QList<Recallable> recent = recallList(
        m_rows, m_store->bumpsBetween(m_port, at.addDays(-KdsStore::kBumpKeepDays), at.addDays(1)), at);
    BoardJson board = boardJson(m_cards,
        { m_port, m_settings.amberMinutes, m_settings.redMinutes, canRecall, m_settings.crossOffBumps,
            recent });
    if (board == m_board)
        return;
    const QByteArray text = message(board.message(m_board.cards));
    m_board = std::move(board);
    for (QWebSocket *client : std::as_const(m_clients))
        client->sendBinaryMessage(text);
}

QByteArray KitchenDisplay::message(const QByteArray &board) const
{
    // The server's clock goes with every board: ages count from it, not from the tablet's.
    return "{\"now\":" + QByteArray::number(now().toMSecsSinceEpoch()) + ",\"board\":" + board + '}';
}

QByteArray KitchenDisplay::watchMessage() const
{
    return QJsonDocument(
        QJsonObject { { u"now"_s, double(now().toMSecsSinceEpoch()) }, { u"watch"_s, m_watchNotice } })
        .toJson(QJsonDocument::Compact);
}

void KitchenDisplay::sendHeartbeat()
{
    // The server's time alone: the page's clock stays right and its silence count starts again.
    const QByteArray beat = "{\"now\":" + QByteArray::number(now().toMSecsSinceEpoch()) + '}';
    for (QWebSocket *client : std::as_const(m_clients))
        client->sendBinaryMessage(beat);
}

bool KitchenDisplay::hostAllowed(const QByteArray &host) const
{
    // Behind a PIN any name may reach the service. Without one only the loopback names do, so a
    // web page elsewhere cannot point a name of its own at this machine and read the orders.
    if (m_gate->required())
        return true;
    const QByteArray port = ':' + QByteArray::number(m_listening);
    for (const QByteArray &name :
        { QByteArrayLiteral("127.0.0.1"), QByteArrayLiteral("localhost"), QByteArrayLiteral("[::1]") })
        if (host.compare(name + port, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool KitchenDisplay::hasSession(const QList<QPair<QByteArray, QByteArray>> &headers) const
{
    if (!m_gate->required())
        return true;
    const QByteArray token = cookieValue(header(headers, "Cookie"), kCookie);
    return !token.isEmpty() && m_store->hasSession(PinGate::tokenHash(token), m_gate->pinHash());
}

void KitchenDisplay::handle(const QHttpServerRequest &request, QHttpServerResponder &responder)
{
    const auto headers = request.headers();
    if (!hostAllowed(header(headers, "Host"))) {
        reply(responder, Status::Forbidden, "text/plain; charset=utf-8", "forbidden");
        return;
    }
    const QString path = request.url().path();
    const bool get = request.method() == QHttpServerRequest::Method::Get;

    if (path == u"/kds.css"_s && get) {
        reply(responder, Status::Ok, "text/css; charset=utf-8", resource(u"kds.css"_s));
        return;
    }
    if (path == u"/login"_s && request.method() == QHttpServerRequest::Method::Post && m_gate->required()) {
        const QUrlQuery form(QString::fromUtf8(request.body()));
        const QString pin = form.queryItemValue(u"pin"_s, QUrl::FullyDecoded);
        switch (m_gate->check(request.remoteAddress(), pin, now())) {
        case PinGate::Verdict::Accepted: {
            const QByteArray token = PinGate::newToken();
            m_store->addSession(PinGate::tokenHash(token), m_gate->pinHash(), now());
            reply(responder, Status::SeeOther, "text/plain; charset=utf-8", {},
                { { "Location", "/" },
                    { "Set-Cookie",
                        kCookie + '=' + token + "; Path=/; HttpOnly; SameSite=Strict; Max-Age="
                            + QByteArray::number(kCookieDays * 86400) } });
            return;
        }
        case PinGate::Verdict::Wrong:
            reply(responder, Status::Unauthorized, "text/html; charset=utf-8",
                loginPage(u"PIN 錯誤，請重新輸入"_s));
            return;
        case PinGate::Verdict::TooSoon: {
            const int wait = m_gate->waitSeconds(request.remoteAddress(), now());
            reply(responder, Status::TooManyRequests, "text/html; charset=utf-8",
                loginPage(u"嘗試次數過多，請 %1 秒後再試"_s.arg(wait)),
                { { "Retry-After", QByteArray::number(wait) } });
            return;
        }
        }
    }
    if (!get) {
        reply(responder, Status::MethodNotAllowed, "text/plain; charset=utf-8", "method not allowed");
        return;
    }
    if (!hasSession(headers)) {
        // The door: the PIN form, and nothing of the orders.
        reply(responder, Status::Unauthorized, "text/html; charset=utf-8", loginPage(QString()));
        return;
    }
    if (path == u"/"_s) {
        QByteArray page = resource(u"index.html"_s);
        page.replace("{{TITLE}}", titleOf(m_port).toHtmlEscaped().toUtf8());
        reply(responder, Status::Ok, "text/html; charset=utf-8", page);
    } else if (path == u"/kds.js"_s) {
        reply(responder, Status::Ok, "text/javascript; charset=utf-8", resource(u"kds.js"_s));
    } else if (path == u"/login"_s) {
        reply(responder, Status::SeeOther, "text/plain; charset=utf-8", {}, { { "Location", "/" } });
    } else {
        reply(responder, Status::NotFound, "text/plain; charset=utf-8", "not found");
    }
}

bool KitchenDisplay::acceptsWebSocket(const QHttpServerRequest &request) const
{
    const auto headers = request.headers();
    // A page of another site open in the kitchen's browser carries no cookie of ours (strict
    // same-site) and names itself in Origin: neither gets the orders.
    const QByteArray origin = header(headers, "Origin");
    const bool sameOrigin = origin.isEmpty()
        || QUrl(QString::fromLatin1(origin))
                .authority()
                .compare(QString::fromLatin1(header(headers, "Host")), Qt::CaseInsensitive)
            == 0;
    return request.url().path() == u"/ws"_s && sameOrigin && hostAllowed(header(headers, "Host"))
        && hasSession(headers);
}

void KitchenDisplay::acceptWebSockets()
{
    while (m_http->hasPendingWebSocketConnections()) {
        QWebSocket *client = m_http->nextPendingWebSocketConnection().release();
        client->setParent(this);
        m_clients.append(client);
        connect(client, &QWebSocket::binaryMessageReceived, this,
            [this, client](const QByteArray &message) { onMessage(client, message); });
        connect(client, &QWebSocket::textMessageReceived, this,
            [this, client](const QString &message) { onMessage(client, message.toUtf8()); });
        connect(client, &QWebSocket::disconnected, this, [this, client] {
            m_clients.removeOne(client);
            client->deleteLater();
        });
        client->sendBinaryMessage(message(m_board.message()));
        client->sendBinaryMessage(watchMessage());
    }
}

void KitchenDisplay::onMessage(QWebSocket *client, const QByteArray &message)
{
    const QJsonObject request = QJsonDocument::fromJson(message).object();
    const QString action = request.value(u"do"_s).toString();
    if (action == u"bump"_s) {
        const QString id = request.value(u"id"_s).toString();
        // Only what the cook saw goes: rows listed since the page last drew the card stay.
        const qint64 upTo = qint64(request.value(u"upTo"_s).toDouble());
        for (const Card &card : std::as_const(m_cards))
            if (card.orderPID == id) {
                m_store->bump(m_port, id, std::min(upTo, card.upTo), now());
                break;
            }
    } else if (action == u"recall"_s) {
        // One order by its id (from the notice or the list of bumps), or else the latest bump.
        const QString id = request.value(u"id"_s).toString();
        m_store->recall(m_port, [this, &id](const QString &orderPID, qint64 upTo) {
            if (!id.isEmpty() && orderPID != id)
                return false;
            for (const OrderRow &r : std::as_const(m_rows))
                if (r.orderPID == orderPID && r.rno <= upTo)
                    return true;
            return false;
        });
    } else if (action == u"cross"_s) {
        crossOff(request.value(u"rno"_s).toDouble(), request.value(u"done"_s).toBool());
    } else {
        return;
    }
    const BoardJson before = m_board;
    rebuild();
    // Nothing changed (a card bumped twice at once): the page that asked still wants an answer.
    if (m_board == before)
        client->sendBinaryMessage(this->message(m_board.message(m_board.cards)));
}

void KitchenDisplay::crossOff(double rno, bool done)
{
    // Only an item on a card of this port: a page cannot mark rows it was never shown.
    for (const Card &card : std::as_const(m_cards))
        for (const CardItem &item : card.items) {
            if (double(item.rno) != rno)
                continue;
            if (!done) {
                m_store->uncrossOff(m_port, item.rno);
                return;
            }
            m_store->crossOff(m_port, item.rno, now());
            if (!m_settings.crossOffBumps)
                return;
            Card made = card;
            for (CardItem &i : made.items)
                if (i.rno == item.rno)
                    i.crossedOff = true;
            if (allCrossedOff(made))
                m_store->bump(m_port, card.orderPID, card.upTo, now());
            return;
        }
}

std::unique_ptr<KitchenDisplay> startKitchenDisplay(
    db::Connection &cn, const QString &siteDir, QObject *parent)
{
    KdsSettings settings = readKdsSettings(*platform::services().settings);
    // The cards show what the tickets print.
    settings.menuRemarks = g().gKPPrintMenuRemark == u"Y"_s;
    if (!settings.enabled())
        return nullptr;
    auto display = std::make_unique<KitchenDisplay>(cn, settings, siteDir, parent);
    if (!display->start()) {
        WriteErrLog(u"KitchenDisplay_start"_s, ErrorInfo { kGenericErrorNumber, display->error() });
        platform::echoLine(u"kds"_s, display->error());
        return nullptr;
    }
    const QString line = u"廚房看板: "_s + display->url().toString();
    WriteLog(line);
    platform::echoLine(u"kds"_s, line);
    return display;
}

} // namespace tavo::kds
