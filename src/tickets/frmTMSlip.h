#pragma once
// The ticket window: owner of the print surface that kitchen tickets are drawn on, and of the
// ticket settings read once when it loads. It never shows itself; it is loaded on first use and
// stays loaded for the life of the program, so BellDone really means "once per run".
#include "platform/printsurface.h"
#include "tickets/kitchenticket.h"

#include <QSize>
#include <QString>
#include <cmath>
#include <memory>

namespace tavo::tickets {

// The paper of kitchen and test tickets: an 80 mm receipt roll. A ticket laid out on a wider
// sheet would be shrunk to the roll's width by the spooler. The length is where a very long
// ticket breaks; the roll is cut below what was printed.
inline const QSize kRollPaper(
    int(std::lround(80 * platform::kTwipsPerMm)), int(std::lround(297 * platform::kTwipsPerMm)));

class frmTMSlip {
public:
    // The loaded window; the first call loads it.
    static frmTMSlip &instance();
    static bool isLoaded();
    // Tests only: the live program never unloads the ticket window.
    static void unload();

    frmTMSlip(const frmTMSlip &) = delete;
    frmTMSlip &operator=(const frmTMSlip &) = delete;

    static inline const QString Caption = QStringLiteral("TM印表機預覽視窗");

    platform::PrintSurface vsp;

    // Ticket settings, read at load (KPAddTblName with the first ticket, from xxPARAM).
    int SlipTopMargin = 0; // twips above the header
    QString KPAddTblName; // "Y": the header is repeated at the foot of the ticket
    QString TableLabel; // "桌號" on the sites configured for it, else empty
    bool BellDone = false; // the buzzer has sounded in this run

    // Set by the service start; kept for the order-ticket form.
    QString KPortFORM, KPortItemFORM, KPortSlipNo;

    // True when a printer of exactly this name (letter case included) is installed.
    bool IsPrinterInstalled(const QString &pvPrinter);

    // Draws the ticket of the row pRST stands on and sends it to the device already selected on
    // vsp: read, laid out, then its add-on rows marked on cn. Add-on rows after an item are listed
    // on its ticket, and pRST is left on the last row the ticket used. Each step logs its own
    // failure and the ticket goes on; the result is false only when the ticket could not be
    // handed to the printer.
    bool PrintKPortShortSize(db::Recordset &pRST, const QString &pvPrintSNo, int pvSplitCount,
        const QString &pvCustTotal, const QString &pvKPName, db::Connection &cn);

    // The settings a ticket of this window is laid out with, the time of printing being now.
    TicketSettings ticketSettings(const QString &pvPrintSNo, int pvSplitCount, const QString &pvCustTotal,
        const QString &pvKPName) const;

    // The INI key (section "PARAM" of TavoC.INI) naming the site whose tickets label the table
    // "桌號"; compared with the site's CustName.
    static inline const QString TableLabelSiteKey = QStringLiteral("TableLabelSite");

private:
    frmTMSlip();
    void Form_Load();
    bool m_paramsRead = false;
    static std::unique_ptr<frmTMSlip> &slot();
};

} // namespace tavo::tickets
