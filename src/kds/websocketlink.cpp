#include "kds/websocketlink.h"

#include <QStringDecoder>
#include <QTcpSocket>
#include <QtEndian>

namespace tavo::kds {

namespace {

// What a page may leave unread before it is taken for gone: many boards' worth.
constexpr qint64 kMaxUnsentBytes = 16 * 1024 * 1024;
// How long a closing peer gets to take the close frame.
constexpr std::chrono::milliseconds kCloseGrace(1000);

bool isControl(quint8 opcode)
{
    return opcode >= 8;
}

} // namespace

WebSocketLink::WebSocketLink(QTcpSocket *socket, qint64 maxMessageBytes, const QByteArray &received)
    : m_socket(socket)
    , m_peer(socket->peerAddress())
    , m_maxMessageBytes(maxMessageBytes)
    , m_buffer(received)
{
    m_socket->setParent(this);
    // Qt reads no further ahead than a frame of the largest message and its header.
    m_socket->setReadBufferSize(maxMessageBytes + 16);
    connect(m_socket, &QTcpSocket::readyRead, this, &WebSocketLink::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &WebSocketLink::finish);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &WebSocketLink::finish);
    m_closeDeadline.setSingleShot(true);
    m_closeDeadline.setInterval(kCloseGrace);
    connect(&m_closeDeadline, &QTimer::timeout, this, &WebSocketLink::abort);
    if (!m_buffer.isEmpty() || m_socket->bytesAvailable() > 0)
        QMetaObject::invokeMethod(this, &WebSocketLink::onReadyRead, Qt::QueuedConnection);
}

WebSocketLink::~WebSocketLink()
{
    m_socket->disconnect(this);
    m_socket->abort();
}

void WebSocketLink::sendBinaryMessage(const QByteArray &message)
{
    sendFrame(Binary, message);
}

void WebSocketLink::sendTextMessage(const QString &message)
{
    sendFrame(Text, message.toUtf8());
}

void WebSocketLink::close(CloseCode code)
{
    if (m_closing || m_finished)
        return;
    QByteArray payload(2, Qt::Uninitialized);
    qToBigEndian(quint16(code), payload.data());
    sendFrame(Close, payload);
    m_closing = true;
    m_buffer.clear();
    m_message.clear();
    m_socket->disconnectFromHost();
    m_closeDeadline.start();
}

void WebSocketLink::abort()
{
    m_socket->abort();
    finish();
}

void WebSocketLink::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_closeDeadline.stop();
    Q_EMIT disconnected();
}

void WebSocketLink::sendFrame(Opcode opcode, const QByteArray &payload)
{
    if (m_closing || m_finished || m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    if (m_socket->bytesToWrite() > kMaxUnsentBytes) {
        abort();
        return;
    }
    QByteArray frame;
    frame.reserve(payload.size() + 10);
    frame.append(char(0x80 | opcode));
    const qsizetype size = payload.size();
    if (size < 126) {
        frame.append(char(size));
    } else if (size <= 0xFFFF) {
        frame.append(char(126));
        char length[2];
        qToBigEndian(quint16(size), length);
        frame.append(length, 2);
    } else {
        frame.append(char(127));
        char length[8];
        qToBigEndian(quint64(size), length);
        frame.append(length, 8);
    }
    frame.append(payload);
    m_socket->write(frame);
}

void WebSocketLink::onReadyRead()
{
    if (m_closing || m_finished) {
        // The close frame is out; what the peer still sends is not read.
        m_socket->skip(m_socket->bytesAvailable());
        return;
    }
    m_buffer.append(m_socket->readAll());
    while (takeFrame()) { }
}

bool WebSocketLink::takeFrame()
{
    if (m_closing || m_finished || m_buffer.size() < 2)
        return false;
    const auto *bytes = reinterpret_cast<const uchar *>(m_buffer.constData());
    const bool fin = bytes[0] & 0x80;
    const quint8 opcode = bytes[0] & 0x0F;
    const bool masked = bytes[1] & 0x80;
    quint64 length = bytes[1] & 0x7F;
    qsizetype header = 2;
    // Every frame from a client is masked, and no extension was agreed that could set RSV bits.
    if (!masked || (bytes[0] & 0x70) != 0) {
        close(ProtocolError);
        return false;
    }
    if (length == 126) {
        if (m_buffer.size() < 4)
            return false;
        length = qFromBigEndian<quint16>(bytes + 2);
        header = 4;
    } else if (length == 127) {
        if (m_buffer.size() < 10)
            return false;
        length = qFromBigEndian<quint64>(bytes + 2);
        header = 10;
        if (length >> 63) {
            close(ProtocolError);
            return false;
        }
    }
    const bool known = opcode == Continuation || opcode == Text || opcode == Binary || opcode == Close
        || opcode == Ping || opcode == Pong;
    if (!known || (isControl(opcode) && (!fin || length > 125))
        || (opcode == Continuation && m_messageOpcode == Continuation)
        || ((opcode == Text || opcode == Binary) && m_messageOpcode != Continuation)) {
        close(ProtocolError);
        return false;
    }
    // Refused on its announced length, before any of its payload is read.
    if (!isControl(opcode) && quint64(m_message.size()) + length > quint64(m_maxMessageBytes)) {
        close(TooBig);
        return false;
    }
    header += 4; // the mask
    if (quint64(m_buffer.size()) < quint64(header) + length)
        return false;
    const uchar *mask = bytes + header - 4;
    QByteArray payload = m_buffer.mid(header, qsizetype(length));
    for (qsizetype i = 0; i < payload.size(); ++i)
        payload[i] = char(payload[i] ^ mask[i % 4]);
    m_buffer.remove(0, header + qsizetype(length));

    switch (opcode) {
    case Ping:
        sendFrame(Pong, payload);
        return true;
    case Pong:
        return true;
    case Close: {
        CloseCode reply = Normal;
        if (payload.size() == 1)
            reply = ProtocolError;
        else if (payload.size() >= 2)
            reply = CloseCode(qFromBigEndian<quint16>(payload.constData()));
        close(reply);
        return false;
    }
    default:
        break;
    }
    if (opcode != Continuation)
        m_messageOpcode = Opcode(opcode);
    m_message.append(payload);
    if (!fin)
        return true;
    const QByteArray message = std::exchange(m_message, {});
    const Opcode kind = std::exchange(m_messageOpcode, Continuation);
    if (kind == Binary) {
        Q_EMIT binaryMessageReceived(message);
        return true;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(message);
    if (utf8.hasError()) {
        close(InvalidData);
        return false;
    }
    Q_EMIT textMessageReceived(text);
    return true;
}

} // namespace tavo::kds
