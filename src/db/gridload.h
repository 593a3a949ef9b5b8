#pragma once
// Filling a grid from a query: one grid row per record, below the grid's header row.
#include <QString>

namespace tavo::platform {
class GridModel;
}

namespace tavo::db {

class Connection;

// Runs `pvSQL` on `cnt` and replaces the grid's data rows with
// its records, every field as text (NULL empty), the columns in the query's order; the header
// cells stay. True when the query returned rows; `rowCount` then receives the grid's row count,
// header included (it is left alone otherwise). The cursor ends on row 1 when there are data
// rows. A failure is shown with the tag "FGLoad" CR LF "pvSQL:" and the statement, and leaves
// the rows read before it.
bool FGLoad(platform::GridModel &grid, const QString &pvSQL, Connection &cnt, int *rowCount = nullptr);

} // namespace tavo::db
