#include "tickets/reprint.h"

#include "db/connection.h"
#include "db/dbglobals.h"
#include "db/valuetext.h"
#include "platform/cursor.h"
#include "platform/gridmodel.h"
#include "platform/printsurface.h"
#include "tickets/frmTMSlip.h"
#include "util/globals.h"
#include "util/grids.h"
#include "util/report.h"

using namespace Qt::StringLiterals;

namespace tavo::tickets {

namespace {
const QString kTag = u"PrintKPortB"_s;
const QString kKPName = u"補印"_s;
} // namespace

bool PrintKPortB(platform::GridModel &fg1, int piRowB, int piRowE, const QString &pvKPort,
    const QString &pvPrinter, const QString &pvPrintList, const QString &pvPrintItem, bool pvPreview,
    platform::PrintSurface &vsp, db::Connection &cn)
{
    Q_UNUSED(pvKPort)
    Q_UNUSED(pvPrintList)
    Q_UNUSED(pvPrintItem)
    try {
        vsp.setPreview(pvPreview);
    } catch (...) {
        WriteErrLog(kTag);
    }

    if (pvPrinter.isEmpty()) {
        WriteLog(u"廚房印表機設定錯誤(pvPrinter), 無法列印:"_s + pvPrinter);
        return false;
    }
    frmTMSlip &slip = frmTMSlip::instance();
    if (!slip.IsPrinterInstalled(pvPrinter)) {
        WriteLog(u"廚房印表機尚未安裝(pvPrinter), 無法列印:"_s + pvPrinter);
        return false;
    }
    try {
        slip.vsp.setDevice(pvPrinter);
    } catch (...) {
        WriteErrLog(kTag);
    }

    QString sortFlag;
    try {
        if (getParamValue(u"KPSortByType"_s, sortFlag))
            sortFlag = sortFlag.toUpper();
    } catch (...) {
        WriteErrLog(kTag);
    }

    // A selection of no rows would leave the filter without a condition.
    if (piRowE < piRowB)
        return true;

    QString filter;
    bool filterBuilt = false;
    try {
        filter = u" Where OPDate Is Null And ( "_s;
        for (int i = piRowB; i <= piRowE; ++i)
            filter += u" rno = "_s + QuotStr(fg1.TextMatrix(i, grids::OrderList::RNo)) + u" OR"_s;
        filter.chop(2);
        filter += u" )"_s;
        filterBuilt = true;
    } catch (...) {
        WriteErrLog(kTag);
    }

    db::Recordset rs;
    try {
        if (!filterBuilt)
            throw TavoError(kGenericErrorNumber, u"the selected rows could not be read from the grid"_s);
        QString sql = u" SELECT *"_s + u" From ORDERI"_s + filter;
        sql += sortFlag == u"Y"_s ? u"   ORDER BY TypeNo, ItemName "_s : u"   ORDER BY ListNO"_s;
        rs = cn.openRecordset(sql, db::Cursor::Client);
    } catch (...) {
        WriteErrLog(kTag);
    }

    bool allSent = true;
    try {
        // Rows that could not be read were not printed: that is no success to report.
        if (!rs.isOpen())
            return false;
        if (rs.eof())
            return true;
        while (!rs.eof()) {
            const QString itemType = rs.text(u"ItemType"_s);
            const double qty = rs.number(u"Qty"_s);
            const QString serial = rs.text(u"KSMark"_s);
            if (g().gKPSplitS1item == u"Y"_s && itemType == u"S1"_s && qty > 1 && qty <= kMaxSplitTickets) {
                for (int i = 1; i <= qty; ++i)
                    allSent &= slip.PrintKPortShortSize(rs, serial, i, QString(), kKPName, cn);
            } else {
                if (g().gKPSplitS1item == u"Y"_s && itemType == u"S1"_s && qty > kMaxSplitTickets)
                    WriteLog(u"套餐數量過多, 整份印一張菜條:%1 x %2"_s.arg(
                        rs.text(u"ItemName"_s), db::numberText(qty)));
                allSent &= slip.PrintKPortShortSize(rs, serial, 0, QString(), kKPName, cn);
            }
            rs.moveNext();
        }
    } catch (...) {
        WriteErrLog(kTag);
    }
    return allSent;
}

QString cmdPrintRow_Click(platform::GridModel &fg1, const PrintRowInput &input, platform::PrintSurface &vsp,
    db::Connection &cn, const FGLogWriter &WriteFGLog)
{
    QString message;
    try {
        const int r = fg1.Row();
        const int count = fg1.SelectedRows();
        if (count > 0) {
            if (input.defKPort.isEmpty()) {
                if (r >= fg1.FixedRows())
                    fg1.setTextMatrix(r, grids::OrderList::KSMark, u"--"_s);
            } else {
                platform::setBusyCursor(true);
                if (input.printerType == u"EPSONTM"_s) {
                    const QString list = input.printList ? u"Y"_s : u"N"_s;
                    const QString item = input.printItem ? u"Y"_s : u"N"_s;
                    // The highlighted rows are the ones printed, wherever the cursor stands.
                    const int rowB = fg1.SelectedRow(0), rowE = fg1.SelectedRow(count - 1);
                    const bool ok = PrintKPortB(
                        fg1, rowB, rowE, input.defKPort, input.printer, list, item, false, vsp, cn);
                    message
                        = ok ? u"列印OK:"_s + input.printer + u"-"_s : u"送廚失敗, 印表機:"_s + input.printer;
                    if (WriteFGLog)
                        WriteFGLog(input.defKPort + u"送廚"_s, message);
                }
            }
        }
    } catch (...) {
        ShowErrMsg(u"cmdPrintRow_Click"_s);
    }
    platform::restoreCursor();
    return message;
}

} // namespace tavo::tickets
