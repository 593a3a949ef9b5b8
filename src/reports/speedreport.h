#pragma once
// The service-time report of the shift reports' page ("出餐時間統計"): for the selected shift
// of the watched port, how long each dish took from order to bump, per dish and per hour, and
// the items still not done, laid out on a preview window's surface like the item summaries.
#include "reports/shiftreport.h"
#include "speed/servicetimes.h"

namespace tavo::reports {

// The items of `port` ordered within `window` (the rows the item summaries count) that the
// kitchen makes, in RNo order. Throws db::DbError.
QList<speed::OrderedItem> readShiftItems(db::Connection &cn, const QString &port, const ShiftWindow &window);

// "m:ss", or "h:mm:ss" from an hour on.
QString formatDuration(qint64 seconds);

// The button: the figures of the selected shift for `port` (the port the display watches), the
// bumps read from KDS.db in the site folder (input.appDir), shown modally in a new preview.
ReportOutcome printServiceTimeReport(const ShiftInput &input, const QString &port, const Site &site,
    const PreviewFactory &newPreview, const MessageFlash &DispElaMsg);

} // namespace tavo::reports
