#include "watch/orderwatch.h"

#include "db/connection.h"
#include "db/dbglobals.h"
#include "db/valuetext.h"
#include "platform/gridmodel.h"
#include "util/grids.h"
#include "util/report.h"

using namespace Qt::StringLiterals;

namespace tavo::watch {

namespace {

using grids::OrderList;

qint64 wholeNumber(double value)
{
    return value >= 1 ? qint64(value) : 0;
}

// Puts the grid's repainting back on however the scan ends.
class RedrawGuard {
public:
    explicit RedrawGuard(platform::GridModel &grid)
        : m_grid(grid)
    {
    }
    ~RedrawGuard() { m_grid.setRedraw(true); }
    RedrawGuard(const RedrawGuard &) = delete;
    RedrawGuard &operator=(const RedrawGuard &) = delete;

private:
    platform::GridModel &m_grid;
};

} // namespace

void InitFG1(platform::GridModel &fg1)
{
    fg1.setFixedRows(1);
    fg1.setRows(1);
    fg1.setColumns(OrderList::columns);
    fg1.AutoSize();
}

bool AddFG1(platform::GridModel &fg1, ScanBound &bound, const QString &port, db::Connection &cnt,
    const RowHook &afterRow)
{
    RedrawGuard guard(fg1);
    try {
        const QString P = QuotStr(port);
        const qint64 from = bound.highest();
        qint64 A = from;
        // The rows above `lowest` (exclusive) and up to B are listed.
        qint64 lowest = A;
        const bool firstScan = bound.isNone();
        if (firstScan) {
            db::Recordset rs = cnt.openRecordset(
                u"SELECT Min(RNo) as MinRNo From ORDERI WHERE OPDate is NULL"_s + u" and KPort = "_s + P);
            A = rs.eof() ? 0 : wholeNumber(rs.number(u"MinRNo"_s));
            rs.close();
            // The oldest open row of the port is listed too: it is as open as the ones after it.
            lowest = A > 0 ? A - 1 : 0;
            fg1.setRows(fg1.FixedRows());
        }

        db::Recordset rsMax = cnt.openRecordset(u" SELECT Max(RNo) as MaxRNo "_s + u" From ORDERI"_s
            + u" where KPort = "_s + P + u" and UpdDate is NULL"_s);
        const qint64 B = rsMax.eof() ? 0 : wholeNumber(rsMax.number(u"MaxRNo"_s));
        rsMax.close();

        // The bound moves only as far as rows were read: to B once the listing is complete.
        qint64 newBound = from;
        if (A == 0 && B > 0) {
            lowest = B; // nothing of the past is listed
            newBound = B;
        } else if (B > lowest) {
            newBound = std::max(from, B);
        }

        int appended = 0;
        if (B > lowest) {
            db::Recordset rs = cnt.openRecordset(
                u"SELECT  RNo, KPort, KPMark, OrderPID, KSMark, OrderTime, "_s
                + u" ItemName, PriceCap, Qty, Remark, "_s + u" POSID, DelMark, "_s + u" FileDate, UpdDate"_s
                + u" FROM ORDERI "_s + u" WHERE RNo > "_s + QString::number(lowest) + u"   and RNo <= "_s
                + QString::number(B) + u" and KPort = "_s + P + u" ORDer by Rno "_s);
            fg1.setRedraw(false);
            QStringList cells;
            cells.reserve(OrderList::Count);
            try {
                while (!rs.eof()) {
                    cells.clear();
                    for (int i = 0; i < OrderList::Count; ++i)
                        cells.append(rs.text(i));
                    const qint64 rno = wholeNumber(db::basicVal(cells[OrderList::RNo]));
                    fg1.addRow(cells);
                    ++appended;
                    bound.raiseTo(rno);
                    if (afterRow)
                        afterRow(cells);
                    rs.moveNext();
                }
            } catch (...) {
                if (appended > 0)
                    fg1.AutoSize();
                throw;
            }
        }
        bound.raiseTo(newBound);
        if (appended > 0 || firstScan) {
            fg1.AutoSize();
            if (fg1.Rows() > fg1.FixedRows())
                fg1.ShowCell(fg1.Rows() - 1, 0);
        }
        return true;
    } catch (...) {
        ShowErrMsg(tags::fmTavoKPortSrv_AddFG1);
        return false;
    }
}

} // namespace tavo::watch
