// The kitchen display's cards, waiting totals, bump file, PIN door and heartbeat, without a
// browser (the page itself is driven in Chromium by kds/test_kds_browser.py).
#include "db/connection.h"
#include "demo/demoschema.h"
#include "kds/kdsboard.h"
#include "kds/kdssettings.h"
#include "kds/kdsstore.h"
#include "kds/kitchendisplay.h"
#include "kds/pingate.h"
#include "platform/echo.h"
#include "platform/services.h"

#include <QDir>
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

    store.forgetBefore(kNoon.addDays(1));
    EXPECT_TRUE(store.bumpedUpTo(u"PB"_s).isEmpty());
}

TEST(KdsBoard, CrossedOffItemsWaitNoMore)
{
    const QList<OrderRow> rows { row(1, u"A01-1"_s, u"排骨飯"_s, 2),
        row(2, u"A01-1"_s, u"加蛋"_s, 2, u"A1"_s), row(3, u"A01-1"_s, u"紅茶"_s, 1),
        row(4, u"B01-1"_s, u"排骨飯"_s, 1) };
    // The rice at A01 is made, with the eggs riding on it: B01's bowl and A01's tea still wait.
    const QList<Card> cards = buildCards(rows, {}, { 1 });
    ASSERT_EQ(cards[0].items.size(), 2);
    EXPECT_TRUE(cards[0].items[0].crossedOff);
    EXPECT_EQ(cards[0].items[0].addOns, u"/加蛋*2"_s);
    EXPECT_FALSE(cards[0].items[1].crossedOff);
    QHash<QString, double> waiting;
    for (const Waiting &w : waitingTotals(cards))
        waiting.insert(w.dish, w.qty);
    EXPECT_EQ(waiting, (QHash<QString, double> { { u"排骨飯"_s, 1 }, { u"紅茶"_s, 1 } }));
    EXPECT_FALSE(allCrossedOff(cards[0]));
    EXPECT_TRUE(allCrossedOff(buildCards(rows, {}, { 1, 3 })[0]));
    EXPECT_EQ(waitingTotals(buildCards(rows, {}, { 1, 3, 4 })).size(), 0);
    // The page is told which rows are crossed off, each by its row.
    const QJsonObject card
        = QJsonDocument::fromJson(boardJson(cards, { u"PK"_s }).cards.value(u"A01-1"_s)).object();
    const QJsonArray items = card[u"items"_s].toArray();
    EXPECT_EQ(items[0].toObject()[u"rno"_s].toInt(), 1);
    EXPECT_TRUE(items[0].toObject()[u"done"_s].toBool());
    EXPECT_FALSE(items[1].toObject()[u"done"_s].toBool());
}

TEST(KdsBoard, RecallListHoldsTheLastHalfHourUpToFifty)
{
    const QDateTime now = kNoon.addSecs(3600);
    QList<OrderRow> rows;
    QList<Bump> bumps;
    // 60 orders bumped a minute apart up to a minute ago, each with two rows.
    for (int n = 0; n < 60; ++n) {
        const QString pid = u"T%1-1"_s.arg(n, 2, 10, QChar(u'0'));
        rows << row(2 * n + 1, pid, u"排骨飯"_s, 1, {}, {}, -n)
             << row(2 * n + 2, pid, u"紅茶"_s, 1, {}, {}, 2 - n);
        bumps << Bump { n + 1, pid, 2 * n + 2, now.addSecs(-60 * (60 - n)) };
    }
    // The one bumped last (T59) first; those bumped more than 30 minutes ago are not offered.
    const QList<Recallable> list = recallList(rows, bumps, now);
    ASSERT_EQ(list.size(), 30);
    EXPECT_EQ(list.first().bump.orderPID, u"T59-1"_s);
    EXPECT_EQ(list.last().bump.orderPID, u"T30-1"_s);
    EXPECT_EQ(list.first().since, kNoon.addSecs(-59 * 60)) << "aged from its first row";

    // A rush hour: all 60 bumped within the half hour, the 50 latest offered.
    QList<Bump> rush;
    for (int n = 0; n < 60; ++n)
        rush << Bump { n + 1, rows[2 * n].orderPID, rows[2 * n + 1].rno, now.addSecs(-n) };
    const QList<Recallable> capped = recallList(rows, rush, now);
    ASSERT_EQ(capped.size(), 50);
    EXPECT_EQ(capped.first().bump.id, 60);
    EXPECT_EQ(capped.last().bump.id, 11);

    // Bumped twice: the later bump brings back only the row it took, aged from that row; an order
    // closed since is left out.
    rows << row(200, u"T59-1"_s, u"滷蛋"_s, 1, {}, {}, 30);
    bumps << Bump { 100, u"T59-1"_s, 200, now };
    rows.removeIf([](const OrderRow &r) { return r.orderPID == u"T58-1"_s; });
    const QList<Recallable> again = recallList(rows, bumps, now);
    ASSERT_EQ(again.size(), 29);
    EXPECT_EQ(again.first().bump.upTo, 200);
    EXPECT_EQ(again.first().since, kNoon.addSecs(30 * 60));
    EXPECT_EQ(again[1].bump.orderPID, u"T57-1"_s);
}

TEST(KdsStore, CrossOffsAndBumpsKeepTheirTimes)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(u"KDS.db"_s);
    {
        KdsStore store(file);
        ASSERT_TRUE(store.ok()) << store.lastError().toStdString();
        EXPECT_TRUE(store.crossOff(u"PK"_s, 7, kNoon));
        EXPECT_TRUE(store.crossOff(u"PK"_s, 7, kNoon.addSecs(30))) << "a second display's tap";
        EXPECT_TRUE(store.crossOff(u"PK"_s, 9, kNoon.addSecs(60)));
        EXPECT_TRUE(store.crossOff(u"PB"_s, 8, kNoon));
        EXPECT_TRUE(store.bump(u"PK"_s, u"A01-1"_s, 9, kNoon.addSecs(90)));
        EXPECT_TRUE(store.bump(u"PK"_s, u"B01-1"_s, 12, kNoon.addSecs(300)));
    }
    KdsStore store(file);
    EXPECT_EQ(store.crossedOff(u"PK"_s), (QSet<qint64> { 7, 9 }));
    // Read back as the wall clock, marked UTC, as the order times are.
    const auto wall = [](const QDateTime &at) { return QDateTime(at.date(), at.time(), Qt::UTC); };
    EXPECT_EQ(store.crossedOffSince(u"PK"_s, wall(kNoon)),
        (QHash<qint64, QDateTime> { { 7, wall(kNoon) }, { 9, wall(kNoon.addSecs(60)) } }));
    EXPECT_TRUE(store.uncrossOff(u"PK"_s, 9));
    EXPECT_EQ(store.crossedOff(u"PK"_s), QSet<qint64> { 7 }) << "a second tap brings the item back";
    EXPECT_EQ(store.crossedOff(u"PB"_s), QSet<qint64> { 8 });

    const QList<Bump> bumps = store.bumpsBetween(u"PK"_s, kNoon, kNoon.addSecs(120));
    ASSERT_EQ(bumps.size(), 1);
    EXPECT_EQ(bumps[0].orderPID, u"A01-1"_s);
    EXPECT_EQ(bumps[0].upTo, 9);
    EXPECT_EQ(bumps[0].at, kNoon.addSecs(90));
    EXPECT_EQ(store.bumpsBetween(u"PK"_s, kNoon, kNoon.addDays(1)).size(), 2);

    store.forgetBefore(kNoon.addDays(1));
    EXPECT_TRUE(store.crossedOff(u"PK"_s).isEmpty());
    EXPECT_TRUE(store.bumpsBetween(u"PK"_s, kNoon, kNoon.addDays(1)).isEmpty());
}

namespace {

class MapSettings : public tavo::platform::SettingsStore {
public:
    QHash<QString, QString> values;
    QString get(
        const QString &, const QString &section, const QString &key, const QString &fallback) const override
    {
        return values.value(section + u'/' + key, fallback);
    }
    void save(const QString &, const QString &section, const QString &key, const QString &value) override
    {
        values.insert(section + u'/' + key, value);
    }
};

} // namespace

TEST(KdsSettings, CrossingOffTheLastItemBumpsOnlyWhenAsked)
{
    MapSettings settings;
    settings.values.insert(u"KDS/PORT"_s, u"8470"_s);
    EXPECT_FALSE(readKdsSettings(settings).crossOffBumps);
    for (const auto &[text, on] : { std::pair { u"1"_s, true }, { u"Y"_s, true }, { u" true "_s, true },
             { u"0"_s, false }, { u"N"_s, false }, { u"bump"_s, false } }) {
        settings.values.insert(u"KDS/CROSSOFFBUMPS"_s, text);
        EXPECT_EQ(readKdsSettings(settings).crossOffBumps, on) << text.toStdString();
    }
}

TEST(KdsBoard, CardsShowTheMenusRemarkAsTheTicketPrintsIt)
{
    tavo::db::Connection cn;
    cn.open(u"Provider=SQLite;Data Source=:memory:"_s);
    tavo::demo::createSchema(cn);
    cn.execute(
        u"INSERT INTO MENUITEM (TypeNo, ItemName, Remark) VALUES (3, '石斑魚', '清蒸'), (3, '白飯', NULL), "
        u"(4, '紅茶', '去冰')"_s);
    const auto order = [&](int rno, const QString &name, const QString &typeNo, const QString &remark) {
        cn.execute(
            u"INSERT INTO ORDERI (RNo, KPort, OrderPID, TblName, OrderDate, OrderTime, ItemName, TypeNo, "
            u"Qty, Amt, Price, Remark) VALUES (%1, 'PK', 'A01-1', 'A01', '2026/05/01', '12:00:00', '%2', %3, "
            u"1, 100, 100, '%4')"_s.arg(rno)
                .arg(name, typeNo, remark));
    };
    order(1, u"石斑魚"_s, u"3"_s, u"少鹽"_s);
    order(2, u"白飯"_s, u"3"_s, {});
    order(3, u"紅茶"_s, u"3"_s, {}); // filed under another type in the menu
    order(4, u"石斑魚"_s, u"NULL"_s, {});

    MenuRemarks cache;
    const QStringList shown = itemsOf(buildCards(readOpenRows(cn, u"PK"_s, &cache), {}).value(0));
    EXPECT_EQ(shown, (QStringList { u"石斑魚-清蒸 <少鹽>|1"_s, u"白飯-|1"_s, u"紅茶|1"_s, u"石斑魚|1"_s }));
    EXPECT_EQ(itemsOf(buildCards(readOpenRows(cn, u"PK"_s), {}).value(0)).first(), u"石斑魚 <少鹽>|1"_s)
        << "a site that prints no menu remarks shows none";
    // Read once while the dish is on the board.
    cn.execute(u"UPDATE MENUITEM SET Remark = '紅燒' WHERE ItemName = '石斑魚'"_s);
    EXPECT_EQ(itemsOf(buildCards(readOpenRows(cn, u"PK"_s, &cache), {}).value(0)).first(),
        u"石斑魚-清蒸 <少鹽>|1"_s);
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

TEST(KitchenDisplay, CrossingOffTheLastItemBumpsTheCardWhenSetSo)
{
    tavo::platform::setEchoEnabled(false);
    QTemporaryDir dir;
    tavo::db::Connection cn;
    cn.open(u"Provider=SQLite;Data Source=:memory:"_s);
    tavo::demo::createSchema(cn);
    for (int rno = 1; rno <= 3; ++rno)
        cn.execute(
            u"INSERT INTO ORDERI (RNo, KPort, OrderPID, TblName, OrderDate, OrderTime, ItemName, Qty, Amt, "
            u"Price) VALUES (%1, 'PK', '%2', 'A01', '2026/05/01', '12:00:00', '滷肉飯', 1, 35, 35)"_s.arg(rno)
                .arg(rno < 3 ? u"A01-1"_s : u"B01-1"_s));
    KdsSettings settings;
    settings.crossOffBumps = true;
    KitchenDisplay display(cn, settings, dir.path());
    ASSERT_TRUE(display.start()) << display.error().toStdString();
    display.setPort(u"PK"_s);
    display.refresh();

    QWebSocket page;
    int boards = 0;
    QObject::connect(&page, &QWebSocket::binaryMessageReceived, [&](const QByteArray &text) {
        boards += QJsonDocument::fromJson(text).object().contains(u"board"_s);
    });
    QUrl url = display.url();
    url.setScheme(u"ws"_s);
    url.setPath(u"/ws"_s);
    page.open(url);
    ASSERT_TRUE(QTest::qWaitFor([&] { return boards == 1; }, 5000));
    const auto cross = [&](int rno, bool done) {
        const int before = boards;
        page.sendTextMessage(
            u"{\"do\":\"cross\",\"rno\":%1,\"done\":%2}"_s.arg(rno).arg(done ? u"true"_s : u"false"_s));
        return QTest::qWaitFor([&] { return boards > before; }, 5000);
    };
    const auto bumpedOrders = [&] {
        KdsStore store(QDir(dir.path()).filePath(u"KDS.db"_s));
        QStringList orders;
        for (const Bump &b : store.bumpsBetween(u"PK"_s, kNoon.addYears(-10), kNoon.addYears(10)))
            orders << b.orderPID + u':' + QString::number(b.upTo);
        return orders;
    };
    EXPECT_TRUE(cross(1, true));
    EXPECT_TRUE(cross(1, false));
    EXPECT_TRUE(cross(2, true));
    EXPECT_TRUE(bumpedOrders().isEmpty()) << "row 1 was taken back: the card has an item to make";
    EXPECT_TRUE(cross(1, true));
    EXPECT_EQ(bumpedOrders(), QStringList { u"A01-1:2"_s });
    // A row that is on no card is not the page's to mark.
    EXPECT_TRUE(cross(99, true));
    KdsStore store(QDir(dir.path()).filePath(u"KDS.db"_s));
    EXPECT_EQ(store.crossedOff(u"PK"_s), (QSet<qint64> { 1, 2 }));
}
