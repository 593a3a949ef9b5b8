#pragma once
// How long the kitchen took: each item from its order time to the bump that took it off the
// display (or to its crossing off, when that came first), gathered per dish and per hour of the
// order time. Plain values in and out, so the figures can be worked out by hand.
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

namespace tavo::speed {

// An item the kitchen makes: an ORDERI row of the port that is neither an add-on nor a return.
struct OrderedItem {
    qint64 rno = 0;
    QString orderPID;
    QString dish; // name and price class, as the display's waiting totals name it
    QDateTime orderedAt; // as kds::orderedAt: the wall clock, marked UTC
};

// A bump of the kitchen display: the order `orderPID` done up to its row `upToRNo`.
struct Bump {
    QString orderPID;
    qint64 upToRNo = 0;
    QDateTime at; // the wall clock, marked UTC
};

// Times in seconds. Median and 90th percentile are nearest-rank: the value at rank
// ceil(p/100 * count) of the sorted times. Every figure is then a time some item really took,
// and an even count gives the lower of the two middle times as its median.
struct Durations {
    int count = 0;
    qint64 median = 0, p90 = 0, longest = 0;

    bool operator==(const Durations &) const = default;
};
Durations summarize(QList<qint64> seconds);

struct DishTimes {
    QString dish;
    Durations done;
    int unfinished = 0; // never bumped nor crossed off

    bool operator==(const DishTimes &) const = default;
};

struct HourTimes {
    QDateTime hour; // the hour the items were ordered in, as orderedAt
    int orders = 0; // orders with an item ordered in the hour, done or not
    Durations done;

    bool operator==(const HourTimes &) const = default;
};

struct ServiceTimes {
    QList<DishTimes> dishes; // most items done first, then by name
    QList<HourTimes> hours; // in time order: a night goes on past midnight
    Durations overall;
    int unfinished = 0;
};

// An item is done by the earliest bump of its order that reaches its row (a recalled bump is no
// longer in `bumps`), or by its crossing off (`crossedOff`, by RNo) when that came first. A bump
// stamped before the order time (a POS clock ahead of this machine's) counts as no time at all.
// Items without an order time are left out.
ServiceTimes serviceTimes(const QList<OrderedItem> &items, const QList<Bump> &bumps,
    const QHash<qint64, QDateTime> &crossedOff = {});

// What a display shows while the day goes on: the items done since `dayStart` (an item ordered
// before it and done after counts), the orders among them whose slowest item took longer than
// `redSeconds`, and the dishes done in the hour before `now`, slowest median first.
struct DayPace {
    static constexpr int kSlowestShown = 5;
    Durations today;
    int ordersOverRed = 0;
    QList<DishTimes> slowestLastHour;
};
DayPace dayPace(const QList<OrderedItem> &items, const QList<Bump> &bumps,
    const QHash<qint64, QDateTime> &crossedOff, const QDateTime &dayStart, const QDateTime &now,
    qint64 redSeconds);

} // namespace tavo::speed
