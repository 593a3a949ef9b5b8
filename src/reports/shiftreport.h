#pragma once
// The shift item-summary reports of the service window ("列印廚房統計表", "列印吧檯統計表"):
// what a kitchen station served during one shift of the operation date, category by category,
// laid out on a preview window's surface.
#include "platform/logtags.h"
#include "reports/reportpreview.h"

#include <QString>
#include <optional>

namespace tavo {
struct Site;
}

namespace tavo::db {
class Connection;
}
namespace tavo::platform {
class GridModel;
}

namespace tavo::reports {

// The order-time window of a report: dates "YYYY/MM/DD", times "hh:mm:ss".
struct ShiftWindow {
    QString dateB, dateE, timeB, timeE;
};

// The WHERE fragments of one window. A window across midnight takes the first date from its start
// time on and the last date up to its end time, and no other hour of either day; a window within
// one day takes its dates and its times as two independent conditions.
QString shiftCondition(const ShiftWindow &window);

// The statements of the report: the summed quantities per item, and the supplementary ("補單")
// quantity of one item.
QString kpTypeListSql(const QString &pvKPort, const ShiftWindow &window, bool priceCap);
QString supplementSql(double typeNo, const QString &itemName, const QString &priceCap,
    const ShiftWindow &window, bool priceCapFlag);

// Quantities as the report prints them: thousands separated, rounded to whole units.
QString formatQty(double qty);

enum class ReportOutcome {
    Shown, // laid out and shown in the preview
    NotRun, // a message on the panel or in a box said why (no shift, no time, no printer, no data)
    Failed, // an error, shown with its tag
};

// The paper a report is laid out on: the printer's own. A named printer of type "EPSONTM" is a
// receipt printer whatever its queue says.
print::PrintPaper reportPaper(const QString &printer, const QString &printerType);

// One item summary: the port (its code and its name on the title), the window of the shift, the
// printer it may go to (empty: preview only) and that printer's kitchen port type ("EPSONTM" for a
// receipt printer) when known; `byPriceClass` lists each price class of an item apart.
struct ItemSummaryRequest {
    QString port, portName;
    ShiftWindow window;
    QString printer;
    bool byPriceClass = true;
    QString printerType = {};
};

// Builds the item summary on a new preview window and shows it modally.
ReportOutcome printItemSummary(const ItemSummaryRequest &request, const Site &site,
    const PreviewFactory &newPreview, const MessageFlash &DispElaMsg);

// What the report buttons read from the service window.
struct ShiftInput {
    platform::GridModel &fg2; // the shift grid; its cursor row is the shift
    QString opDate; // txtOpDate
    QString printer; // txtPrinter
    QString appDir; // where "TavoC_fg2.CSV" is kept
    QString printerType = {}; // txtPrinterType
};

// The shift under the grid's cursor, as a window on the operation date: from its start time to
// its end time, on the next day when the end comes before the start. Saves the shift grid first.
// None when no shift is selected or it has no times (the panel says which). Throws TavoError when
// a shift past midnight meets an operation date that is not a date.
struct SelectedShift {
    QString name;
    ShiftWindow window;
};
std::optional<SelectedShift> selectedShift(const ShiftInput &input, const MessageFlash &DispElaMsg);

// The buttons' logic: the item summary of the station over the selected shift. Errors are
// shown with `tag`.
ReportOutcome printShiftReport(const QString &tag, const QString &kPort, const QString &kPName,
    const ShiftInput &input, const Site &site, const PreviewFactory &newPreview,
    const MessageFlash &DispElaMsg);

inline ReportOutcome printKitchenShiftReport(const ShiftInput &input, const Site &site,
    const PreviewFactory &newPreview, const MessageFlash &DispElaMsg)
{
    return printShiftReport(tags::cmdPrintShiftItemSum_Click, QStringLiteral("PK"), QStringLiteral("廚房"),
        input, site, newPreview, DispElaMsg);
}

inline ReportOutcome printBarShiftReport(const ShiftInput &input, const Site &site,
    const PreviewFactory &newPreview, const MessageFlash &DispElaMsg)
{
    return printShiftReport(tags::cmdPrintShiftRptB_Click, QStringLiteral("PB"), QStringLiteral("吧台"),
        input, site, newPreview, DispElaMsg);
}

} // namespace tavo::reports
