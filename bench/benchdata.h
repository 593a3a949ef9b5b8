#pragma once
// The data the benchmarks share: an ORDERI of 1,000,000 rows over the 30 business days up to
// kBenchLastDay (the demo's generator: menu, ports, add-ons, closed and open rows), made once and
// kept in the build's bench-data folder.
#include <QDate>
#include <QString>

namespace tavo::bench {

inline const QDate kBenchLastDay(2026, 12, 7);

// The SQLite file's path; the first call builds it.
QString millionRowDatabase();

} // namespace tavo::bench
