// What the operator does from the window, run by the service: the port grid's edits, the
// watched port, the redirection of a printer, the reprint, the test tickets and the shift
// reports. Prints go through print(), so no scan or wake comes between their steps.
#include "core/kitchenservice.h"

#include "kport/portgrid.h"
#include "platform/cursor.h"
#include "reports/shiftreport.h"
#include "reports/speedreport.h"
#include "util/globals.h"
#include "util/grids.h"
#include "util/machine.h"
#include "util/report.h"

using namespace Qt::StringLiterals;

namespace tavo::core {

kport::WriteError KitchenService::setPortCell(int row, int col, const QString &text)
{
    return kport::setCell(m_ports, row, col, text, m_site.connection);
}

kport::WriteError KitchenService::insertPort()
{
    return kport::insertRow(m_ports, m_site.connection);
}

kport::WriteError KitchenService::deletePort(int row)
{
    return kport::deleteRow(m_ports, row, m_site.connection);
}

void KitchenService::watchPortOfRow(int row)
{
    using grids::PortGrid;
    // A station without a printer keeps printing nowhere: only a chosen printer follows the port.
    QString printer = m_config.printer(), type = m_config.printerType();
    if (!printer.isEmpty()) {
        printer = m_ports.TextMatrix(row, PortGrid::KPortName);
        type = m_ports.TextMatrix(row, PortGrid::KPortType);
    }
    m_config.setPrintList(m_ports.TextMatrix(row, PortGrid::PrintList).toUpper() == u"Y"_s);
    const bool item = m_ports.TextMatrix(row, PortGrid::PrintItem).toUpper() == u"Y"_s;
    m_config.setPrintItem(item);
    setListing(item);
    setPort(m_ports.TextMatrix(row, PortGrid::KPort));
    m_config.setPrinter(printer);
    m_config.setPrinterType(type);
}

int KitchenService::redirectPrinter(const QString &oldPrinter, const QString &newPrinter)
{
    const platform::BusyPointer busy;
    const int moved = kport::redirectPrinter(newPrinter, oldPrinter, m_site.connection);
    WriteLog(
        u"印表機替換: "_s + oldPrinter + u" -> "_s + newPrinter + u" ("_s + QString::number(moved) + u")"_s);
    kport::LoadPortGrid(m_ports, m_site.connection, *m_site.services.settings);
    // The grid settles before the next click.
    Delay(0.5);
    return moved;
}

tickets::PrintRowResult KitchenService::reprintSelected()
{
    const tickets::PrintRowInput input { port(), m_config.printer(), m_config.printerType(),
        m_config.printList(), m_config.printItem() };
    tickets::PrintRowResult result;
    print([&] {
        result = tickets::reprintSelectedRows(
            m_orders, input, m_surface, ticketPrinter(), m_site.connection, activityWriter());
    });
    return result;
}

void KitchenService::printTestTickets(tickets::OrderBuffer &entry)
{
    print([&] {
        tickets::printTestOfAllPrinters(m_ports, m_testedPrinters, entry, m_surface, activityWriter());
    });
}

QString KitchenService::printTestTicket(
    int row, tickets::OrderBuffer &entry, const std::function<void()> &starting)
{
    // The row the operator picked is the printer to test, not the station's own printer.
    const QString type = m_ports.TextMatrix(row, grids::PortGrid::KPortType);
    const QString printer = m_ports.TextMatrix(row, grids::PortGrid::KPortName);
    tickets::fillTestEntry(entry);
    entry.printerLine = u"廚房印表機:"_s + printer;
    if (type != u"EPSONTM"_s)
        return printer + u" 不是 EPSONTM 出單機, 不印測試單"_s;
    print([&] {
        starting();
        tickets::KPWPOrderI(printer, entry, m_surface, activityWriter());
    });
    return {};
}

reports::ReportOutcome KitchenService::showShiftReport(ShiftReport report, const QString &opDate,
    const reports::PreviewFactory &newPreview, const reports::MessageFlash &flash)
{
    const reports::ShiftInput input { m_shifts, opDate, m_config.printer(), m_site.values.gAppDir,
        m_config.printerType() };
    switch (report) {
    case ShiftReport::KitchenItems:
        return reports::printKitchenShiftReport(input, m_site, newPreview, flash);
    case ShiftReport::BarItems:
        return reports::printBarShiftReport(input, m_site, newPreview, flash);
    case ShiftReport::ServiceTimes:
        // The times of the port the display watches: the port the service lists.
        return reports::printServiceTimeReport(input, port(), m_site, newPreview, flash);
    }
    return reports::ReportOutcome::NotRun;
}

} // namespace tavo::core
