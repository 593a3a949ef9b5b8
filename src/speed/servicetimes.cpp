#include "speed/servicetimes.h"

#include <QSet>

#include <algorithm>
#include <cmath>
#include <map>

namespace tavo::speed {

namespace {

qint64 nearestRank(const QList<qint64> &sorted, int percent)
{
    const auto rank = qsizetype(std::ceil(double(percent) / 100.0 * double(sorted.size())));
    return sorted[std::clamp<qsizetype>(rank, 1, sorted.size()) - 1];
}

// The bumps of one order by the row they reach, each with the earliest time any bump reaching
// that far was made: a row's bump is then one search away.
struct OrderBumps {
    QList<qint64> upTo;
    QList<QDateTime> earliestFrom;
};

QHash<QString, OrderBumps> bumpsByOrder(const QList<Bump> &bumps)
{
    QHash<QString, QList<const Bump *>> grouped;
    for (const Bump &b : bumps)
        if (b.at.isValid())
            grouped[b.orderPID].append(&b);
    QHash<QString, OrderBumps> byOrder;
    byOrder.reserve(grouped.size());
    for (auto it = grouped.begin(); it != grouped.end(); ++it) {
        QList<const Bump *> &list = it.value();
        std::sort(
            list.begin(), list.end(), [](const Bump *a, const Bump *b) { return a->upToRNo < b->upToRNo; });
        OrderBumps order;
        order.upTo.resize(list.size());
        order.earliestFrom.resize(list.size());
        QDateTime earliest;
        for (qsizetype i = list.size() - 1; i >= 0; --i) {
            if (!earliest.isValid() || list[i]->at < earliest)
                earliest = list[i]->at;
            order.upTo[i] = list[i]->upToRNo;
            order.earliestFrom[i] = earliest;
        }
        byOrder.insert(it.key(), order);
    }
    return byOrder;
}

QDateTime bumpedAt(const QHash<QString, OrderBumps> &byOrder, const OrderedItem &item)
{
    const auto found = byOrder.constFind(item.orderPID);
    if (found == byOrder.constEnd())
        return {};
    const auto reaching = std::lower_bound(found->upTo.cbegin(), found->upTo.cend(), item.rno);
    if (reaching == found->upTo.cend())
        return {};
    return found->earliestFrom[reaching - found->upTo.cbegin()];
}

// When `item` was done: its first bump, or its crossing off when that came first; invalid while
// neither happened.
QDateTime doneAt(const QHash<QString, OrderBumps> &byOrder, const QHash<qint64, QDateTime> &crossedOff,
    const OrderedItem &item)
{
    QDateTime done = bumpedAt(byOrder, item);
    const QDateTime crossed = crossedOff.value(item.rno);
    if (crossed.isValid() && (!done.isValid() || crossed < done))
        done = crossed;
    return done;
}

QDateTime hourOf(const QDateTime &at)
{
    return QDateTime(at.date(), QTime(at.time().hour(), 0), at.timeSpec());
}

} // namespace

Durations summarize(QList<qint64> seconds)
{
    Durations d;
    d.count = int(seconds.size());
    if (seconds.isEmpty())
        return d;
    std::sort(seconds.begin(), seconds.end());
    d.median = nearestRank(seconds, 50);
    d.p90 = nearestRank(seconds, 90);
    d.longest = seconds.last();
    return d;
}

ServiceTimes serviceTimes(
    const QList<OrderedItem> &items, const QList<Bump> &bumps, const QHash<qint64, QDateTime> &crossedOff)
{
    const QHash<QString, OrderBumps> byOrder = bumpsByOrder(bumps);
    struct Dish {
        QList<qint64> seconds;
        int unfinished = 0;
    };
    struct Hour {
        QSet<QString> orders;
        QList<qint64> seconds;
    };
    QHash<QString, Dish> dishes;
    std::map<QDateTime, Hour> hours;
    QList<qint64> all;
    all.reserve(items.size());
    ServiceTimes out;
    for (const OrderedItem &item : items) {
        if (!item.orderedAt.isValid())
            continue;
        const QDateTime done = doneAt(byOrder, crossedOff, item);
        Dish &dish = dishes[item.dish];
        Hour &hour = hours[hourOf(item.orderedAt)];
        hour.orders.insert(item.orderPID);
        if (!done.isValid()) {
            ++dish.unfinished;
            ++out.unfinished;
            continue;
        }
        const qint64 seconds = std::max<qint64>(0, item.orderedAt.secsTo(done));
        dish.seconds.append(seconds);
        hour.seconds.append(seconds);
        all.append(seconds);
    }

    for (auto it = dishes.cbegin(); it != dishes.cend(); ++it)
        out.dishes.append({ it.key(), summarize(it->seconds), it->unfinished });
    std::sort(out.dishes.begin(), out.dishes.end(), [](const DishTimes &a, const DishTimes &b) {
        return a.done.count != b.done.count ? a.done.count > b.done.count : a.dish < b.dish;
    });
    for (const auto &[hour, figures] : hours)
        out.hours.append({ hour, int(figures.orders.size()), summarize(figures.seconds) });
    out.overall = summarize(std::move(all));
    return out;
}

DayPace dayPace(const QList<OrderedItem> &items, const QList<Bump> &bumps,
    const QHash<qint64, QDateTime> &crossedOff, const QDateTime &dayStart, const QDateTime &now,
    qint64 redSeconds)
{
    const QHash<QString, OrderBumps> byOrder = bumpsByOrder(bumps);
    const QDateTime hourAgo = now.addSecs(-3600);
    QList<qint64> today;
    QHash<QString, qint64> slowestOfOrder;
    QHash<QString, QList<qint64>> lastHour;
    for (const OrderedItem &item : items) {
        const QDateTime done = doneAt(byOrder, crossedOff, item);
        if (!item.orderedAt.isValid() || !done.isValid() || done < dayStart)
            continue;
        const qint64 seconds = std::max<qint64>(0, item.orderedAt.secsTo(done));
        today.append(seconds);
        qint64 &slowest = slowestOfOrder[item.orderPID];
        slowest = std::max(slowest, seconds);
        if (done >= hourAgo)
            lastHour[item.dish].append(seconds);
    }
    DayPace pace;
    pace.today = summarize(std::move(today));
    pace.ordersOverRed = int(std::count_if(slowestOfOrder.cbegin(), slowestOfOrder.cend(),
        [redSeconds](qint64 seconds) { return seconds > redSeconds; }));
    for (auto it = lastHour.cbegin(); it != lastHour.cend(); ++it)
        pace.slowestLastHour.append({ it.key(), summarize(it.value()), 0 });
    std::sort(
        pace.slowestLastHour.begin(), pace.slowestLastHour.end(), [](const DishTimes &a, const DishTimes &b) {
            return a.done.median != b.done.median ? a.done.median > b.done.median : a.dish < b.dish;
        });
    if (pace.slowestLastHour.size() > DayPace::kSlowestShown)
        pace.slowestLastHour.resize(DayPace::kSlowestShown);
    return pace;
}

} // namespace tavo::speed
