#pragma once
// The kitchen display's door to the network: a small HTTP/1.1 server over TCP or TLS that reads
// no more of a request than the display can use. The head and the body have caps, a request must
// arrive within a deadline, an idle connection is closed, and an address may hold only a few
// connections; when the connections reach what the open-file limit allows, the oldest one that is
// not a page's WebSocket makes room. A flood of idle or oversized connections therefore costs a
// few kilobytes each for a few seconds, and the pages already connected keep their board.
//
// What to answer is the display's business: every complete request goes to the handler, which
// may answer it or take it on as a WebSocket (see WebSocketLink).
#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QSslConfiguration>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class QTcpServer;
class QTcpSocket;

namespace tavo::kds {

class WebSocketLink;

using HttpHeaders = QList<QPair<QByteArray, QByteArray>>;

// The value of header `name` (case-insensitive), empty when absent.
QByteArray headerValue(const HttpHeaders &headers, const QByteArray &name);

struct HttpLimits {
    int maxHeadBytes = 8 * 1024; // request line and headers together
    int maxHeaders = 64;
    int maxBodyBytes = 512; // the PIN form is all the display takes
    std::chrono::milliseconds requestTimeout { 10'000 }; // from a connection or a request's first byte
    std::chrono::milliseconds idleTimeout { 30'000 }; // between requests on a kept-alive connection
    int maxPerAddress = 16; // connections of one address not (yet) a page's WebSocket
    int maxWebSocketsPerAddress = 64;
    int maxConnections = 0; // all together; 0: what the open-file limit leaves the rest of the service
    qint64 maxMessageBytes = 64 * 1024; // one WebSocket message from a page
};

struct HttpRequest {
    QByteArray method;
    QByteArray target;
    QString path; // decoded, without the query
    QByteArray query;
    HttpHeaders headers;
    QByteArray body;
    QHostAddress remoteAddress;

    QByteArray header(const QByteArray &name) const { return headerValue(headers, name); }
    bool isWebSocketUpgrade() const;
};

struct HttpResponse {
    int status = 200;
    HttpHeaders headers;
    QByteArray body;
    // The handler takes the request on as a WebSocket: the front answers the handshake.
    bool webSocket = false;

    static HttpResponse acceptWebSocket()
    {
        HttpResponse r;
        r.webSocket = true;
        return r;
    }
};

class HttpFront : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<HttpResponse(const HttpRequest &)>;

    explicit HttpFront(HttpLimits limits = {}, QObject *parent = nullptr);
    ~HttpFront() override;

    void setHandler(Handler handler) { m_handler = std::move(handler); }
    // Sent with every answer, the front's own refusals included.
    void setCommonHeaders(HttpHeaders headers) { m_commonHeaders = std::move(headers); }
    // Serves TLS only, with the PEM certificate (chain) and private key at these paths; false,
    // with the reason, when they cannot be read or do not belong together.
    bool useTls(const QString &certificatePath, const QString &keyPath, QString *error);
    bool usesTls() const { return m_tls.has_value(); }

    // The port it listens on, 0 when it cannot.
    quint16 listen(const QHostAddress &address, quint16 port);
    QString listenError() const;

    int connections() const { return int(m_connections.size()); }
    const HttpLimits &limits() const { return m_limits; }

Q_SIGNALS:
    // A page's WebSocket, open, and the request that asked for it; the receiver owns the link.
    void webSocketOpened(tavo::kds::WebSocketLink *link, const tavo::kds::HttpRequest &request);

private:
    class Connection;
    class Listener;
    friend class Connection;
    friend class Listener;

    void adopt(qintptr descriptor);
    void onAcceptError();
    bool makeRoom();
    void forget(Connection *connection);
    // 0, or the status that refuses a WebSocket the handler would take.
    int upgradeRefusal(const HttpRequest &request, const QString &address) const;
    void upgrade(Connection *connection, const HttpRequest &request, QByteArray rest);
    int connectionCap() const;
    static QString addressKey(const QHostAddress &address);

    HttpLimits m_limits;
    Handler m_handler;
    HttpHeaders m_commonHeaders;
    std::optional<QSslConfiguration> m_tls;
    std::unique_ptr<Listener> m_listener;
    QList<Connection *> m_connections; // oldest first
    QHash<QString, int> m_perAddress; // HTTP connections by address
    QHash<QString, int> m_webSocketsPerAddress;
    int m_webSockets = 0;
    QTimer m_resumeAccepting;
};

} // namespace tavo::kds
