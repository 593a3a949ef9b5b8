#include "kds/httpfront.h"

#include "kds/websocketlink.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QUrl>

#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tavo::kds {

namespace {

// The rest of the service (database, logs, printer, settings) keeps this many files of its own.
constexpr rlim_t kFilesKeptForTheService = 64;
// After an answer that ends the connection, what the peer still sends is read away for this long
// and up to this much, so the answer is not lost to a reset; then the connection is cut.
constexpr std::chrono::milliseconds kLingerTime(1000);
constexpr qint64 kLingerBytes = 64 * 1024;
// Out of file descriptors: accepting starts again after this pause.
constexpr std::chrono::milliseconds kAcceptPause(100);
constexpr int kListenBacklog = 1024;

QByteArray reasonOf(int status)
{
    switch (status) {
    case 101:
        return "Switching Protocols";
    case 200:
        return "OK";
    case 303:
        return "See Other";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 411:
        return "Length Required";
    case 413:
        return "Content Too Large";
    case 426:
        return "Upgrade Required";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 505:
        return "HTTP Version Not Supported";
    default:
        return "Error";
    }
}

bool isToken(const QByteArray &text)
{
    static const QByteArray extra = "!#$%&'*+-.^_`|~";
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || extra.contains(c);
    });
}

bool listContains(const QByteArray &list, const QByteArray &item)
{
    for (const QByteArray &part : list.split(','))
        if (part.trimmed().compare(item, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

QByteArray headerValue(const HttpHeaders &headers, const QByteArray &name)
{
    for (const auto &[key, value] : headers)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

bool HttpRequest::isWebSocketUpgrade() const
{
    return listContains(header("Upgrade"), "websocket");
}

class HttpFront::Listener : public QTcpServer {
public:
    explicit Listener(HttpFront &front)
        : m_front(front)
    {
    }

protected:
    void incomingConnection(qintptr descriptor) override { m_front.adopt(descriptor); }

private:
    HttpFront &m_front;
};

// One HTTP connection until it ends or becomes a WebSocket.
class HttpFront::Connection : public QObject {
public:
    Connection(HttpFront &front, QTcpSocket *socket, QString key)
        : m_front(front)
        , m_socket(socket)
        , m_key(std::move(key))
    {
        const HttpLimits &limits = front.m_limits;
        m_socket->setParent(this);
        // Qt itself buffers no more than one request the display could take.
        m_socket->setReadBufferSize(limits.maxHeadBytes + limits.maxBodyBytes + 4);
        connect(m_socket, &QTcpSocket::readyRead, this, &Connection::onReadyRead);
        connect(m_socket, &QTcpSocket::disconnected, this, [this] { m_front.forget(this); });
        connect(m_socket, &QTcpSocket::errorOccurred, this, [this] { m_front.forget(this); });
        connect(m_socket, &QTcpSocket::bytesWritten, this, &Connection::onBytesWritten);
        m_deadline.setSingleShot(true);
        connect(&m_deadline, &QTimer::timeout, this, &Connection::onDeadline);
        m_deadline.start(limits.requestTimeout);
    }

    QTcpSocket *socket() const { return m_socket; }
    const QString &key() const { return m_key; }

    QTcpSocket *release()
    {
        m_deadline.stop();
        m_socket->disconnect(this);
        m_socket->setParent(nullptr);
        return std::exchange(m_socket, nullptr);
    }

    void abort()
    {
        if (m_socket)
            m_socket->abort();
    }

private:
    enum class State { Head, Body, Closing };

    void onReadyRead()
    {
        if (m_state == State::Closing) {
            m_lingered += m_socket->skip(m_socket->bytesAvailable());
            if (m_lingered > kLingerBytes)
                m_front.forget(this);
            return;
        }
        if (m_buffer.isEmpty() && m_state == State::Head && !m_requestStarted) {
            m_requestStarted = true;
            m_deadline.start(m_front.m_limits.requestTimeout);
        }
        process();
    }

    void process()
    {
        const HttpLimits &limits = m_front.m_limits;
        while (m_state != State::Closing) {
            // Taken in portions no larger than one request, so what a pipelining client sent
            // after it is read once there is room.
            if (const qint64 room = limits.maxHeadBytes + limits.maxBodyBytes + 4 - m_buffer.size(); room > 0)
                m_buffer.append(m_socket->read(room));
            if (m_state == State::Head) {
                // Empty lines before a request are allowed.
                while (m_buffer.startsWith("\r\n"))
                    m_buffer.remove(0, 2);
                const qsizetype end = m_buffer.indexOf("\r\n\r\n");
                if (end < 0 ? m_buffer.size() > limits.maxHeadBytes : end + 4 > limits.maxHeadBytes)
                    return refuse(431);
                if (end < 0)
                    return;
                if (const int status = parseHead(m_buffer.left(end)); status != 0)
                    return refuse(status);
                m_buffer.remove(0, end + 4);
                m_state = State::Body;
            }
            if (m_buffer.size() < m_bodyLength)
                return;
            m_request.body = m_buffer.left(m_bodyLength);
            m_buffer.remove(0, m_bodyLength);
            const HttpResponse response
                = m_front.m_handler ? m_front.m_handler(m_request) : HttpResponse { 404, {}, {} };
            if (response.webSocket && m_request.isWebSocketUpgrade()) {
                if (const int status = m_front.upgradeRefusal(m_request, m_key); status != 0)
                    return refuse(status);
                m_front.upgrade(this, m_request, std::exchange(m_buffer, {}));
                return;
            }
            respond(response, !m_keepAlive);
            if (m_state == State::Closing)
                return;
            m_state = State::Head;
            m_request = {};
            m_requestStarted = !m_buffer.isEmpty();
            m_deadline.start(m_requestStarted ? limits.requestTimeout : limits.idleTimeout);
        }
    }

    // 0, or the status that refuses the head.
    int parseHead(const QByteArray &head)
    {
        const HttpLimits &limits = m_front.m_limits;
        const QList<QByteArray> lines = head.split('\n');
        const QList<QByteArray> first
            = lines.first().chopped(lines.first().endsWith('\r') ? 1 : 0).split(' ');
        if (first.size() != 3 || !isToken(first[0]) || !first[1].startsWith('/'))
            return 400;
        if (first[2] != "HTTP/1.1" && first[2] != "HTTP/1.0")
            return first[2].startsWith("HTTP/") ? 505 : 400;
        if (lines.size() - 1 > limits.maxHeaders)
            return 431;
        m_request = {};
        m_request.method = first[0];
        m_request.target = first[1];
        const qsizetype question = first[1].indexOf('?');
        m_request.path = QUrl::fromPercentEncoding(question < 0 ? first[1] : first[1].left(question));
        m_request.query = question < 0 ? QByteArray() : first[1].mid(question + 1);
        m_request.remoteAddress = m_socket->peerAddress();
        for (qsizetype i = 1; i < lines.size(); ++i) {
            QByteArray line = lines[i];
            if (line.endsWith('\r'))
                line.chop(1);
            const qsizetype colon = line.indexOf(':');
            // A folded line or a name with spaces reads differently to every parser: none is taken.
            if (colon <= 0 || !isToken(line.left(colon)))
                return 400;
            m_request.headers.append({ line.left(colon), line.mid(colon + 1).trimmed() });
        }
        const QByteArray connection = m_request.header("Connection");
        m_keepAlive = first[2] == "HTTP/1.1" ? !listContains(connection, "close")
                                             : listContains(connection, "keep-alive");
        if (!m_request.header("Transfer-Encoding").isEmpty())
            return 411;
        m_bodyLength = 0;
        QByteArray length;
        for (const auto &[key, value] : std::as_const(m_request.headers)) {
            if (key.compare("Content-Length", Qt::CaseInsensitive) != 0)
                continue;
            if (!length.isNull() && value != length)
                return 400;
            length = value;
        }
        if (!length.isNull()) {
            bool ok = false;
            const qint64 size = length.toLongLong(&ok);
            if (!ok || size < 0
                || !std::all_of(length.begin(), length.end(), [](char c) { return c >= '0' && c <= '9'; }))
                return 400;
            if (size > limits.maxBodyBytes)
                return 413;
            m_bodyLength = size;
        }
        return 0;
    }

    void refuse(int status)
    {
        HttpResponse response;
        response.status = status;
        response.headers = { { "Content-Type", "text/plain; charset=utf-8" } };
        if (status == 426)
            response.headers.append(qMakePair(QByteArray("Sec-WebSocket-Version"), QByteArray("13")));
        response.body = reasonOf(status).toLower();
        respond(response, true);
    }

    void respond(const HttpResponse &response, bool close)
    {
        QByteArray out
            = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonOf(response.status) + "\r\n";
        for (const HttpHeaders *headers :
            std::initializer_list<const HttpHeaders *> { &m_front.m_commonHeaders, &response.headers })
            for (const auto &[key, value] : *headers)
                out += key + ": " + value + "\r\n";
        out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
        if (close)
            out += "Connection: close\r\n";
        out += "\r\n" + response.body;
        m_socket->write(out);
        if (close) {
            m_state = State::Closing;
            m_buffer.clear();
            m_deadline.start(kLingerTime);
            onBytesWritten();
        }
    }

    void onBytesWritten()
    {
        if (m_state != State::Closing || m_halfClosed || m_socket->bytesToWrite() > 0)
            return;
        m_halfClosed = true;
        // TLS ends with its own close; plain TCP says it has finished and still reads what comes.
        if (qobject_cast<QSslSocket *>(m_socket))
            m_socket->disconnectFromHost();
        else
            ::shutdown(int(m_socket->socketDescriptor()), SHUT_WR);
    }

    void onDeadline()
    {
        // A request begun and not finished in time is told so; a connection that said nothing,
        // or one already answered, is simply closed.
        if (m_state != State::Closing && (m_requestStarted || m_state == State::Body)) {
            refuse(408);
            return;
        }
        m_front.forget(this);
    }

    HttpFront &m_front;
    QTcpSocket *m_socket;
    QString m_key;
    State m_state = State::Head;
    QByteArray m_buffer;
    HttpRequest m_request;
    qint64 m_bodyLength = 0;
    bool m_keepAlive = true;
    bool m_requestStarted = false;
    bool m_halfClosed = false;
    qint64 m_lingered = 0;
    QTimer m_deadline;
};

HttpFront::HttpFront(HttpLimits limits, QObject *parent)
    : QObject(parent)
    , m_limits(limits)
    , m_listener(std::make_unique<Listener>(*this))
{
    connect(m_listener.get(), &QTcpServer::acceptError, this, &HttpFront::onAcceptError);
    m_resumeAccepting.setSingleShot(true);
    m_resumeAccepting.setInterval(kAcceptPause);
    connect(&m_resumeAccepting, &QTimer::timeout, m_listener.get(), &QTcpServer::resumeAccepting);
}

HttpFront::~HttpFront()
{
    for (Connection *connection : std::as_const(m_connections)) {
        connection->abort();
        delete connection;
    }
}

bool HttpFront::useTls(const QString &certificatePath, const QString &keyPath, QString *error)
{
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(certificatePath, QSsl::Pem);
    if (chain.isEmpty() || chain.first().isNull()) {
        *error = u"無法讀取憑證 "_s + certificatePath;
        return false;
    }
    QFile keyFile(keyPath);
    if (!keyFile.open(QIODevice::ReadOnly)) {
        *error = u"無法讀取私鑰 "_s + keyPath + u": "_s + keyFile.errorString();
        return false;
    }
    const QByteArray pem = keyFile.readAll();
    QSslKey key;
    for (const QSsl::KeyAlgorithm algorithm : { QSsl::Rsa, QSsl::Ec, QSsl::Dsa }) {
        key = QSslKey(pem, algorithm, QSsl::Pem, QSsl::PrivateKey);
        if (!key.isNull())
            break;
    }
    if (key.isNull()) {
        *error = u"私鑰不是未加密的 PEM 私鑰: "_s + keyPath;
        return false;
    }
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setLocalCertificateChain(chain);
    config.setPrivateKey(key);
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    config.setProtocol(QSsl::TlsV1_2OrLater);

    // The TLS library checks that the key is the certificate's only when a connection starts its
    // handshake: one on loopback finds a mismatch now rather than at the first tablet.
    class Catcher : public QTcpServer {
    public:
        qintptr descriptor = -1;

    protected:
        void incomingConnection(qintptr d) override { descriptor = d; }
    } catcher;
    QTcpSocket client;
    if (catcher.listen(QHostAddress::LocalHost, 0)) {
        client.connectToHost(QHostAddress::LocalHost, catcher.serverPort());
        if (catcher.waitForNewConnection(2000) && catcher.descriptor >= 0) {
            QSslSocket probe;
            probe.setSslConfiguration(config);
            if (!probe.setSocketDescriptor(catcher.descriptor)) {
                ::close(int(catcher.descriptor));
            } else {
                QString refusal;
                connect(&probe, &QSslSocket::errorOccurred, &probe, [&] {
                    if (refusal.isEmpty())
                        refusal = probe.errorString();
                });
                probe.startServerEncryption();
                if (!refusal.isEmpty()) {
                    *error = u"憑證與私鑰不能一起使用 ("_s + certificatePath + u", "_s + keyPath + u"): "_s
                        + refusal;
                    return false;
                }
            }
        }
    }
    m_tls = config;
    return true;
}

quint16 HttpFront::listen(const QHostAddress &address, quint16 port)
{
    // A burst of connections waits in the kernel to be taken and weighed, rather than having its
    // attempts dropped, a tablet's among them, for the seconds TCP takes to try again.
    m_listener->setListenBacklogSize(kListenBacklog);
    return m_listener->listen(address, port) ? m_listener->serverPort() : 0;
}

QString HttpFront::listenError() const
{
    return m_listener->errorString();
}

QString HttpFront::addressKey(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
}

int HttpFront::connectionCap() const
{
    if (m_limits.maxConnections > 0)
        return m_limits.maxConnections;
    rlimit files {};
    if (getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == RLIM_INFINITY)
        return 1024;
    return int(
        std::clamp<rlim_t>(files.rlim_cur - std::min(files.rlim_cur, kFilesKeptForTheService), 16, 4096));
}

void HttpFront::adopt(qintptr descriptor)
{
    QTcpSocket *socket = m_tls ? new QSslSocket : new QTcpSocket;
    if (!socket->setSocketDescriptor(descriptor)) {
        ::close(int(descriptor));
        delete socket;
        return;
    }
    const QString key = addressKey(socket->peerAddress());
    // Refused at once and without an answer: the cheapest thing to do with a flood.
    if (m_perAddress.value(key) >= m_limits.maxPerAddress
        || (int(m_connections.size()) + m_webSockets >= connectionCap() && !makeRoom())) {
        socket->abort();
        delete socket;
        return;
    }
    auto *connection = new Connection(*this, socket, key);
    m_connections.append(connection);
    ++m_perAddress[key];
    if (auto *tls = qobject_cast<QSslSocket *>(socket)) {
        tls->setSslConfiguration(*m_tls);
        tls->startServerEncryption();
    }
}

bool HttpFront::makeRoom()
{
    // The oldest connection that is not a page's WebSocket: an idle or a slow one, most likely.
    if (m_connections.isEmpty())
        return false;
    forget(m_connections.first());
    return true;
}

void HttpFront::onAcceptError()
{
    // Out of file descriptors: Qt stops accepting. Room is made and accepting resumes shortly,
    // so a new tablet is not locked out by whoever holds the connections.
    makeRoom();
    m_resumeAccepting.start();
}

void HttpFront::forget(Connection *connection)
{
    if (!m_connections.removeOne(connection))
        return;
    if (--m_perAddress[connection->key()] <= 0)
        m_perAddress.remove(connection->key());
    connection->abort();
    connection->deleteLater();
}

int HttpFront::upgradeRefusal(const HttpRequest &request, const QString &address) const
{
    if (request.header("Sec-WebSocket-Version") != "13")
        return 426;
    if (QByteArray::fromBase64(request.header("Sec-WebSocket-Key")).size() != 16)
        return 400;
    if (m_webSocketsPerAddress.value(address) >= m_limits.maxWebSocketsPerAddress)
        return 429;
    return 0;
}

void HttpFront::upgrade(Connection *connection, const HttpRequest &request, QByteArray rest)
{
    const QByteArray key = request.header("Sec-WebSocket-Key");
    const QString address = connection->key();
    m_connections.removeOne(connection);
    if (--m_perAddress[address] <= 0)
        m_perAddress.remove(address);
    QTcpSocket *socket = connection->release();
    connection->deleteLater();

    const QByteArray accept
        = QCryptographicHash::hash(key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11", QCryptographicHash::Sha1)
              .toBase64();
    socket->write("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                  "Sec-WebSocket-Accept: "
        + accept + "\r\n\r\n");
    auto *link = new WebSocketLink(socket, m_limits.maxMessageBytes, rest);
    ++m_webSockets;
    ++m_webSocketsPerAddress[address];
    connect(link, &WebSocketLink::disconnected, this, [this, address] {
        --m_webSockets;
        if (--m_webSocketsPerAddress[address] <= 0)
            m_webSocketsPerAddress.remove(address);
    });
    Q_EMIT webSocketOpened(link, request);
}

} // namespace tavo::kds
