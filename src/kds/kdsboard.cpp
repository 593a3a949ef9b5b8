#include "kds/kdsboard.h"

#include "db/connection.h"
#include "db/dbglobals.h"
#include "db/valuetext.h"
#include "tickets/kitchenticket.h"
#include "util/dates.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTime>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tavo::kds {

namespace {

// "hh:mm:ss" or "hh:mm", alone or after a date. Read by hand: Qt's parser of formats takes longer
// than the rest of a row together.
QTime timeOf(const QString &text)
{
    const QStringView clock = QStringView(text).trimmed().split(u' ').back();
    const auto parts = clock.split(u':');
    if (parts.size() < 2 || parts.size() > 3)
        return {};
    int values[3] = { 0, 0, 0 };
    for (qsizetype i = 0; i < parts.size(); ++i) {
        bool ok = false;
        values[i] = parts[i].toInt(&ok);
        if (!ok || parts[i].size() > 2)
            return {};
    }
    return QTime(values[0], values[1], values[2]);
}

} // namespace

QDateTime orderedAt(
    const QString &orderDate, const QString &orderTime, const QString &fileDate, QHash<QString, QDate> &days)
{
    // A night's orders carry one or two dates: each is read once.
    auto known = days.constFind(orderDate);
    if (known == days.constEnd())
        known = days.insert(orderDate, toDate(orderDate));
    const QDate day = *known;
    const QTime time = timeOf(orderTime);
    if (day.isValid() && time.isValid())
        return QDateTime(day, time, Qt::UTC);
    const QDate fileDay = toDate(fileDate);
    const QTime fileTime = timeOf(fileDate);
    if (fileDay.isValid())
        return QDateTime(fileDay, fileTime.isValid() ? fileTime : QTime(0, 0), Qt::UTC);
    return {};
}

namespace {

tickets::KitchenTicket ticketOf(const OrderRow &r)
{
    tickets::KitchenTicket t;
    t.OrderPID = r.orderPID;
    t.ItemName = r.itemName;
    t.ItemType = r.itemType;
    t.PriceCap = r.priceCap;
    t.Remark = r.remark;
    t.DelMark = r.delMark;
    t.Qty = r.qty;
    t.Amt = r.amt;
    t.Price = r.price;
    t.menuRemark = r.menuRemark;
    return t;
}

CardItem itemOf(qint64 rno, const tickets::KitchenTicket &t)
{
    const tickets::TicketLines lines = tickets::ticketLines(t, {});
    CardItem item;
    item.rno = rno;
    item.item = lines.item;
    item.quantity = lines.quantity;
    item.addOns = lines.addOns;
    item.dish = t.PriceCap.isEmpty() ? t.ItemName : t.ItemName + u"-"_s + t.PriceCap;
    item.qty = t.Qty;
    item.addOnRow = tickets::isAddOnType(t.ItemType);
    item.red = t.Qty <= 0;
    return item;
}

} // namespace

QList<OrderRow> readOpenRows(db::Connection &cn, const QString &port, MenuRemarks *menuRemarks)
{
    // By position: the columns are read a thousand times a cycle on a busy night.
    enum {
        RNo,
        OrderPID,
        TblName,
        OrderTime,
        OrderDate,
        FileDate,
        ItemName,
        ItemType,
        PriceCap,
        Price,
        Qty,
        Amt,
        Remark,
        DelMark,
        TypeNo
    };
    db::Recordset rs = cn.openRecordset(
        u"SELECT RNo, OrderPID, TblName, OrderTime, OrderDate, FileDate, ItemName, ItemType, PriceCap, "_s
        u"Price, Qty, Amt, Remark, DelMark, TypeNo FROM ORDERI WHERE KPort = "_s
        + QuotStr(port) + u" AND OPDate IS NULL ORDER BY RNo"_s);
    QList<OrderRow> rows;
    QHash<QString, QDate> days;
    for (; !rs.eof(); rs.moveNext()) {
        OrderRow r;
        r.rno = qint64(rs.number(RNo));
        r.orderPID = rs.text(OrderPID);
        r.tblName = rs.text(TblName);
        r.itemName = rs.text(ItemName);
        r.itemType = rs.text(ItemType);
        r.priceCap = rs.text(PriceCap);
        r.remark = rs.text(Remark);
        r.delMark = rs.text(DelMark);
        r.typeNo = rs.text(TypeNo);
        r.qty = rs.number(Qty);
        r.amt = rs.number(Amt);
        r.price = rs.number(Price);
        r.orderedAt = orderedAt(rs.text(OrderDate), rs.text(OrderTime), rs.text(FileDate), days);
        rows.append(r);
    }
    if (menuRemarks) {
        MenuRemarks onBoard;
        for (OrderRow &r : rows) {
            const QString dish = r.typeNo + u'\x1f' + r.itemName;
            auto known = onBoard.constFind(dish);
            if (known == onBoard.constEnd()) {
                const auto cached = menuRemarks->constFind(dish);
                known = onBoard.insert(dish,
                    cached != menuRemarks->constEnd() ? *cached
                                                      : tickets::readMenuRemark(cn, r.typeNo, r.itemName));
            }
            r.menuRemark = *known;
        }
        *menuRemarks = std::move(onBoard);
    }
    return rows;
}

QList<Card> buildCards(
    const QList<OrderRow> &rows, const QHash<QString, qint64> &bumpedUpTo, const QSet<qint64> &crossedOff)
{
    QList<Card> cards;
    QHash<QString, qsizetype> cardOf;
    // Per card, the item whose ticket takes the add-on rows that follow it, as the printed ticket
    // does; a rush request or an add-on row breaks the run.
    QHash<QString, bool> takesAddOns;
    for (const OrderRow &r : rows) {
        if (r.rno <= bumpedUpTo.value(r.orderPID, 0))
            continue;
        auto found = cardOf.constFind(r.orderPID);
        if (found == cardOf.constEnd()) {
            Card card;
            card.orderPID = r.orderPID;
            card.table = r.tblName.isEmpty() ? r.orderPID : r.tblName;
            found = cardOf.insert(r.orderPID, cards.size());
            cards.append(card);
        }
        Card &card = cards[*found];
        card.upTo = std::max(card.upTo, r.rno);
        if (r.orderedAt.isValid() && (!card.since.isValid() || r.orderedAt < card.since))
            card.since = r.orderedAt;

        const tickets::KitchenTicket ticket = ticketOf(r);
        bool &takes = takesAddOns[r.orderPID];
        if (tickets::isAddOnType(r.itemType) && takes && !card.items.isEmpty()) {
            tickets::KitchenTicket carrier;
            carrier.addOns.append({ {}, r.itemName, r.qty, r.remark });
            card.items.last().addOns += tickets::ticketLines(carrier, {}).addOns;
            continue;
        }
        card.items.append(itemOf(r.rno, ticket));
        card.items.last().crossedOff = crossedOff.contains(r.rno);
        takes = tickets::listsAddOns(ticket, {});
    }
    std::stable_sort(
        cards.begin(), cards.end(), [](const Card &a, const Card &b) { return a.since < b.since; });
    return cards;
}

QList<Waiting> waitingTotals(const QList<Card> &cards)
{
    QHash<QString, double> totals;
    QStringList order;
    for (const Card &card : cards)
        for (const CardItem &item : card.items) {
            if (item.addOnRow || item.qty == 0 || item.crossedOff)
                continue;
            if (!totals.contains(item.dish))
                order.append(item.dish);
            totals[item.dish] += item.qty;
        }
    QList<Waiting> waiting;
    for (const QString &dish : order)
        if (totals.value(dish) > 0)
            waiting.append({ dish, totals.value(dish) });
    std::stable_sort(
        waiting.begin(), waiting.end(), [](const Waiting &a, const Waiting &b) { return a.qty > b.qty; });
    return waiting;
}

bool allCrossedOff(const Card &card)
{
    return !card.items.isEmpty()
        && std::all_of(
            card.items.cbegin(), card.items.cend(), [](const CardItem &i) { return i.crossedOff; });
}

QList<Recallable> recallList(const QList<OrderRow> &rows, const QList<Bump> &bumps, const QDateTime &now)
{
    // Per order its latest bump and the one before it: a recall shows the rows between the two.
    QHash<QString, Bump> latest;
    QHash<QString, qint64> before;
    for (const Bump &b : bumps) {
        if (const auto found = latest.constFind(b.orderPID); found != latest.constEnd())
            before[b.orderPID] = std::max(before.value(b.orderPID), found->upTo);
        latest[b.orderPID] = b;
    }
    const QDateTime from = now.addSecs(-60 * kRecallMinutes);
    QHash<QString, Recallable> shown;
    for (const OrderRow &r : rows) {
        const auto bump = latest.constFind(r.orderPID);
        if (bump == latest.constEnd() || bump->at < from || r.rno > bump->upTo
            || r.rno <= before.value(r.orderPID))
            continue;
        auto found = shown.find(r.orderPID);
        if (found == shown.end())
            found = shown.insert(r.orderPID, { *bump, r.tblName.isEmpty() ? r.orderPID : r.tblName, {} });
        if (r.orderedAt.isValid() && (!found->since.isValid() || r.orderedAt < found->since))
            found->since = r.orderedAt;
    }
    QList<Recallable> list = shown.values();
    std::sort(list.begin(), list.end(),
        [](const Recallable &a, const Recallable &b) { return a.bump.id > b.bump.id; });
    if (list.size() > kRecallListSize)
        list.resize(kRecallListSize);
    return list;
}

namespace {

QByteArray jsonString(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray { text }).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// The wall clock's time as the moment it names here.
qint64 wallMSecs(const QDateTime &wall)
{
    return QDateTime(wall.date(), wall.time()).toMSecsSinceEpoch();
}

} // namespace

BoardJson boardJson(const QList<Card> &cards, const BoardView &view)
{
    BoardJson out;
    QJsonArray order;
    for (const Card &card : cards) {
        QJsonArray items;
        for (const CardItem &item : card.items)
            items.append(QJsonObject { { u"rno"_s, double(item.rno) }, { u"item"_s, item.item },
                { u"qty"_s, item.quantity }, { u"addOns"_s, item.addOns }, { u"red"_s, item.red },
                { u"done"_s, item.crossedOff } });
        const qint64 since = wallMSecs(card.since);
        out.cards.insert(card.orderPID,
            QJsonDocument(
                QJsonObject { { u"id"_s, card.orderPID }, { u"table"_s, card.table },
                    { u"upTo"_s, double(card.upTo) }, { u"since"_s, double(since) }, { u"items"_s, items } })
                .toJson(QJsonDocument::Compact));
        order.append(card.orderPID);
    }
    QJsonArray waiting;
    for (const Waiting &w : waitingTotals(cards))
        waiting.append(QJsonObject { { u"dish"_s, w.dish }, { u"qty"_s, db::numberText(w.qty) } });
    QJsonArray recent;
    for (const Recallable &r : view.recent)
        recent.append(QJsonObject { { u"id"_s, r.bump.orderPID }, { u"table"_s, r.table },
            { u"at"_s, double(wallMSecs(r.bump.at)) }, { u"since"_s, double(wallMSecs(r.since)) } });
    QJsonArray slowest;
    if (view.slowestDishes)
        for (const speed::DishTimes &d : view.pace.slowestLastHour)
            slowest.append(QJsonObject { { u"dish"_s, d.dish }, { u"count"_s, d.done.count },
                { u"median"_s, double(d.done.median) } });
    const QJsonObject pace { { u"count"_s, view.pace.today.count },
        { u"median"_s, double(view.pace.today.median) }, { u"overRed"_s, view.pace.ordersOverRed },
        { u"slowest"_s, view.slowestDishes ? QJsonValue(slowest) : QJsonValue() } };
    out.head = QJsonDocument(QJsonObject { { u"port"_s, view.port }, { u"amber"_s, view.amberMinutes },
                                 { u"red"_s, view.redMinutes }, { u"canRecall"_s, view.canRecall },
                                 { u"crossOffBumps"_s, view.crossOffBumps }, { u"order"_s, order },
                                 { u"waiting"_s, waiting }, { u"recent"_s, recent }, { u"pace"_s, pace } })
                   .toJson(QJsonDocument::Compact);
    return out;
}

QByteArray BoardJson::message(const QHash<QString, QByteArray> &known) const
{
    QByteArray text = head.chopped(1) + ",\"cards\":{";
    bool first = true;
    for (auto it = cards.cbegin(); it != cards.cend(); ++it) {
        if (known.value(it.key()) == it.value())
            continue;
        if (!first)
            text += ',';
        first = false;
        text += jsonString(it.key()) + ':' + it.value();
    }
    return text + "}}";
}

} // namespace tavo::kds
