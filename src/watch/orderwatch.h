#pragma once
// The order watch: lists the watched kitchen port's new ORDERI rows in the order grid fg1.
// The scan bound, kept beside the grid, is the highest RNo already considered; the next scan
// lists the rows of the port above it, in RNo order, each row once per run.
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <algorithm>
#include <functional>

namespace tavo::db {
class Connection;
}
namespace tavo::platform {
class GridModel;
}

namespace tavo::watch {

// How far the scans of one port have read: the highest RNo already considered. None until a scan
// finds a row of the port, and again once the watched port changes; it never goes back otherwise.
class ScanBound {
public:
    ScanBound() = default;
    explicit ScanBound(qint64 highest)
        : m_highest(std::max<qint64>(highest, 0))
    {
    }
    // No bound: the next scan is a first scan, which empties the grid and starts from the
    // port's oldest open row.
    bool isNone() const { return m_highest < 1; }
    qint64 highest() const { return m_highest; }
    void raiseTo(qint64 rno) { m_highest = std::max(m_highest, rno); }
    void reset() { m_highest = 0; }

private:
    qint64 m_highest = 0;
};

// fg1 with its header row, no data rows, and its hidden columns (KPMark, FileDate, UpdDate).
void InitFG1(platform::GridModel &fg1);

// Told of each appended row, with its cells, before the next one is read: the service passes the
// rows on as it lists them, tests break the link in the middle of a listing.
using RowHook = std::function<void(const QStringList &cells)>;

// One scan of `port` on `cnt` into `fg1`, from `bound` on; true when the listing query was read
// to its end. A database error is shown (tag "fmTavoKPortSrv_AddFG1") and returns false; the rows
// appended before it stay and the bound stands on the last of them, so the next scan goes on from
// there. The scan runs no pending events: 10,000 rows are listed in well under a second, and
// whoever starts a scan knows that nothing else can come between its rows.
bool AddFG1(platform::GridModel &fg1, ScanBound &bound, const QString &port, db::Connection &cnt,
    const RowHook &afterRow = {});

} // namespace tavo::watch
