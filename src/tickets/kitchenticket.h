#pragma once
// One kitchen ticket in three steps: read what it shows from the order rows, lay it out on a
// print surface, mark the add-on rows it carried. Only the first and the last touch the
// database, so the layout can be checked from a ticket made by hand.
//
// Every step goes on past its own failures (error log, tag "PrintKPortShortSize"): a kitchen that
// gets a ticket with a line missing is better off than one that gets no ticket.
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

namespace tavo::db {
class Connection;
class Recordset;
} // namespace tavo::db

namespace tavo::print {
class PrintSurface;
}

namespace tavo::tickets {

// Item types that ride on the ticket of the item row before them.
bool isAddOnType(const QString &itemType);

// The order row a ticket is printed for, and what comes with it.
struct KitchenTicket {
    QString RNo, OrderPID, TblName, OrderTime, ItemName, ItemType, PriceCap, Remark, TypeNo, DelMark,
        OrderUserID;
    double Qty = 0, Amt = 0, Price = 0;
    // The menu's own remark for the item, when the site prints them and the menu has the item
    // (an empty remark still prints its "-").
    std::optional<QString> menuRemark;

    // A condiment or similar row listed on the item's ticket.
    struct AddOn {
        QString RNo; // as a number, ready for the mark
        QString ItemName;
        double Qty = 0;
        QString Remark;
    };
    QList<AddOn> addOns;
};

// Everything besides the rows that decides what a ticket looks like.
struct TicketSettings {
    QString printSNo; // the serial: in the header, and the mark of the add-on rows
    int splitCount = 0; // unit number when the ticket stands for one unit of a set item, else 0
    QString custTotal; // guest count, may be empty
    QString kpName; // the kind of ticket, first in the header

    // The ticket window's.
    int slipTopMargin = 0;
    QString tableLabel;
    bool headerAtFoot = false;
    bool ringBell = false;

    // The site's.
    bool privateRooms = false;
    bool hideTimeMark = false;
    bool splitSetItems = false;
    bool menuRemarks = false;
    QString opDate;
    QString exeName; // the spooler's job name between tickets

    QDateTime printedAt;
};

// Whether the ticket of this row carries the add-on rows that follow it.
bool listsAddOns(const KitchenTicket &ticket, const TicketSettings &settings);

// The item table as the ticket prints it: the item cell (name, price class, remark; returns and
// rush requests marked), the quantity cell, and the add-on list ("/白飯*2/加蛋-多"; empty when the
// ticket lists none). A ticket with Qty <= 0 prints all of it in red.
struct TicketLines {
    QString item, quantity, addOns;
};
TicketLines ticketLines(const KitchenTicket &ticket, const TicketSettings &settings);

// The menu's remark for the item `itemName` of type `typeNo` as the row holds it; nothing when the
// row has no type number or the menu has no such item (an empty remark is still a remark).
std::optional<QString> readMenuRemark(db::Connection &cn, const QString &typeNo, const QString &itemName);

// Reads the ticket of the row `rs` stands on: its columns, the menu's remark, and the add-on rows
// after it when its ticket lists them. `rs` is left on the last row the ticket used, so the
// caller's next move reaches the next row not yet printed.
KitchenTicket readKitchenTicket(db::Recordset &rs, db::Connection &cn, const TicketSettings &settings);

struct LaidOutTicket {
    bool sent = false; // the printer took the job
    bool bellRung = false;
};

// Writes the ticket on `vsp` and ends the document, which sends it to the device selected there.
LaidOutTicket layOutKitchenTicket(
    print::PrintSurface &vsp, const KitchenTicket &ticket, const TicketSettings &settings);

// Stamps the add-on rows with the ticket's serial, so the POS knows they went out with it. A
// serial beginning with "補" is a reprint: the rows keep the mark of their first ticket.
void markAddOns(db::Connection &cn, const KitchenTicket &ticket, const QString &printSNo);

} // namespace tavo::tickets
