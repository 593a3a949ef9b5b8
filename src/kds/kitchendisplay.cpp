#include "kds/kitchendisplay.h"

#include "db/site.h"
#include "kds/httpfront.h"
#include "kds/kdsstore.h"
#include "kds/pingate.h"
#include "kds/websocketlink.h"
#include "platform/services.h"
#include "util/report.h"

#include <QDir>
#include <QFile>
#include <QHostInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QUrlQuery>

using namespace Qt::StringLiterals;

namespace tavo::kds {

namespace {

// Only the page's own files run: no inline script, no other origin, no frames around it.
const QByteArray kSecurityPolicy = "default-src 'none'; script-src 'self'; style-src 'self'; "
                                   "connect-src 'self'; img-src 'self'; base-uri 'none'; "
                                   "form-action 'self'; frame-ancestors 'none'";
const QByteArray kCookie = "tavo_kds";
constexpr int kCookieDays = 400;
// Well inside the silence after which a page shows itself lost.
constexpr std::chrono::seconds kHeartbeatInterval(3);
// Off loopback a PIN this short is found by a patient guesser even at the pace the door allows.
constexpr int kMinNetworkPinLength = 6;

QDateTime now()
{
    return platform::services().clock->now();
}

QByteArray resource(const QString &name)
{
    QFile file(u":/kds/"_s + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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

HttpResponse reply(int status, const QByteArray &type, const QByteArray &body, HttpHeaders extra = {})
{
    extra.prepend({ "Content-Type", type });
    return HttpResponse { status, std::move(extra), body };
}

HttpResponse plain(int status, const QByteArray &text)
{
    return reply(status, "text/plain; charset=utf-8", text);
}

QByteArray loginPage(const QString &message)
{
    return resource(u"login.html"_s).replace("{{MESSAGE}}", message.toHtmlEscaped().toUtf8());
}

QString titleOf(const QString &port)
{
    return u"廚房看板 - "_s + port;
}

// The address the settings name: a literal, or a name such as localhost looked up once at start.
QHostAddress resolve(const QString &name)
{
    if (const QHostAddress literal(name); !literal.isNull())
        return literal;
    if (name.compare(u"localhost"_s, Qt::CaseInsensitive) == 0)
        return QHostAddress(QHostAddress::LocalHost);
    const QList<QHostAddress> found = QHostInfo::fromName(name).addresses();
    for (const QHostAddress &address : found)
        if (address.protocol() == QAbstractSocket::IPv4Protocol)
            return address;
    return found.value(0);
}

bool isAny(const QHostAddress &address)
{
    return address == QHostAddress::Any || address == QHostAddress::AnyIPv4
        || address == QHostAddress::AnyIPv6;
}

QString shownAddress(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
}

} // namespace

KitchenDisplay::KitchenDisplay(
    db::Connection &cn, KdsSettings settings, const QString &siteDir, QObject *parent)
    : KitchenDisplay(cn, std::move(settings), siteDir, HttpLimits {}, parent)
{
}

KitchenDisplay::KitchenDisplay(db::Connection &cn, KdsSettings settings, const QString &siteDir,
    const HttpLimits &limits, QObject *parent)
    : QObject(parent)
    , m_cn(cn)
    , m_settings(std::move(settings))
    , m_store(std::make_unique<KdsStore>(QDir(siteDir).filePath(u"KDS.db"_s)))
    , m_gate(std::make_unique<PinGate>(m_settings.pin))
    , m_http(std::make_unique<HttpFront>(limits))
{
    if (!m_store->ok())
        WriteErrLog(tags::KitchenDisplay, ErrorInfo { kErrPathFileAccess, m_store->lastError() });
    m_store->forgetBefore(now().addDays(-KdsStore::kBumpKeepDays));
    m_http->setCommonHeaders(
        { { "Content-Security-Policy", kSecurityPolicy }, { "X-Content-Type-Options", "nosniff" },
            { "Referrer-Policy", "no-referrer" }, { "Cache-Control", "no-store" } });
    m_http->setHandler([this](const HttpRequest &request) { return handle(request); });
    connect(m_http.get(), &HttpFront::webSocketOpened, this, &KitchenDisplay::acceptWebSocket);
    m_heartbeat.setInterval(kHeartbeatInterval);
    connect(&m_heartbeat, &QTimer::timeout, this, &KitchenDisplay::sendHeartbeat);
    m_paceClock.setInterval(std::chrono::minutes(1));
    connect(&m_paceClock, &QTimer::timeout, this, [this] {
        updatePace();
        rebuild();
    });
    rebuild();
}

KitchenDisplay::~KitchenDisplay()
{
    for (WebSocketLink *client : std::as_const(m_clients)) {
        client->disconnect(this);
        delete client;
    }
}

bool KitchenDisplay::start()
{
    m_address = resolve(m_settings.address);
    if (m_address.isNull()) {
        m_error = u"廚房看板位址無效: "_s + m_settings.address;
        return false;
    }
    if (!m_address.isLoopback() && !m_gate->required()) {
        m_error = u"廚房看板不在本機位址 "_s + m_settings.address + u" 上時須設定 PIN"_s;
        return false;
    }
    if (!m_address.isLoopback() && m_settings.pin.size() < kMinNetworkPinLength) {
        m_error = u"廚房看板不在本機位址 "_s + m_settings.address
            + u" 上時, PIN 至少須 %1 位數"_s.arg(kMinNetworkPinLength);
        return false;
    }
    if (!m_settings.certificate.isEmpty() || !m_settings.privateKey.isEmpty()) {
        if (m_settings.certificate.isEmpty() || m_settings.privateKey.isEmpty()) {
            m_error = u"廚房看板的 HTTPS 須同時設定 CERT 與 KEY"_s;
            return false;
        }
        QString why;
        if (!m_http->useTls(m_settings.certificate, m_settings.privateKey, &why)) {
            m_error = u"廚房看板無法使用 HTTPS: "_s + why;
            return false;
        }
    }
    m_listening = m_http->listen(m_address, m_settings.port);
    if (m_listening == 0) {
        m_error = u"廚房看板無法在 %1:%2 上接聽: %3"_s.arg(m_settings.address)
                      .arg(m_settings.port)
                      .arg(m_http->listenError());
        return false;
    }
    m_heartbeat.start();
    m_paceClock.start();
    return true;
}

bool KitchenDisplay::encrypted() const
{
    return m_http->usesTls();
}

bool KitchenDisplay::pinInClear() const
{
    return m_gate->required() && !encrypted() && !m_address.isLoopback();
}

QUrl KitchenDisplay::url() const
{
    QUrl url;
    url.setScheme(encrypted() ? u"https"_s : u"http"_s);
    QHostAddress shown = m_address.isNull() ? resolve(m_settings.address) : m_address;
    // Listening on every address: the machine's address on the network is what a tablet opens.
    if (isAny(shown)) {
        shown = QHostAddress(QHostAddress::LocalHost);
        for (const QHostAddress &candidate : QNetworkInterface::allAddresses())
            if (!candidate.isLoopback() && candidate.protocol() == QAbstractSocket::IPv4Protocol) {
                shown = candidate;
                break;
            }
    }
    url.setHost(shownAddress(shown));
    url.setPort(m_listening ? m_listening : m_settings.port);
    url.setPath(u"/"_s);
    return url;
}

void KitchenDisplay::signOutEveryDevice()
{
    if (!m_store->forgetSessions())
        WriteErrLog(tags::KitchenDisplay_signOut, ErrorInfo { kErrPathFileAccess, m_store->lastError() });
    WriteLog(u"廚房看板: 所有裝置已登出"_s);
    closeSignedOutPages();
}

void KitchenDisplay::closeSignedOutPages()
{
    if (!m_gate->required())
        return;
    for (WebSocketLink *client : QList<WebSocketLink *>(m_clients))
        if (!m_store->hasSession(m_clientSessions.value(client), m_gate->pinHash()))
            client->close(WebSocketLink::PolicyViolation);
}

void KitchenDisplay::setPort(const QString &kport)
{
    if (kport == m_port)
        return;
    m_port = kport;
    m_rows.clear();
    updatePace();
    rebuild();
}

void KitchenDisplay::setWatchNotice(const QString &notice)
{
    if (notice == m_watchNotice)
        return;
    m_watchNotice = notice;
    const QByteArray text = watchMessage();
    for (WebSocketLink *client : std::as_const(m_clients))
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
            WriteErrLog(tags::KitchenDisplay_refresh);
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
        { m_port, m_settings.amberMinutes, m_settings.redMinutes, canRecall, m_settings.crossOffBumps, recent,
            m_pace, m_settings.slowestDishes });
    if (board == m_board)
        return;
    const QByteArray text = message(board.message(m_board.cards));
    m_board = std::move(board);
    for (WebSocketLink *client : std::as_const(m_clients))
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
    for (WebSocketLink *client : std::as_const(m_clients))
        client->sendBinaryMessage(beat);
    // A sign-out from outside the service (the command line) reaches the pages open here.
    closeSignedOutPages();
}

bool KitchenDisplay::hostAllowed(const QByteArray &host) const
{
    // Behind a PIN any name may reach the service. Without one only the loopback names and the
    // address listened on do, so a web page elsewhere cannot point a name of its own at this
    // machine and read the orders.
    if (m_gate->required())
        return true;
    const QByteArray port = ':' + QByteArray::number(m_listening);
    const QByteArray listened = url().authority().toUtf8();
    const bool defaultPort = m_listening == (encrypted() ? 443 : 80);
    for (const QByteArray &name :
        { QByteArrayLiteral("127.0.0.1"), QByteArrayLiteral("localhost"), QByteArrayLiteral("[::1]") })
        if (host.compare(name + port, Qt::CaseInsensitive) == 0
            || (defaultPort && host.compare(name, Qt::CaseInsensitive) == 0))
            return true;
    return host.compare(listened, Qt::CaseInsensitive) == 0;
}

bool KitchenDisplay::hasSession(const HttpRequest &request) const
{
    if (!m_gate->required())
        return true;
    const QByteArray token = cookieValue(request.header("Cookie"), kCookie);
    return !token.isEmpty() && m_store->hasSession(PinGate::tokenHash(token), m_gate->pinHash());
}

HttpResponse KitchenDisplay::handle(const HttpRequest &request)
{
    if (!hostAllowed(request.header("Host")))
        return plain(403, "forbidden");
    if (request.isWebSocketUpgrade())
        return acceptsWebSocket(request) ? HttpResponse::acceptWebSocket() : plain(403, "forbidden");
    const QString path = request.path;
    const bool get = request.method == "GET";

    if (path == u"/kds.css"_s && get)
        return reply(200, "text/css; charset=utf-8", resource(u"kds.css"_s));
    if (path == u"/login"_s && request.method == "POST" && m_gate->required())
        return login(request);
    if (!get)
        return plain(405, "method not allowed");
    // The door: the PIN form, and nothing of the orders.
    if (!hasSession(request))
        return reply(401, "text/html; charset=utf-8", loginPage(QString()));
    if (path == u"/"_s) {
        QByteArray page = resource(u"index.html"_s);
        page.replace("{{TITLE}}", titleOf(m_port).toHtmlEscaped().toUtf8());
        return reply(200, "text/html; charset=utf-8", page);
    }
    if (path == u"/kds.js"_s)
        return reply(200, "text/javascript; charset=utf-8", resource(u"kds.js"_s));
    if (path == u"/login"_s)
        return reply(303, "text/plain; charset=utf-8", {}, { { "Location", "/" } });
    return plain(404, "not found");
}

HttpResponse KitchenDisplay::login(const HttpRequest &request)
{
    const QUrlQuery form(QString::fromUtf8(request.body));
    const QString pin = form.queryItemValue(u"pin"_s, QUrl::FullyDecoded);
    const QString from = shownAddress(request.remoteAddress);
    const PinGate::Verdict verdict = m_gate->check(request.remoteAddress, pin, now());
    if (const bool everyoneWaits = m_gate->everyoneWaits(now()); everyoneWaits != m_everyoneWaitsLogged) {
        m_everyoneWaitsLogged = everyoneWaits;
        if (everyoneWaits)
            WriteLog(u"廚房看板: 10 分鐘內 PIN 錯誤已達 20 次, 所有登入須等候"_s);
    }
    switch (verdict) {
    case PinGate::Verdict::Accepted: {
        WriteLog(u"廚房看板登入成功: "_s + from);
        const QByteArray token = PinGate::newToken();
        m_store->addSession(PinGate::tokenHash(token), m_gate->pinHash(), now());
        return reply(303, "text/plain; charset=utf-8", {},
            { { "Location", "/" },
                { "Set-Cookie",
                    kCookie + '=' + token + "; Path=/; HttpOnly; SameSite=Strict; Max-Age="
                        + QByteArray::number(kCookieDays * 86400) + (encrypted() ? "; Secure" : "") } });
    }
    case PinGate::Verdict::Wrong:
        WriteLog(u"廚房看板登入失敗 (PIN 錯誤): "_s + from);
        return reply(401, "text/html; charset=utf-8", loginPage(u"PIN 錯誤，請重新輸入"_s));
    case PinGate::Verdict::TooSoon:
        break;
    }
    const int wait = m_gate->waitSeconds(request.remoteAddress, now());
    return reply(429, "text/html; charset=utf-8", loginPage(u"嘗試次數過多，請 %1 秒後再試"_s.arg(wait)),
        { { "Retry-After", QByteArray::number(wait) } });
}

bool KitchenDisplay::acceptsWebSocket(const HttpRequest &request) const
{
    // A page of another site open in the kitchen's browser carries no cookie of ours (strict
    // same-site) and names itself in Origin: neither gets the orders.
    const QByteArray origin = request.header("Origin");
    const bool sameOrigin = origin.isEmpty()
        || QUrl(QString::fromLatin1(origin))
                .authority()
                .compare(QString::fromLatin1(request.header("Host")), Qt::CaseInsensitive)
            == 0;
    return request.path == u"/ws"_s && sameOrigin && hasSession(request);
}

void KitchenDisplay::acceptWebSocket(WebSocketLink *client, const HttpRequest &request)
{
    client->setParent(this);
    m_clients.append(client);
    m_clientSessions.insert(client, PinGate::tokenHash(cookieValue(request.header("Cookie"), kCookie)));
    connect(client, &WebSocketLink::binaryMessageReceived, this,
        [this, client](const QByteArray &message) { onMessage(client, message); });
    connect(client, &WebSocketLink::textMessageReceived, this,
        [this, client](const QString &message) { onMessage(client, message.toUtf8()); });
    connect(client, &WebSocketLink::disconnected, this, [this, client] {
        m_clients.removeOne(client);
        m_clientSessions.remove(client);
        client->deleteLater();
    });
    client->sendBinaryMessage(message(m_board.message()));
    client->sendBinaryMessage(watchMessage());
}

void KitchenDisplay::onMessage(WebSocketLink *client, const QByteArray &message)
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
                recordDone(card, std::min(upTo, card.upTo));
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
    updatePace();
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
            recordDone(card, card.upTo, item.rno);
            if (!m_settings.crossOffBumps)
                return;
            Card made = card;
            for (CardItem &i : made.items)
                if (i.rno == item.rno)
                    i.crossedOff = true;
            if (allCrossedOff(made)) {
                m_store->bump(m_port, card.orderPID, card.upTo, now());
                recordDone(card, card.upTo);
            }
            return;
        }
}

void KitchenDisplay::recordDone(const Card &card, qint64 upTo, qint64 onlyRNo)
{
    QHash<qint64, QDateTime> orderedAt;
    for (const OrderRow &r : std::as_const(m_rows))
        if (r.orderPID == card.orderPID)
            orderedAt.insert(r.rno, r.orderedAt);
    // What the kitchen makes: add-ons ride on their item, returns and rush requests are not dishes.
    QList<speed::OrderedItem> items;
    for (const CardItem &item : card.items)
        if (!item.addOnRow && !item.red && item.rno <= upTo && (onlyRNo == 0 || item.rno == onlyRNo))
            items.append({ item.rno, card.orderPID, item.dish, orderedAt.value(item.rno) });
    m_store->recordDoneItems(m_port, items);
}

void KitchenDisplay::updatePace()
{
    // As the cards age: the wall clock, marked UTC; an item ordered last night and done today counts.
    const QDateTime at = now();
    const QDateTime wall(at.date(), at.time(), Qt::UTC);
    const QDateTime dayStart(wall.date(), QTime(0, 0), Qt::UTC);
    const QDateTime from = dayStart.addDays(-1);
    m_pace = speed::dayPace(m_store->doneItemsSince(m_port, from),
        m_store->bumpsSince(m_port, from).value_or(QList<speed::Bump>()),
        m_store->crossedOffSince(m_port, from), dayStart, wall, qint64(m_settings.redMinutes) * 60);
}

bool KitchenDisplay::startAndAnnounce()
{
    if (!start()) {
        WriteErrLog(tags::KitchenDisplay_start, ErrorInfo { kGenericErrorNumber, m_error });
        emit announced(m_error);
        return false;
    }
    QString line = u"廚房看板: "_s + url().toString();
    if (pinInClear())
        line += u" (未設定 CERT 與 KEY: PIN 以未加密的 HTTP 經網路傳送)"_s;
    WriteLog(line);
    emit announced(line);
    return true;
}

std::unique_ptr<KitchenDisplay> kitchenDisplayFromSettings(const Site &site, QObject *parent)
{
    KdsSettings settings = readKdsSettings(*site.services.settings);
    // The cards show what the tickets print.
    settings.menuRemarks = site.values.gKPPrintMenuRemark == u"Y"_s;
    if (!settings.enabled())
        return nullptr;
    return std::make_unique<KitchenDisplay>(site.connection, settings, site.values.gAppDir, parent);
}

bool signOutEveryDevice(const QString &siteDir, QString *error)
{
    KdsStore store(QDir(siteDir).filePath(u"KDS.db"_s));
    if (!store.ok() || !store.forgetSessions()) {
        *error = store.lastError();
        return false;
    }
    WriteLog(u"廚房看板: 所有裝置已登出"_s);
    return true;
}

} // namespace tavo::kds
