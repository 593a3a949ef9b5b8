#pragma once
// One page's WebSocket on the server's side, after the handshake: the frames of RFC 6455 read and
// written over the connection the HTTP front handed on. A client frame that is not masked, uses a
// reserved bit or opcode, or breaks the order of fragments closes the link with 1002; a message
// over the cap closes it with 1009 before its payload is read; text that is not UTF-8 with 1007.
// Pings are answered, a close is returned. A page that stops reading while its messages pile up
// is cut off rather than held in memory.
#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QTimer>

class QTcpSocket;

namespace tavo::kds {

class WebSocketLink : public QObject {
    Q_OBJECT
public:
    enum CloseCode : quint16 {
        Normal = 1000,
        GoingAway = 1001,
        ProtocolError = 1002,
        InvalidData = 1007,
        PolicyViolation = 1008,
        TooBig = 1009,
    };

    // Takes `socket` over; `received` is what came after the handshake in the same read.
    WebSocketLink(QTcpSocket *socket, qint64 maxMessageBytes, const QByteArray &received);
    ~WebSocketLink() override;

    void sendBinaryMessage(const QByteArray &message);
    void sendTextMessage(const QString &message);
    // Sends the close frame and ends the connection once it is out (or soon, if the peer stalls).
    void close(CloseCode code = Normal);
    void abort();
    QHostAddress peerAddress() const { return m_peer; }

Q_SIGNALS:
    void binaryMessageReceived(const QByteArray &message);
    void textMessageReceived(const QString &message);
    // Once, however the link ended.
    void disconnected();

private:
    enum Opcode : quint8 { Continuation = 0, Text = 1, Binary = 2, Close = 8, Ping = 9, Pong = 10 };

    void onReadyRead();
    bool takeFrame(); // false: wait for more, or the link is closing
    void sendFrame(Opcode opcode, const QByteArray &payload);
    void finish();

    QTcpSocket *m_socket;
    QHostAddress m_peer;
    qint64 m_maxMessageBytes;
    QByteArray m_buffer;
    QByteArray m_message; // a fragmented message so far
    Opcode m_messageOpcode = Continuation; // Continuation: no fragmented message under way
    bool m_closing = false;
    bool m_finished = false;
    QTimer m_closeDeadline;
};

} // namespace tavo::kds
