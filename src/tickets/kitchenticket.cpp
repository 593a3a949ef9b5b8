#include "tickets/kitchenticket.h"

#include "db/connection.h"
#include "db/dbglobals.h"
#include "db/valuetext.h"
#include "print/printsurface.h"
#include "tickets/step.h"
#include "util/text.h"

#include <cmath>

using namespace Qt::StringLiterals;

namespace tavo::tickets {

namespace {

constexpr LogTag kTag = tags::PrintKPortShortSize;

// A remark typed at the terminal may hold the table's own separators; left as they are they
// would end the cell or the row early and push the quantity onto a line of its own.
QString cellText(QString text)
{
    return text.replace(u'|', u'｜').replace(u';', u'；');
}

// The type number of a row as the menu keys it; nothing when the row holds none. Looking up
// type 0 instead would hand the item the remark of whatever dish the menu files there.
std::optional<double> typeNumber(const QString &typeNo)
{
    bool numeric = false;
    const double value = typeNo.trimmed().toDouble(&numeric);
    if (!numeric || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

bool isAddOnType(const QString &itemType)
{
    return itemType == u"A1"_s || itemType == u"T1"_s || itemType == u"AN"_s || itemType == u"TN"_s;
}

// A split set item stands for one unit: its add-ons follow as tickets of their own. Rush
// requests carry none either; returns take theirs back with them.
bool listsAddOns(const KitchenTicket &t, const TicketSettings &s)
{
    if (isAddOnType(t.ItemType))
        return false;
    if (t.Qty < 0)
        return true;
    return t.Qty > 0 && !(s.splitSetItems && s.splitCount > 0);
}

std::optional<QString> readMenuRemark(db::Connection &cn, const QString &typeNo, const QString &itemName)
{
    const std::optional<double> number = typeNumber(typeNo);
    if (!number)
        return std::nullopt;
    db::Recordset menu = cn.openRecordset(u"Select * FROM MENUITEM"_s + u" WHERE TypeNo = "_s
        + db::numberText(*number) + u"   AND ItemName = "_s + QuotStr(itemName));
    if (menu.eof())
        return std::nullopt;
    return menu.text(u"Remark"_s);
}

KitchenTicket readKitchenTicket(db::Recordset &rs, db::Connection &cn, const TicketSettings &settings)
{
    KitchenTicket t;
    step(kTag, [&] {
        t.RNo = rs.text(u"RNo"_s);
        t.OrderPID = rs.text(u"OrderPID"_s);
        t.TblName = rs.text(u"TblName"_s);
        t.OrderTime = rs.text(u"OrderTime"_s);
        t.ItemName = rs.text(u"ItemName"_s);
        t.ItemType = rs.text(u"ItemType"_s);
        t.Qty = rs.number(u"Qty"_s);
        t.PriceCap = rs.text(u"PriceCap"_s);
        t.Remark = rs.text(u"Remark"_s);
        t.Amt = rs.number(u"Amt"_s);
        t.TypeNo = rs.text(u"TypeNo"_s);
        t.DelMark = rs.text(u"DelMark"_s);
        t.Price = rs.number(u"Price"_s);
        t.OrderUserID = rs.text(u"OrderUserID"_s);
    });

    if (settings.menuRemarks)
        step(kTag, [&] { t.menuRemark = readMenuRemark(cn, t.TypeNo, t.ItemName); });

    // The add-on rows right after the item. A scan that breaks off lists none of them, so the
    // ticket and the marks never disagree about what went out.
    if (listsAddOns(t, settings)) {
        step(kTag, [&] {
            QList<KitchenTicket::AddOn> found;
            for (;;) {
                rs.moveNext();
                if (rs.eof()) {
                    rs.moveLast();
                    break;
                }
                if (!isAddOnType(rs.text(u"ItemType"_s))) {
                    rs.movePrevious();
                    break;
                }
                found.append({ db::numberText(rs.number(u"RNo"_s)), rs.text(u"ItemName"_s),
                    rs.number(u"Qty"_s), rs.text(u"Remark"_s) });
            }
            t.addOns = found;
        });
    }
    return t;
}

TicketLines ticketLines(const KitchenTicket &t, const TicketSettings &s)
{
    const QString remarkPart = t.Remark.isEmpty() ? QString() : u" <"_s + t.Remark + u">"_s;
    QString name = t.ItemName;
    if (!t.PriceCap.isEmpty()) {
        name += u"-"_s + t.PriceCap;
        if (t.PriceCap == u"時價"_s)
            name += u"("_s + db::numberText(t.Price) + u")"_s;
    }
    if (t.menuRemark)
        name += u"-"_s + *t.menuRemark;
    if (t.DelMark.toUpper() == u"F"_s && t.Amt == 0)
        name += u"[招待]"_s;

    TicketLines lines;
    if (t.Qty < 0) {
        lines.item = u"[退]"_s + name + u" "_s + db::numberText(-t.Qty) + u"份"_s + remarkPart;
        lines.quantity = u"[退]"_s;
    } else if (t.Qty == 0) {
        lines.item = u"[快]"_s + name + remarkPart;
        lines.quantity = u"快上"_s;
    } else {
        lines.item = name + remarkPart;
        lines.quantity = s.splitSetItems && s.splitCount > 0 ? u"1"_s : db::numberText(t.Qty);
    }
    for (const KitchenTicket::AddOn &a : t.addOns) {
        lines.addOns += u"/"_s + a.ItemName;
        if (a.Qty > 1)
            lines.addOns += u"*"_s + db::numberText(a.Qty);
        if (!a.Remark.isEmpty())
            lines.addOns += u"-"_s + a.Remark;
    }
    return lines;
}

LaidOutTicket layOutKitchenTicket(print::PrintSurface &vsp, const KitchenTicket &t, const TicketSettings &s)
{
    LaidOutTicket out;
    const QString split = QString::number(s.splitCount);

    vsp.setPreview(false);
    vsp.setDocName(u"."_s + s.kpName + u"菜條: "_s + s.printSNo);
    vsp.startDoc();

    vsp.setTextAlign(0);
    vsp.setFontBold(false);
    vsp.setFontName(u"Arial"_s);
    vsp.setFontSize(16);
    vsp.setIndentLeft(0);
    vsp.setCurrentY(s.slipTopMargin);

    // Remembered for the foot of the ticket; private rooms repeat nothing there.
    QString header;
    step(kTag, [&] {
        if (s.privateRooms) {
            QString room = u"包廂: "_s + t.OrderPID + u"  "_s + s.printSNo;
            if (s.splitCount > 0)
                room += u"-"_s + split;
            vsp.text(room);
            return;
        }
        if (s.splitCount > 0)
            header = s.kpName + u"-"_s + s.printSNo + u"-"_s + split + u"  "_s + t.OrderPID;
        else
            header = s.kpName + u"-"_s + s.printSNo + u" "_s + s.tableLabel + u" "_s + t.OrderPID;
        if (s.hideTimeMark)
            header = s.kpName + u"  "_s + t.TblName;
        vsp.text(header);
    });

    vsp.setFontBold(false);
    vsp.setTextAlign(6);
    vsp.setIndentLeft(0);
    vsp.setCurrentY(vsp.currentY() + 420);

    // Returns and rush requests print red for the rest of the body.
    if (t.Qty <= 0)
        vsp.setFontName(print::kRedDeviceFont);
    vsp.setFontSize(9);

    step(kTag, [&] {
        vsp.text(u" 點單人員:"_s + FixWidthB(t.OrderUserID, 6) + u"    "_s + u"印單時間:"_s
            + s.printedAt.toString(u"hh:mm:ss"_s) + u"\r\n"_s);
        vsp.setCurrentY(vsp.currentY() + 20);
    });

    vsp.setFontBold(true);
    vsp.setFontSize(18);
    vsp.setTextAlign(6);
    vsp.setTableBorder(3);
    vsp.setTableCellPadding(30);
    vsp.setLineSpacing(110);

    const TicketLines lines = ticketLines(t, s);
    step(kTag, [&] {
        vsp.addTable(u"<2800|^850;"_s, QString(), cellText(lines.item) + u"|"_s + lines.quantity + u";"_s);
    });

    // In the item's font, under an empty cell that indents it.
    if (!lines.addOns.isEmpty())
        step(
            kTag, [&] { vsp.addTable(u"150|3500;"_s, QString(), u"|"_s + cellText(lines.addOns) + u";"_s); });

    step(kTag, [&] {
        vsp.setFontName(u"Arial"_s);
        vsp.setFontBold(false);
        vsp.setFontSize(8);
        vsp.text(u"  <"_s + s.opDate + u">  [客數: "_s + s.custTotal + u"]"_s);
    });

    // The table name again at the foot, for sites that tear tickets apart.
    if (s.headerAtFoot) {
        step(kTag, [&] {
            vsp.setFontSize(16);
            vsp.setFontBold(true);
            vsp.paragraph(QString());
            vsp.setCurrentY(vsp.currentY() + 300);
            vsp.paragraph(header);
        });
    }

    if (s.ringBell) {
        out.bellRung = step(kTag, [&] {
            vsp.setFontName(print::kControlDeviceFont);
            vsp.text(u"C"_s);
        });
    }

    out.sent = step(kTag, [&] { vsp.endDoc(); });
    vsp.setDocName(s.exeName);
    return out;
}

void markAddOns(db::Connection &cn, const KitchenTicket &ticket, const QString &printSNo)
{
    if (printSNo.startsWith(u"補"_s))
        return;
    // One by one: a row the POS holds locked loses its mark, not the marks of the others.
    for (const KitchenTicket::AddOn &a : ticket.addOns)
        step(kTag, [&] {
            cn.execute(u"UPDATE ORDERI SET KSMark = "_s + QuotStr(printSNo) + u" WHERE RNo = "_s + a.RNo);
        });
}

} // namespace tavo::tickets
