#pragma once
// Test tickets: proof that a kitchen printer is installed under the expected name and prints
// with the device fonts of the kitchen tickets. Drawn on the service window's own surface `vsp`.
#include "tickets/reprint.h"

#include <QString>

namespace tavo::tickets {

// The one order a test ticket prints, as text.
struct OrderBuffer {
    QString title; // in brackets at the top
    QString orderTime; // "hh:mm:ss"; the ticket shows its first five characters
    QString itemName; // the left cell of the item line
    QString quantity; // the right cell of the item line
    QString printerLine; // bold, below the header: the printer the ticket tests
    QString businessDayLine; // after "   ->" at the foot; nothing after the blank when empty
};

// The item line of a test ticket never ends higher on the paper than this (twips).
inline constexpr int SlipMinY = 2550;

// Prints one dish ticket from the buffer on an installed printer. A printer that is not installed
// gets the activity row "列印失敗"; a printing error is shown with the tag
// "fmTavoKPortSrv_KPWPOrderI". True when the ticket went to the printer.
bool KPWPOrderI(const QString &PrinterName, const OrderBuffer &Buffer, print::PrintSurface &vsp,
    const FGLogWriter &WriteFGLog);

// The fixed entry both test buttons print; printerLine is set per printer.
void fillTestEntry(OrderBuffer &Buffer);

// The test of all printers: every printer of the port grid (column 1 port, 2 type, 3 name) once,
// listed in fgPrinterList; only "EPSONTM" printers get a ticket. The caller then shows the
// activity page.
void printTestOfAllPrinters(platform::GridModel &fgKPort, platform::GridModel &fgPrinterList,
    OrderBuffer &Buffer, print::PrintSurface &vsp, const FGLogWriter &WriteFGLog);

} // namespace tavo::tickets
