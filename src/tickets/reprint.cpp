#include "tickets/reprint.h"

#include "db/connection.h"
#include "db/dbglobals.h"
#include "db/valuetext.h"
#include "platform/cursor.h"
#include "platform/gridmodel.h"
#include "print/printercatalog.h"
#include "print/printsurface.h"
#include "tickets/kitchenticketprinter.h"
#include "tickets/step.h"
#include "util/grids.h"
#include "util/report.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tavo::tickets {

namespace {

constexpr LogTag kTag = tags::PrintKPortB;
const QString kKPName = u"補印"_s;

ReprintResult printed()
{
    return { ReprintOutcome::Printed, {}, {} };
}

ReprintResult failed()
{
    return { ReprintOutcome::Failed, {}, {} };
}

ReprintResult nothingToPrint(const QString &reason)
{
    return { ReprintOutcome::NothingToPrint, reason, {} };
}

// No selected row is open: tell closed rows from rows the POS has removed, so the operator
// does not go looking for a printer fault.
ReprintResult nothingOpen(db::Connection &cn, const QString &rowCondition)
{
    int rows = 0;
    if (!step(kTag, [&] {
            rows = cn.openRecordset(u"SELECT Count(*) From ORDERI Where ( "_s + rowCondition + u" )"_s)
                       .value(0)
                       .toInt();
        }))
        return failed();
    return nothingToPrint(rows > 0 ? u"所選的點單已結帳"_s : u"找不到所選的點單"_s);
}

// The filter of the rows still open among those of the condition ("rno = 51 OR rno = 52").
QString openRowsAmong(const QString &rowCondition)
{
    return u" Where OPDate Is Null And ( "_s + rowCondition + u" )"_s;
}

// A selected row as the operator finds it in the grid: its record number and its item.
QString rowLabel(const db::Recordset &rs)
{
    return u"#"_s + db::numberText(rs.number(u"RNo"_s)) + u" "_s + rs.text(u"ItemName"_s);
}

// The open rows of one order among the selected rows: the filter that reprints them alone, and
// their labels should they not be read.
struct SelectedOrder {
    bool noOrderPID = false;
    QString orderPID;
    QString rowCondition;
    QStringList labels;
};

// The selected open rows, order by order (an order being the rows of one OrderPID, a table's
// round), the orders as their first rows were listed. A POS numbers ListNo within each order:
// read in list order all together, the rows of several orders would interleave and one
// table's add-ons would be listed, and marked, on another table's ticket.
QList<SelectedOrder> selectedOrders(db::Connection &cn, const QString &rowCondition)
{
    QList<SelectedOrder> orders;
    db::Recordset rs = cn.openRecordset(
        u" SELECT RNo, OrderPID, ItemName From ORDERI"_s + openRowsAmong(rowCondition) + u" ORDER BY RNo"_s,
        db::Cursor::Client);
    for (; !rs.eof(); rs.moveNext()) {
        const bool noOrderPID = rs.isNull(u"OrderPID"_s);
        const QString orderPID = rs.text(u"OrderPID"_s);
        auto order = std::find_if(orders.begin(), orders.end(),
            [&](const SelectedOrder &o) { return o.noOrderPID == noOrderPID && o.orderPID == orderPID; });
        if (order == orders.end())
            order = orders.insert(orders.end(), { noOrderPID, orderPID, {}, {} });
        if (!order->rowCondition.isEmpty())
            order->rowCondition += u" OR"_s;
        order->rowCondition += u" rno = "_s + db::numberText(rs.number(u"RNo"_s));
        order->labels << rowLabel(rs);
    }
    return orders;
}

QString activityMessage(const ReprintResult &result, const QString &printer)
{
    switch (result.outcome) {
    case ReprintOutcome::Printed:
        return u"列印OK:"_s + printer + u"-"_s;
    case ReprintOutcome::PartlyPrinted:
        return u"部分送廚失敗, 印表機:"_s + printer + u", 未印: "_s + result.notPrinted.join(u"、"_s);
    case ReprintOutcome::NothingToPrint:
        return u"沒有列印: "_s + result.reason;
    case ReprintOutcome::Failed:
        break;
    }
    return u"送廚失敗, 印表機:"_s + printer;
}

} // namespace

ReprintResult PrintKPortB(platform::GridModel &fg1, const ReprintJob &job, print::PrintSurface &vsp,
    KitchenTicketPrinter &ticketPrinter, db::Connection &cn)
{
    const QString &pvPrinter = job.printer;
    vsp.setPreview(job.preview);

    if (pvPrinter.isEmpty()) {
        WriteLog(u"廚房印表機設定錯誤(pvPrinter), 無法列印:"_s + pvPrinter);
        return failed();
    }
    if (!print::IsPrinterInstalled(pvPrinter)) {
        WriteLog(u"廚房印表機尚未安裝(pvPrinter), 無法列印:"_s + pvPrinter);
        return failed();
    }
    step(kTag, [&] { ticketPrinter.vsp.setDevice(pvPrinter); });

    QString sortFlag;
    if (getParamValue(u"KPSortByType"_s, sortFlag, cn))
        sortFlag = sortFlag.toUpper();

    // A selection of no rows would leave the filter without a condition.
    if (job.lastRow < job.firstRow)
        return nothingToPrint(u"沒有選取點單"_s);

    QString rowCondition;
    if (!step(kTag, [&] {
            // RNo is a number column: a cell is pasted only as the whole number it holds. A cell
            // holding anything else names no row, and must not reach the statement as text.
            for (int i = job.firstRow; i <= job.lastRow; ++i) {
                bool whole = false;
                const qint64 rno = fg1.TextMatrix(i, grids::OrderList::RNo).trimmed().toLongLong(&whole);
                if (whole)
                    rowCondition += u" rno = "_s + QString::number(rno) + u" OR"_s;
            }
            rowCondition.chop(2);
        }))
        return failed();
    if (rowCondition.isEmpty())
        return nothingToPrint(u"找不到所選的點單"_s);

    QList<SelectedOrder> orders;
    // Rows that could not be read were not printed: that is no success to report.
    if (!step(kTag, [&] { orders = selectedOrders(cn, rowCondition); }))
        return failed();
    if (orders.isEmpty())
        return nothingOpen(cn, rowCondition);

    int tried = 0, sent = 0;
    QStringList notPrinted;
    auto printTicket = [&](db::Recordset &rs, int splitCount, const QString &serial, const QString &label) {
        ++tried;
        bool taken = false;
        const bool ran = step(kTag, [&] {
            taken = ticketPrinter.PrintKPortShortSize(rs, serial, splitCount, QString(), kKPName, cn);
        });
        // Told in the text log like a missing printer: the operator looks there, not in the
        // error log, to learn why the kitchen got nothing.
        if (ran && !taken)
            WriteLog(u"廚房印表機拒收列印工作(pvPrinter), 無法列印:"_s + pvPrinter);
        if (taken)
            ++sent;
        else
            notPrinted << label;
    };
    for (const SelectedOrder &order : orders) {
        db::Recordset rs;
        step(kTag, [&] {
            QString sql = u" SELECT *"_s + u" From ORDERI"_s + openRowsAmong(order.rowCondition);
            sql += sortFlag == u"Y"_s ? u"   ORDER BY TypeNo, ItemName "_s : u"   ORDER BY ListNO"_s;
            rs = cn.openRecordset(sql, db::Cursor::Client);
        });
        if (!rs.isOpen()) {
            notPrinted += order.labels;
            continue;
        }
        // Each row under its own trap: a row that fails is named, and the next one still prints.
        while (!rs.eof()) {
            QString label;
            const int triedBefore = tried;
            const bool ran = step(kTag, [&] {
                label = rowLabel(rs);
                const QString itemType = rs.text(u"ItemType"_s);
                const double qty = rs.number(u"Qty"_s);
                const QString serial = rs.text(u"KSMark"_s);
                const bool split = ticketPrinter.splitsSetItems() && itemType == u"S1"_s;
                if (split && qty > 1 && qty <= kMaxSplitTickets) {
                    for (int i = 1; i <= qty; ++i)
                        printTicket(rs, i, serial, label + u"-"_s + QString::number(i));
                } else {
                    if (split && qty > kMaxSplitTickets)
                        WriteLog(u"套餐數量過多, 整份印一張菜條:%1 x %2"_s.arg(
                            rs.text(u"ItemName"_s), db::numberText(qty)));
                    printTicket(rs, 0, serial, label);
                }
            });
            // A row that broke off before its ticket was even tried.
            if (!ran && tried == triedBefore)
                notPrinted << (label.isEmpty() ? u"#?"_s : label);
            if (!step(kTag, [&] { rs.moveNext(); }))
                break;
        }
    }
    if (sent == 0)
        return { ReprintOutcome::Failed, {}, notPrinted };
    if (!notPrinted.isEmpty())
        return { ReprintOutcome::PartlyPrinted, {}, notPrinted };
    return printed();
}

PrintRowResult reprintSelectedRows(platform::GridModel &fg1, const PrintRowInput &input,
    print::PrintSurface &vsp, KitchenTicketPrinter &ticketPrinter, db::Connection &cn,
    const FGLogWriter &WriteFGLog)
{
    PrintRowResult result;
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
                    const ReprintResult reprint
                        = PrintKPortB(fg1, { rowB, rowE, input.printer, false }, vsp, ticketPrinter, cn);
                    result = { reprint.outcome, activityMessage(reprint, input.printer) };
                    if (WriteFGLog)
                        WriteFGLog(input.defKPort + u"送廚"_s, result.message);
                }
            }
        }
    } catch (...) {
        ShowErrMsg(tags::cmdPrintRow_Click);
    }
    platform::restoreCursor();
    return result;
}

} // namespace tavo::tickets
