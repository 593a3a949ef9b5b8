#pragma once
// The kitchen port grid fgKPort: the ports a service may watch and the printers their tickets go
// to. Its rows are the two default ports of the settings store ("KP": the kitchen "PK" and the bar
// "PB"), then the KPORT rows that print anything on an Epson TM printer.
//
// A row whose first cell holds a record number stands for that KPORT record: edits, deletions
// and insertions made in setting mode are written to it at once, one statement each, before the
// grid changes, so grid and table never disagree. The default rows belong to the settings store,
// which this program only reads: they change in the grid alone.
#include <QString>
#include <QStringList>

namespace tavo::db {
class Connection;
}
namespace tavo::platform {
class GridModel;
class SettingsStore;
}

namespace tavo::kport {

// The statement of the KPORT rows shown.
QString portRowsSql();

// Header, KPORT rows, then the default rows above them, columns fitted, cursor on row 1 (or on
// the header when there is no row). A failing query is shown by FGLoad; the default rows stay.
// The default rows come from `settings`.
void LoadPortGrid(platform::GridModel &fgKPort, db::Connection &cnt, const platform::SettingsStore &settings);

// The names of the grid's columns as KPORT names them.
QString columnKey(int col);
// False for the columns an operator may not change (the record number).
bool isEditableColumn(int col);

// What Space makes of a cell: the type column toggles "EPSONTM" and empty, the flag columns "Y"
// and empty (only an exact "Y" counts as set). False for the columns Space does not toggle.
bool toggledCell(int col, const QString &text, QString &toggled);

// Why a text may not go into a cell ("不支援此型別:" or "印表機沒有安裝:" and the text);
// empty when it may.
QString refusal(int col, const QString &text);

// The record behind a grid row; 0 for a default row (or a row without a record number).
qint64 recordOf(const platform::GridModel &fgKPort, int row);

// The outcome of a write: empty when it succeeded, else what the operator is told.
using WriteError = QString;

// Writes `text` into the cell, through the record behind the row when there is one (UpdDate
// stamped by the server's clock). On failure the cell and the record stay as they were.
WriteError setCell(platform::GridModel &fgKPort, int row, int col, const QString &text, db::Connection &cnt);
// Deletes the row and its record.
WriteError deleteRow(platform::GridModel &fgKPort, int row, db::Connection &cnt);
// Adds a new KPORT record (an Epson TM port printing strips, the rest empty) and its row at the
// end of the grid; the cursor goes to its port cell.
WriteError insertRow(platform::GridModel &fgKPort, db::Connection &cnt);

// The pick list of printers: one row "index<TAB>name" per installed printer, in the catalog's
// order, below the header row.
void fillPrinterPick(platform::GridModel &fgCode, const QStringList &printers);

// Moves every KPORT row of printer `oldPrinter` to `newPrinter`.
QString redirectSql(const QString &newPrinter, const QString &oldPrinter);
// Runs it; the number of rows changed. Throws as the connection does.
int redirectPrinter(const QString &newPrinter, const QString &oldPrinter, db::Connection &cnt);

} // namespace tavo::kport
