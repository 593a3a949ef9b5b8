#pragma once
// A served day for the shift reports of a demo site: the shift table of the service window and
// the closed orders of a lunch, a dinner and a night shift that runs past midnight.
#include "db/connection.h"

#include <QDate>
#include <QString>

namespace tavo::demo {

// Writes <folder>/TavoC_fg2.CSV (Big5, as the window saves it) unless the site has one.
// True when it was written.
bool writeShiftTable(const QString &folder);

// Adds the day's closed kitchen and bar orders (and the night's early hours on the day after)
// unless ORDERI already holds orders of that day. Returns the number of rows written.
int loadShiftHistory(db::Connection &connection, const QDate &opDate);

} // namespace tavo::demo
