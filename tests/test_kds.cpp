// The kitchen display's cards, waiting totals, bump file, PIN door and heartbeat, without a
// browser (the page itself is driven in Chromium by kds/test_kds_browser.py).
#include "db/connection.h"
#include "kds/kdsboard.h"
#include "kds/kdsstore.h"
#include "kds/kitchendisplay.h"
#include "kds/pingate.h"
#include "platform/echo.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <QWebSocket>
#include <gtest/gtest.h>

#include <algorithm>

using namespace Qt::StringLiterals;
using namespace tavo::kds;

namespace {

const QDateTime kNoon(QDate(2026, 5, 1), QTime(12, 0));

OrderRow row(qint64 rno, const QString &pid, const QString &name, double qty, const QString &type = {},
    const QString &remark = {}, int minute = 0)
{
    OrderRow r;
    r.rno = rno;
    r.orderPID = pid;
    r.tblName = pid.left(3);
    r.itemName = name;
    r.itemType = type;
    r.qty = qty;
    r.remark = remark;
    r.orderedAt = kNoon.addSecs(60 * minute);
    return r;
}

QStringList itemsOf(const Card &card)
{
    QStringList lines;
    for (const CardItem &i : card.items)
        lines << i.item + u"|"_s + i.quantity + (i.addOns.isEmpty() ? QString() : u" "_s + i.addOns);
    return lines;
}

} // namespace

TEST(KdsBoard, ItemsReadAsTheTicketListsThem)
{
    // Two terminals entering at once: the orders' rows interleave in RNo order.
    OrderRow capped = row(1, u"A05-1"_s, u"牛肉麵"_s, 2, {}, u"不辣"_s);
    capped.priceCap = u"大"_s;
    const QList<OrderRow> rows { capped, row(2, u"B01-1"_s, u"炒飯"_s, 1),
        row(3, u"A05-1"_s, u"加蛋"_s, 2, u"A1"_s), row(4, u"A05-1"_s, u"白飯"_s, 1, u"T1"_s, u"少"_s),
        row(5, u"A05-1"_s, u"蛤蜊湯"_s, 0), row(6, u"A05-1"_s, u"加麵"_s, 1, u"A1"_s),
        row(7, u"A05-1"_s, u"酸辣湯"_s, -2), row(8, u"A05-1"_s, u"加飯"_s, 1, u"AN"_s),
        row(9, u"C02-1"_s, u"加蛋"_s, 1, u"TN"_s) };
    const QList<Card> cards = buildCards(rows, {});
    ASSERT_EQ(cards.size(), 3);
    EXPECT_EQ(cards[0].table, u"A05"_s);
    EXPECT_EQ(cards[0].upTo, 8);
    // A rush request takes no add-ons: the one after it stands alone; a return keeps its own.
    EXPECT_EQ(itemsOf(cards[0]),
        (QStringList { u"牛肉麵-大 <不辣>|2 /加蛋*2/白飯-少"_s, u"[快]蛤蜊湯|快上"_s, u"加麵|1"_s,
            u"[退]酸辣湯 2份|[退] /加飯"_s }));
    EXPECT_EQ(itemsOf(cards[1]), QStringList { u"炒飯|1"_s });
    // An add-on whose item is not on the card is shown as an item.
    EXPECT_EQ(itemsOf(cards[2]), QStringList { u"加蛋|1"_s });
    EXPECT_FALSE(cards[0].items[0].red);
    EXPECT_TRUE(cards[0].items[1].red);
    EXPECT_TRUE(cards[0].items[3].red);
}

TEST(KdsBoard, BumpsOldestFirstAndWaitingTotals)
{
    const QList<OrderRow> rows { row(1, u"A01-1"_s, u"排骨飯"_s, 2, {}, {}, 5),
        row(2, u"A01-1"_s, u"紅茶"_s, 1, {}, {}, 5), row(3, u"B01-1"_s, u"排骨飯"_s, 1, {}, {}, 1),
        row(4, u"A01-1"_s, u"排骨飯"_s, 3, {}, {}, 9), row(5, u"C01-1"_s, u"紅茶"_s, 2, {}, {}, 3),
        row(6, u"C01-1"_s, u"紅茶"_s, -2, {}, {}, 4), row(7, u"C01-1"_s, u"加蛋"_s, 4, u"A1"_s, {}, 4),
        row(8, u"C01-1"_s, u"擔仔麵"_s, 0, {}, {}, 4) };

    const QList<Card> all = buildCards(rows, {});
    QStringList order;
    for (const Card &c : all)
        order << c.orderPID;
    EXPECT_EQ(order, (QStringList { u"B01-1"_s, u"C01-1"_s, u"A01-1"_s }));
    EXPECT_EQ(all[2].since, kNoon.addSecs(5 * 60));

    // A01 done up to row 2: its later row is a card of its own, aged from that row.
    const QList<Card> bumped = buildCards(rows, { { u"A01-1"_s, 2 } });
    ASSERT_EQ(bumped.size(), 3);
    EXPECT_EQ(bumped[2].orderPID, u"A01-1"_s);
    EXPECT_EQ(itemsOf(bumped[2]), QStringList { u"排骨飯|3"_s });
    EXPECT_EQ(bumped[2].since, kNoon.addSecs(9 * 60));

    // 1 + 3 bowls wait; C01's tea was returned in full; add-ons and the rush add nothing.
    const QList<Waiting> waiting = waitingTotals(bumped);
    ASSERT_EQ(waiting.size(), 1);
    EXPECT_EQ(waiting[0].dish, u"排骨飯"_s);
    EXPECT_EQ(waiting[0].qty, 4);
    const QList<Waiting> before = waitingTotals(all);
    ASSERT_EQ(before.size(), 2);
    EXPECT_EQ(before[0].qty, 6);
    EXPECT_EQ(before[1].dish, u"紅茶"_s);
    EXPECT_EQ(before[1].qty, 1);

    // Pages that have the board before the bump get only the card that changed.
    const BoardView view { u"PK"_s };
    const BoardJson was = boardJson(all, view), is = boardJson(bumped, view);
    const QJsonObject delta = QJsonDocument::fromJson(is.message(was.cards)).object();
    EXPECT_EQ(delta[u"cards"_s].toObject().keys(), QStringList { u"A01-1"_s });
    EXPECT_EQ(delta[u"order"_s].toArray().size(), 3);
    EXPECT_EQ(QJsonDocument::fromJson(is.message()).object()[u"cards"_s].toObject().size(), 3);
}

TEST(KdsStore, BumpsAndSessionsOutliveTheService)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(u"KDS.db"_s);
    {
        KdsStore store(file);
        ASSERT_TRUE(store.ok()) << store.lastError().toStdString();
        EXPECT_TRUE(store.bump(u"PK"_s, u"A01-1"_s, 10, kNoon));
        EXPECT_TRUE(store.bump(u"PK"_s, u"A01-1"_s, 14, kNoon));
        EXPECT_TRUE(store.bump(u"PK"_s, u"B'01"_s, 12, kNoon));
        EXPECT_TRUE(store.bump(u"PB"_s, u"A01-1"_s, 99, kNoon));
        EXPECT_TRUE(store.addSession("token-hash", "pin-1", kNoon));
    }
    KdsStore store(file);
    EXPECT_EQ(store.bumpedUpTo(u"PK"_s), (QHash<QString, qint64> { { u"A01-1"_s, 14 }, { u"B'01"_s, 12 } }));
    EXPECT_TRUE(store.hasSession("token-hash", "pin-1"));
    EXPECT_FALSE(store.hasSession("token-hash", "pin-2")) << "a new PIN lets no old device in";

    // The latest bump whose order is still open comes back; B'01 has closed since.
    const auto open = [](const QString &pid, qint64) { return pid == u"A01-1"_s; };
    EXPECT_EQ(store.recall(u"PK"_s, open), u"A01-1"_s);
    EXPECT_EQ(store.bumpedUpTo(u"PK"_s).value(u"A01-1"_s), 10);
    EXPECT_EQ(store.recall(u"PK"_s, open), u"A01-1"_s);
    EXPECT_EQ(store.recall(u"PK"_s, open), std::nullopt);
    EXPECT_EQ(store.bumpedUpTo(u"PB"_s).value(u"A01-1"_s), 99);

    store.forgetBumpsBefore(kNoon.addDays(1));
    EXPECT_TRUE(store.bumpedUpTo(u"PB"_s).isEmpty());
}

TEST(KdsPinGate, WrongGuessesLockTheAddressOutLongerEachTime)
{
    PinGate gate(u"2468"_s);
    const QHostAddress tablet(u"192.168.1.20"_s), other(u"192.168.1.21"_s);
    using V = PinGate::Verdict;
    QDateTime t = kNoon;
    EXPECT_EQ(gate.check(tablet, u"1111"_s, t), V::Wrong);
    EXPECT_EQ(gate.check(tablet, u"2468"_s, t.addMSecs(900)), V::TooSoon) << "even the right PIN waits";
    EXPECT_EQ(gate.check(other, u"2468"_s, t), V::Accepted) << "another device is not held up";
    t = t.addSecs(1);
    EXPECT_EQ(gate.check(tablet, u"1112"_s, t), V::Wrong);
    EXPECT_EQ(gate.waitSeconds(tablet, t), 2);
    t = t.addSecs(2);
    EXPECT_EQ(gate.check(tablet, u"1113"_s, t), V::Wrong);
    EXPECT_EQ(gate.waitSeconds(tablet, t), 4);
    for (int i = 0; i < 20; ++i) {
        t = t.addSecs(gate.waitSeconds(tablet, t));
        gate.check(tablet, u"0000"_s, t);
    }
    EXPECT_EQ(gate.waitSeconds(tablet, t), 300) << "at most five minutes";
    t = t.addSecs(300);
    EXPECT_EQ(gate.check(tablet, u" 2468 "_s, t), V::Accepted);
    EXPECT_EQ(gate.check(tablet, u"1111"_s, t), V::Wrong);
    EXPECT_EQ(gate.waitSeconds(tablet, t), 1) << "a success starts the count again";

    EXPECT_EQ(PinGate(QString()).check(tablet, QString(), t), V::Wrong) << "no PIN set lets no one in by PIN";
    EXPECT_NE(PinGate::newToken(), PinGate::newToken());
    EXPECT_GE(PinGate::newToken().size(), 40);
}

TEST(KitchenDisplay, EveryPageHearsFromTheServiceWhileTheBoardStands)
{
    tavo::platform::setEchoEnabled(false);
    QTemporaryDir dir;
    tavo::db::Connection cn; // the board is not read: it stands empty
    KitchenDisplay display(cn, KdsSettings {}, dir.path());
    display.setHeartbeatInterval(std::chrono::milliseconds(40));
    ASSERT_TRUE(display.start()) << display.error().toStdString();

    QWebSocket page;
    QList<QJsonObject> heard;
    QObject::connect(&page, &QWebSocket::binaryMessageReceived,
        [&](const QByteArray &text) { heard.append(QJsonDocument::fromJson(text).object()); });
    QUrl url = display.url();
    url.setScheme(u"ws"_s);
    url.setPath(u"/ws"_s);
    page.open(url);
    // The board and the watch come at once; then, with nothing to say, the service still speaks.
    const auto beats = [&] {
        return std::count_if(heard.begin(), heard.end(),
            [](const QJsonObject &m) { return m.keys() == QStringList { u"now"_s }; });
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return beats() >= 3; }, 5000)) << heard.size() << " messages";
    ASSERT_GE(heard.size(), 2);
    EXPECT_TRUE(heard[0].contains(u"board"_s));
    EXPECT_GT(heard.last()[u"now"_s].toDouble(), heard.first()[u"now"_s].toDouble());
}
