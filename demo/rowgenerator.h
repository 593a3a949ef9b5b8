#pragma once
// Large ORDERI tables for the benchmarks: weeks of closed business and one open day.
#include "db/connection.h"

#include <QDate>
#include <functional>

namespace tavo::demo {

struct RowOptions {
    qint64 rows = 1000000;
    int items = 300; // distinct item names
    int days = 30; // business days covered, the last one still open
    QDate lastDay; // the open day; today when invalid
    quint32 seed = 1;
    std::function<void(qint64 written)> progress; // called now and then
};

// Appends the rows to ORDERI in one transaction with prepared multi-row inserts. Rows of the
// days before the last are closed (OPDate set, most of them changed); rows of the last day
// are open and unchanged but for a few. Returns the number of rows written.
qint64 generateRows(db::Connection &connection, const RowOptions &options);

} // namespace tavo::demo
