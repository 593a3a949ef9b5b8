#pragma once
// The files of the grids: tab-separated dumps of the order and activity lists, and the
// comma-separated shift table. All in the ANSI code page; every write is atomic (a temporary
// file that then replaces the target), so an interrupted save never leaves half a file.
// Failures throw TavoError with Basic's file error numbers (53 not found, 75 access).
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace tavo::platform {

class GridModel;

// One line per row (CR LF), cells separated by tabs; the header row first when `withHeader`.
// Tabs and line breaks inside a cell become spaces, so one row stays one line.
void saveTabText(const GridModel &grid, const QString &path, bool withHeader = true);

// All rows, fields quoted where they need it.
void saveCsv(const GridModel &grid, const QString &path);
// Replaces all rows (the header row included) with the rows of the file; quoted fields may hold
// commas, quotes ("") and line breaks. The grid is unchanged when the file cannot be read.
void loadCsv(GridModel &grid, const QString &path);
// The parsing of loadCsv for text already read.
std::vector<QStringList> parseCsv(const QString &text);

void writeAtomically(const QString &path, const QByteArray &bytes);

} // namespace tavo::platform
