#pragma once
// Reprint of listed rows: the "補印送廚" button of the service window and the operation behind
// it. The window hands over its controls; the logic lives here so it can run without the window.
#include <QString>
#include <QStringList>
#include <functional>

namespace tavo::db {
class Connection;
}

namespace tavo::platform {
class GridModel;
}

namespace tavo::print {
class PrintSurface;
}

namespace tavo::tickets {

class KitchenTicketPrinter;

// The service window's activity log: one row of a job type and a message.
using FGLogWriter = std::function<void(const QString &type, const QString &message)>;

enum class ReprintOutcome {
    Printed, // every selected row still open got its tickets
    PartlyPrinted, // some tickets reached the printer, those of `notPrinted` did not
    NothingToPrint, // no selected row is left to print; the result says why
    Failed, // no usable printer, the rows could not be read, or no ticket reached the printer
};

struct ReprintResult {
    ReprintOutcome outcome = ReprintOutcome::Failed;
    QString reason; // NothingToPrint: why, in words the operator reads as they are
    // The tickets that did not reach the printer, as the operator finds them in the grid:
    // "#<RNo> <item>", and "-<unit>" after a unit of a split set item.
    QStringList notPrinted;

    bool operator==(const ReprintResult &) const = default;
};

// One reprint: the grid rows firstRow..lastRow (their RNo in column 0), to `printer`; `preview`
// applies to the window's own surface.
struct ReprintJob {
    int firstRow = 0, lastRow = 0;
    QString printer;
    bool preview = false;
};

// Re-reads the job's grid rows from cn, skips those the POS has closed, and prints a kitchen
// ticket for each of the others on the job's printer. The rows print order by order (the orders
// as their first rows were listed), each order exactly as a reprint of its rows alone would print
// it. A ticket that fails costs only its own row. The tickets are drawn by `ticketPrinter`.
ReprintResult PrintKPortB(platform::GridModel &fg1, const ReprintJob &job, print::PrintSurface &vsp,
    KitchenTicketPrinter &ticketPrinter, db::Connection &cn);

// Split set items print one ticket per unit; a quantity beyond this is a slip of the terminal,
// and its item prints as one ticket with the whole quantity instead of thousands of tickets.
inline constexpr int kMaxSplitTickets = 100;

// What the window's reprint button reads from its controls.
struct PrintRowInput {
    QString defKPort; // txtDefKPort
    QString printer; // txtPrinter
    QString printerType; // txtPrinterType
    bool printList = false; // chkPrintList
    bool printItem = false; // chkPrintItem
};

// What the reprint button did.
struct PrintRowResult {
    ReprintOutcome outcome = ReprintOutcome::Failed;
    QString message; // as the activity log got it; empty when nothing was attempted
};

// Prints the rows the operator selected (by keyboard, mouse or an
// assistive technology), or the cursor row when nothing is selected, and logs the outcome under
// the port's "送廚". Errors are shown with the tag "cmdPrintRow_Click".
PrintRowResult reprintSelectedRows(platform::GridModel &fg1, const PrintRowInput &input,
    print::PrintSurface &vsp, KitchenTicketPrinter &ticketPrinter, db::Connection &cn,
    const FGLogWriter &WriteFGLog);

} // namespace tavo::tickets
