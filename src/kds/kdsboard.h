#pragma once
// What the kitchen display shows: one card per open order of the watched port, oldest first,
// its items as the kitchen ticket lists them, and the quantities still to make over all cards.
// Built from the rows alone, so it can be checked without a server or a browser.
#include "kds/kdsstore.h"

#include "speed/servicetimes.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>

namespace tavo::db {
class Connection;
}

namespace tavo::kds {

// One open ORDERI row of the port.
struct OrderRow {
    qint64 rno = 0;
    QString orderPID, tblName, itemName, itemType, priceCap, remark, delMark, typeNo;
    double qty = 0, amt = 0, price = 0;
    QDateTime orderedAt; // the wall clock's time, marked UTC; invalid when the row has none
    // The menu's own remark for the item, as the kitchen ticket prints it when the site has it so.
    std::optional<QString> menuRemark;

    bool operator==(const OrderRow &) const = default;
};

// When a row was ordered. The POS stamps the order's day and its time of day apart; the creation
// stamp stands in when either is missing. Kept as the wall clock reads (marked UTC): comparing
// local times asks the system's time zone files on every comparison, a thousand times a cycle.
// `days` keeps the dates already read, for the next rows of the same night. Invalid when the row
// has no time at all.
QDateTime orderedAt(
    const QString &orderDate, const QString &orderTime, const QString &fileDate, QHash<QString, QDate> &days);

// The menu's remarks by dish, read once while the dish is on the board.
using MenuRemarks = QHash<QString, std::optional<QString>>;

// The port's open rows (OPDate null) in RNo order; with `menuRemarks`, each with the menu's remark
// for its item, the cache keeping the dishes of these rows only. Throws db::DbError.
QList<OrderRow> readOpenRows(db::Connection &cn, const QString &port, MenuRemarks *menuRemarks = nullptr);

struct CardItem {
    qint64 rno = 0; // the item's row: what a cross-off names
    QString item, quantity, addOns; // the ticket's cells
    QString dish; // name and price class: what the waiting totals count
    double qty = 0;
    bool addOnRow = false; // an add-on row with no item to ride on: shown, not counted
    bool red = false; // a return or a rush request
    bool crossedOff = false; // made: no longer waiting
};

struct Card {
    QString orderPID, table;
    qint64 upTo = 0; // the highest RNo on the card: a bump takes off the rows up to here
    QDateTime since; // the first item's time, as orderedAt
    QList<CardItem> items;
};

struct Waiting {
    QString dish;
    double qty = 0;
};

// The cards of `rows`, leaving out each order's rows at or below its bump (`bumpedUpTo`, by
// OrderPID); rows ordered later for a bumped order make a card of their own. Items whose row is
// in `crossedOff` are marked made, with the add-ons they carry.
QList<Card> buildCards(const QList<OrderRow> &rows, const QHash<QString, qint64> &bumpedUpTo,
    const QSet<qint64> &crossedOff = {});

// The quantity still to make of each dish over the cards, most first; returns on a card take
// their quantity off, items crossed off count no more, and a dish with nothing left is not listed.
QList<Waiting> waitingTotals(const QList<Card> &cards);

// Whether every item of `card` is crossed off.
bool allCrossedOff(const Card &card);

// An order a recall can bring back: its latest bump, and the card it would show again.
struct Recallable {
    Bump bump;
    QString table;
    QDateTime since; // the age the card comes back with, as Card::since
};

// How far back and how many bumps the recall list offers.
constexpr int kRecallMinutes = 30;
constexpr int kRecallListSize = 50;

// The orders of `rows` bumped in the last kRecallMinutes before `now` (at most kRecallListSize,
// latest first), each by its latest bump; `bumps` are the port's bumps oldest first, older ones
// included, so that a recall shows only the rows that bump took. An order closed since is left
// out: it would bring nothing back.
QList<Recallable> recallList(const QList<OrderRow> &rows, const QList<Bump> &bumps, const QDateTime &now);

struct BoardView {
    QString port;
    int amberMinutes = 10, redMinutes = 20;
    bool canRecall = false;
    bool crossOffBumps = false;
    QList<Recallable> recent {};
    speed::DayPace pace {}; // today's figures; its slowest dishes shown only when asked
    bool slowestDishes = false;
};

// The board as the pages read it (UTF-8 JSON): each card on its own, by order id, and the rest
// (the cards' order by id, the waiting totals, the ageing minutes). A page keeps the cards it
// has, so a change sends only the cards that are new or changed: a thousand items on fifty
// displays is then a few kilobytes a change, not megabytes. Everything from the POS is a JSON
// string: the page puts it on screen as text.
struct BoardJson {
    QByteArray head;
    QHash<QString, QByteArray> cards;

    // The board for a page that has the cards `known` (none: all of them).
    QByteArray message(const QHash<QString, QByteArray> &known = {}) const;
    bool operator==(const BoardJson &) const = default;
};
BoardJson boardJson(const QList<Card> &cards, const BoardView &view);

} // namespace tavo::kds
