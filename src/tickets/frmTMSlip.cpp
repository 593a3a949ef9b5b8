#include "tickets/frmTMSlip.h"

#include "db/connection.h"
#include "db/dbglobals.h"
#include "db/valuetext.h"
#include "platform/ini.h"
#include "platform/services.h"
#include "util/globals.h"
#include "util/report.h"
#include "util/text.h"

#include <QCoreApplication>
#include <cmath>

using namespace Qt::StringLiterals;

namespace tavo::tickets {

namespace {

const QString kTag = u"PrintKPortShortSize"_s;

QDateTime now()
{
    return platform::services().clock->now();
}

// A remark typed at the terminal may hold the table's own separators; left as they are they
// would end the cell or the row early and push the quantity onto a line of its own.
QString cellText(QString text)
{
    return text.replace(u'|', u'｜').replace(u';', u'；');
}

} // namespace

bool isAddOnType(const QString &itemType)
{
    return itemType == u"A1"_s || itemType == u"T1"_s || itemType == u"AN"_s || itemType == u"TN"_s;
}

std::unique_ptr<frmTMSlip> &frmTMSlip::slot()
{
    static std::unique_ptr<frmTMSlip> loaded;
    return loaded;
}

frmTMSlip &frmTMSlip::instance()
{
    std::unique_ptr<frmTMSlip> &loaded = slot();
    if (!loaded) {
        loaded.reset(new frmTMSlip());
        loaded->Form_Load();
    }
    return *loaded;
}

bool frmTMSlip::isLoaded()
{
    return slot() != nullptr;
}

void frmTMSlip::unload()
{
    slot().reset();
}

frmTMSlip::frmTMSlip() = default;

void frmTMSlip::Form_Load()
{
    try {
        vsp.setTableBorder(10);
        vsp.setMargins(QMargins(0, 0, 0, 0));
        vsp.setFontName(u"Arial"_s);
        vsp.setPreview(false);
        vsp.setPaperSize(kRollPaper);
    } catch (...) {
        ShowErrMsg(u"Form_Load"_s);
    }
    try {
        QString value;
        if (getParamValue(u"KPAddTblName"_s, value))
            KPAddTblName = value.toUpper();
    } catch (...) {
        ShowErrMsg(u"Form_Load"_s);
    }
    try {
        const QString site = GetINI(g().gINIFile, u"PARAM"_s, TableLabelSiteKey);
        if (!site.isEmpty() && g().gCustName == site)
            TableLabel = u"桌號"_s;
    } catch (...) {
        ShowErrMsg(u"Form_Load"_s);
    }
    try {
        bool numeric = false;
        const double twips = platform::services()
                                 .settings->get(u"Tavo3"_s, u"KP"_s, u"lblSlipTopMargin"_s)
                                 .trimmed()
                                 .toDouble(&numeric);
        // Above the paper or beyond its end the header would not print at all.
        if (numeric && twips > 0)
            SlipTopMargin = int(std::lround(std::min(twips, double(kRollPaper.height()))));
    } catch (...) {
        ShowErrMsg(u"Form_Load"_s);
    }
}

bool frmTMSlip::IsPrinterInstalled(const QString &pvPrinter)
{
    bool installed = false;
    try {
        const QStringList devices = vsp.devices();
        for (int i = 0; i < devices.size() && !pvPrinter.isEmpty(); ++i) {
            if (devices[i] == pvPrinter) {
                installed = true;
                break;
            }
        }
    } catch (...) {
        ShowErrMsg(u"IsPrinterInstalled"_s);
    }
    return installed;
}

bool frmTMSlip::PrintKPortShortSize(db::Recordset &pRST, const QString &pvPrintSNo, int pvSplitCount,
    const QString &pvCustTotal, const QString &pvKPName)
{
    const Globals &gv = g();
    const QString split = QString::number(pvSplitCount);

    // 1. The row.
    QString RNo, OrderPID, TblName, OrderTime, ItemName, ItemType, PriceCap, Remark, TypeNo, DelMark,
        OrderUserID;
    double Qty = 0, Amt = 0, Price = 0;
    try {
        RNo = pRST.text(u"RNo"_s);
        OrderPID = pRST.text(u"OrderPID"_s);
        TblName = pRST.text(u"TblName"_s);
        OrderTime = pRST.text(u"OrderTime"_s);
        ItemName = pRST.text(u"ItemName"_s);
        ItemType = pRST.text(u"ItemType"_s);
        Qty = pRST.number(u"Qty"_s);
        PriceCap = pRST.text(u"PriceCap"_s);
        Remark = pRST.text(u"Remark"_s);
        Amt = pRST.number(u"Amt"_s);
        TypeNo = pRST.text(u"TypeNo"_s);
        DelMark = pRST.text(u"DelMark"_s);
        Price = pRST.number(u"Price"_s);
        OrderUserID = pRST.text(u"OrderUserID"_s);
    } catch (...) {
        WriteErrLog(kTag);
    }

    // 2. The menu's own remark for the item. A row without a type number has none: looking up
    // type 0 instead would hand it the remark of whatever dish the menu files there.
    QString menuRemark;
    try {
        bool numeric = false;
        const double typeNo = TypeNo.trimmed().toDouble(&numeric);
        if (gv.gKPPrintMenuRemark == u"Y"_s && numeric && std::isfinite(typeNo)) {
            const QString sql = u"Select * FROM MENUITEM"_s + u" WHERE TypeNo = "_s + db::numberText(typeNo)
                + u"   AND ItemName = "_s + QuotStr(ItemName);
            db::Recordset menu = db::gCNT().openRecordset(sql);
            if (!menu.eof())
                menuRemark = u"-"_s + menu.text(u"Remark"_s);
        }
    } catch (...) {
        WriteErrLog(kTag);
    }

    // 3. The document.
    bool started = false;
    try {
        vsp.setPreview(false);
        vsp.setDocName(u"."_s + pvKPName + u"菜條: "_s + pvPrintSNo);
        vsp.startDoc();
        started = true;
    } catch (...) {
        WriteErrLog(kTag);
    }

    // 4. Header settings.
    try {
        vsp.setTextAlign(0);
        vsp.setFontBold(false);
        vsp.setFontName(u"Arial"_s);
        vsp.setFontSize(16);
        vsp.setIndentLeft(0);
        vsp.setCurrentY(SlipTopMargin);
    } catch (...) {
        WriteErrLog(kTag);
    }

    // 5. Header; remembered for the foot of the ticket.
    QString header;
    try {
        if (gv.gKTVAPP == u"Y"_s) {
            QString room = u"包廂: "_s + OrderPID + u"  "_s + pvPrintSNo;
            if (pvSplitCount > 0)
                room += u"-"_s + split;
            vsp.text(room);
        } else {
            if (pvSplitCount > 0)
                header = pvKPName + u"-"_s + pvPrintSNo + u"-"_s + split + u"  "_s + OrderPID;
            else
                header = pvKPName + u"-"_s + pvPrintSNo + u" "_s + TableLabel + u" "_s + OrderPID;
            if (gv.gHideTimeMark == u"Y"_s)
                header = pvKPName + u"  "_s + TblName;
            vsp.text(header);
        }
    } catch (...) {
        WriteErrLog(kTag);
    }

    // 6.
    try {
        vsp.setFontBold(false);
        vsp.setTextAlign(6);
        vsp.setIndentLeft(0);
        vsp.setCurrentY(vsp.currentY() + 420);
    } catch (...) {
        WriteErrLog(kTag);
    }

    // 7. Returns and rush requests print red for the rest of the body.
    try {
        if (Qty <= 0)
            vsp.setFontName(platform::kRedDeviceFont);
        vsp.setFontSize(9);
    } catch (...) {
        WriteErrLog(kTag);
    }

    // 8. Operator and time of printing.
    try {
        vsp.text(u" 點單人員:"_s + FixWidthB(OrderUserID, 6) + u"    "_s + u"印單時間:"_s
            + now().toString(u"hh:mm:ss"_s) + u"\r\n"_s);
        vsp.setCurrentY(vsp.currentY() + 20);
    } catch (...) {
        WriteErrLog(kTag);
    }

    // 9. Item settings.
    QString remarkPart;
    const QString itemFormat = u"<2800|^850;"_s;
    try {
        if (!Remark.isEmpty())
            remarkPart = u" <"_s + Remark + u">"_s;
        vsp.setFontBold(true);
        vsp.setFontSize(18);
        vsp.setTextAlign(6);
        vsp.setTableBorder(3);
        vsp.setTableCellPadding(30);
        vsp.setLineSpacing(110);
    } catch (...) {
        WriteErrLog(kTag);
    }

    // 10. Item name.
    QString name;
    try {
        name = ItemName;
        if (!PriceCap.isEmpty()) {
            name += u"-"_s + PriceCap;
            if (PriceCap == u"時價"_s)
                name += u"("_s + db::numberText(Price) + u")"_s;
        }
        name += menuRemark;
        if (DelMark.toUpper() == u"F"_s && Amt == 0)
            name += u"[招待]"_s;
    } catch (...) {
        WriteErrLog(kTag);
    }

    // 11. Item row: the item cell, then the quantity cell.
    bool listAddOns = false;
    try {
        QString item, quantity;
        if (Qty < 0) {
            item = u"[退]"_s + name + u" "_s + db::numberText(-Qty) + u"份"_s + remarkPart;
            quantity = u"[退]"_s;
            listAddOns = true;
        } else if (Qty == 0) {
            item = u"[快]"_s + name + remarkPart;
            quantity = u"快上"_s;
        } else if (gv.gKPSplitS1item == u"Y"_s && pvSplitCount > 0) {
            item = name + remarkPart;
            quantity = u"1"_s;
        } else {
            item = name + remarkPart;
            quantity = db::numberText(Qty);
            listAddOns = true;
        }
        vsp.addTable(itemFormat, QString(), cellText(item) + u"|"_s + quantity + u";"_s);
    } catch (...) {
        WriteErrLog(kTag);
    }

    // 11a. The add-on rows that follow the item. A mark that cannot be stored is logged on its
    // own, so the kitchen still sees every add-on on the ticket.
    try {
        if (listAddOns && !isAddOnType(ItemType)) {
            QString list;
            for (;;) {
                pRST.moveNext();
                if (pRST.eof()) {
                    pRST.moveLast();
                    break;
                }
                if (!isAddOnType(pRST.text(u"ItemType"_s))) {
                    pRST.movePrevious();
                    break;
                }
                list += u"/"_s + pRST.text(u"ItemName"_s);
                const double qty = pRST.number(u"Qty"_s);
                if (qty > 1)
                    list += u"*"_s + db::numberText(qty);
                const QString remark = pRST.text(u"Remark"_s);
                if (!remark.isEmpty())
                    list += u"-"_s + remark;
                if (!pvPrintSNo.startsWith(u"補"_s)) {
                    try {
                        db::gCNT().execute(u"UPDATE ORDERI SET KSMark = "_s + QuotStr(pvPrintSNo)
                            + u" WHERE RNo = "_s + db::numberText(pRST.number(u"RNo"_s)));
                    } catch (...) {
                        WriteErrLog(kTag);
                    }
                }
            }
            if (!list.isEmpty())
                vsp.addTable(u"150|3500;"_s, QString(), u"|"_s + cellText(list) + u";"_s);
        }
    } catch (...) {
        WriteErrLog(kTag);
    }

    // 12. Footer.
    try {
        vsp.setFontName(u"Arial"_s);
        vsp.setFontBold(false);
        vsp.setFontSize(8);
        vsp.text(u"  <"_s + gv.gOPDate + u">  [客數: "_s + pvCustTotal + u"]"_s);
    } catch (...) {
        WriteErrLog(kTag);
    }

    // 13. The table name again at the foot, for sites that tear tickets apart.
    try {
        if (KPAddTblName == u"Y"_s) {
            vsp.setFontSize(16);
            vsp.setFontBold(true);
            vsp.paragraph(QString());
            vsp.setCurrentY(vsp.currentY() + 300);
            vsp.paragraph(header);
        }
    } catch (...) {
        WriteErrLog(kTag);
    }

    // 14. The buzzer, on the first ticket of the run only.
    try {
        if (!BellDone) {
            vsp.setFontName(platform::kControlDeviceFont);
            vsp.text(u"C"_s);
            QCoreApplication::processEvents();
            BellDone = true;
        }
    } catch (...) {
        WriteErrLog(kTag);
    }

    // 15. Out to the printer.
    bool sent = false;
    try {
        vsp.endDoc();
        sent = started;
    } catch (...) {
        WriteErrLog(kTag);
    }
    try {
        vsp.setDocName(gv.gExeName);
    } catch (...) {
        WriteErrLog(kTag);
    }
    return sent;
}

} // namespace tavo::tickets
