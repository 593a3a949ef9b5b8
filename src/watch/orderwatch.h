#pragma once
// The order watch: lists the watched kitchen port's new ORDERI rows in the order grid fg1.
// The grid's tag holds the scan bound, the highest RNo already considered; the next scan lists
// the rows of the port above it, in RNo order, each row once per run.
#include <QString>

#include <functional>

namespace tavo::db {
class Connection;
}
namespace tavo::platform {
class GridModel;
}

namespace tavo::watch {

// fg1 with its header row, no data rows, and its hidden columns (KPMark, FileDate, UpdDate);
// the captions are echoed once, before the rows the scans echo.
void InitFG1(platform::GridModel &fg1);

// Run after each appended row (tests use it to break the link in the middle of a listing).
using RowHook = std::function<void()>;

// One scan of `port` on `cnt` into `fg1`; true when the listing query was read to its end.
// A database error is shown (tag "fmTavoKPortSrv_AddFG1") and returns false; the rows appended
// before it stay and the bound stands on the last of them, so the next scan goes on from there.
// The scan runs no pending events: 10,000 rows are listed in well under a second, and whoever
// starts a scan knows that nothing else can come between its rows.
bool AddFG1(platform::GridModel &fg1, const QString &port, db::Connection &cnt, const RowHook &afterRow = {});

} // namespace tavo::watch
