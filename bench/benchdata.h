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

// A site folder holding a day of the kitchen display's work on kBenchLastDay: site.db, an ORDERI
// of kServiceDayItems kitchen ("PK") items from 10:00 to midnight, four to an order, and KDS.db,
// each order bumped 3 to 30 minutes after it was ordered but for one in a hundred, never bumped.
// The first call builds it.
inline constexpr int kServiceDayItems = 100000;
QString serviceTimeSite();

} // namespace tavo::bench
