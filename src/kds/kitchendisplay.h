#pragma once
// The kitchen display: a page served by the service itself that shows the watched port's open
// orders as cards on any browser in the kitchen, pushed over a WebSocket the moment the service
// lists them. A cook's "完成" bumps a card off every display; "復原" brings back the last one, or
// any order bumped in the last half hour. A tap on an item crosses it off on every display.
//
// The display reads the orders through the service's own connection, on the service's thread:
// whoever follows the table calls setPort() and refresh() when it may have changed. Bumps and the
// devices let in by the PIN are kept in KDS.db in the site folder, never in the POS tables.
#include "kds/kdsboard.h"
#include "kds/kdssettings.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <memory>

namespace tavo {
struct Site;
}

namespace tavo::db {
class Connection;
}

namespace tavo::kds {

class KdsStore;
class PinGate;
class HttpFront;
struct HttpLimits;
struct HttpRequest;
struct HttpResponse;
class WebSocketLink;

class KitchenDisplay : public QObject {
    Q_OBJECT
public:
    KitchenDisplay(
        db::Connection &cn, KdsSettings settings, const QString &siteDir, QObject *parent = nullptr);
    // With the front's limits of its own (the tests' short timeouts).
    KitchenDisplay(db::Connection &cn, KdsSettings settings, const QString &siteDir, const HttpLimits &limits,
        QObject *parent = nullptr);
    ~KitchenDisplay() override;

    // Starts listening; false, with the reason in error(), when the address cannot be bound or
    // found, when it is not loopback and no PIN of at least 6 digits is set, or when the
    // certificate or key cannot be used.
    bool start();
    // start() as the service runs it: the address to open goes to the text log, a failure to
    // start to the error log, and either as a line to announced().
    bool startAndAnnounce();
    QString error() const { return m_error; }
    // The address to open in a browser: the one listened on, which the display answers.
    QUrl url() const;
    bool encrypted() const;
    // A PIN that travels the network in clear text: the echo at the start says so.
    bool pinInClear() const;

    // Every device must enter the PIN again; the pages open now are closed.
    void signOutEveryDevice();

    // The watched port; a change shows the new port's orders at the next refresh.
    void setPort(const QString &kport);
    QString port() const { return m_port; }

    // How often every page hears from the display while the board stands: a frozen service keeps
    // its sockets open, so only the silence tells a page that its board may be stale.
    void setHeartbeatInterval(std::chrono::milliseconds interval) { m_heartbeat.setInterval(interval); }

    // Pages connected now.
    int displays() const { return int(m_clients.size()); }

    // What the pages say above the cards, as text: that the service's own list of new orders is
    // not kept now, and why. Empty while it is.
    void setWatchNotice(const QString &notice);
    QString watchNotice() const { return m_watchNotice; }

signals:
    // What startAndAnnounce() tells whoever runs the service: the address, or why there is none.
    void announced(const QString &line);

public Q_SLOTS:
    // Reads the open orders of the port again and pushes the board to every page when it changed;
    // true when the rows changed. A database error keeps the board as it was (and is written to
    // the error log once).
    bool refresh();

private:
    HttpResponse handle(const HttpRequest &request);
    HttpResponse login(const HttpRequest &request);
    bool acceptsWebSocket(const HttpRequest &request) const;
    void acceptWebSocket(WebSocketLink *client, const HttpRequest &request);
    void onMessage(WebSocketLink *client, const QByteArray &message);
    void crossOff(double rno, bool done);
    void recordDone(const Card &card, qint64 upTo, qint64 onlyRNo = 0);
    // Reads today's figures again: after a bump, a cross-off or a recall, and each minute.
    void updatePace();
    bool hostAllowed(const QByteArray &host) const;
    bool hasSession(const HttpRequest &request) const;
    void closeSignedOutPages();
    void rebuild();
    QByteArray message(const QByteArray &board) const;
    QByteArray watchMessage() const;
    void sendHeartbeat();

    db::Connection &m_cn;
    KdsSettings m_settings;
    QString m_port;
    QString m_watchNotice;
    QString m_error;
    std::unique_ptr<KdsStore> m_store;
    std::unique_ptr<PinGate> m_gate;
    std::unique_ptr<HttpFront> m_http;
    QList<WebSocketLink *> m_clients;
    QHash<WebSocketLink *, QByteArray> m_clientSessions; // by the hash of the page's session token
    QHostAddress m_address;
    quint16 m_listening = 0;
    bool m_everyoneWaitsLogged = false;
    QTimer m_heartbeat;
    QTimer m_paceClock; // today's figures move on with the clock, not only with the bumps
    speed::DayPace m_pace;

    QList<OrderRow> m_rows;
    QHash<qint64, QDateTime> m_firstSeen; // rows without a time of their own, by RNo
    MenuRemarks m_menuRemarks;
    QList<Card> m_cards;
    BoardJson m_board; // what every connected page has
    bool m_readFailed = false;
};

// Reads [KDS] from the site's settings: the display for the site's folder on its connection, not
// listening yet, when a port is set; null when the display is off.
std::unique_ptr<KitchenDisplay> kitchenDisplayFromSettings(const Site &site, QObject *parent = nullptr);

// Signs out every device of the display of `siteDir`, whether or not the service runs: a running
// display closes their pages within a few seconds. False, with the reason, when KDS.db cannot be
// written.
bool signOutEveryDevice(const QString &siteDir, QString *error);

} // namespace tavo::kds
