#pragma once
// The printer of kitchen tickets: the print surface they are drawn on, and the ticket settings
// read once when it is made. The service makes one on its first ticket and keeps it for its
// life, so BellDone really means "once per run"; whoever prints tickets is handed it.
#include "db/site.h"
#include "print/printsurface.h"
#include "tickets/kitchenticket.h"

#include <QSize>
#include <QString>
#include <cmath>

namespace tavo::tickets {

// The paper of kitchen and test tickets: an 80 mm receipt roll. A ticket laid out on a wider
// sheet would be shrunk to the roll's width by the spooler. The length is where a very long
// ticket breaks; the roll is cut below what was printed.
inline const QSize kRollPaper(
    int(std::lround(80 * print::kTwipsPerMm)), int(std::lround(297 * print::kTwipsPerMm)));

class KitchenTicketPrinter {
public:
    // Sets the surface up for the roll and reads the ticket settings of the site and the station.
    explicit KitchenTicketPrinter(const Site &site);
    KitchenTicketPrinter(const KitchenTicketPrinter &) = delete;
    KitchenTicketPrinter &operator=(const KitchenTicketPrinter &) = delete;

    print::PrintSurface vsp;

    // Ticket settings, read when made (KPAddTblName with the first ticket, from xxPARAM).
    int SlipTopMargin = 0; // twips above the header
    QString KPAddTblName; // "Y": the header is repeated at the foot of the ticket
    QString TableLabel; // "桌號" on the sites configured for it, else empty
    bool BellDone = false; // the buzzer has sounded in this run

    // Draws the ticket of the row pRST stands on and sends it to the device already selected on
    // vsp: read, laid out, then its add-on rows marked on cn. Add-on rows after an item are listed
    // on its ticket, and pRST is left on the last row the ticket used. Each step logs its own
    // failure and the ticket goes on; the result is false only when the ticket could not be
    // handed to the printer.
    bool PrintKPortShortSize(db::Recordset &pRST, const QString &pvPrintSNo, int pvSplitCount,
        const QString &pvCustTotal, const QString &pvKPName, db::Connection &cn);

    // The settings a ticket is laid out with, the time of printing being now.
    TicketSettings ticketSettings(const QString &pvPrintSNo, int pvSplitCount, const QString &pvCustTotal,
        const QString &pvKPName) const;

    // Set items ("S1") print one ticket per unit (KPSplitS1item of xxPARAM).
    bool splitsSetItems() const { return m_site.values.gKPSplitS1item == QStringLiteral("Y"); }
    // The INI key (section "PARAM" of TavoC.INI) naming the site whose tickets label the table
    // "桌號"; compared with the site's CustName.
    static inline const QString TableLabelSiteKey = QStringLiteral("TableLabelSite");

private:
    Site m_site;
    bool m_paramsRead = false;
};

} // namespace tavo::tickets
