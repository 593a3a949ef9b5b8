#pragma once
// The installed printers of this machine: the queues of the CUPS scheduler, as Qt's print
// support lists them. Names compare exactly and with letter case, as the ticket paths expect.
#include "print/printdocument.h"
#include "print/printercatalog.h"

class QPrinter;

namespace tavo::gui {

class CupsPrinterCatalog : public tavo::print::PrinterCatalog {
public:
    // Empty when the scheduler is not running or knows no queue.
    QStringList printerNames() const override;
    // A queue fed ESC/POS bytes prints on the receipt roll; a driver's queue on its default page,
    // a page no wider than a roll being a receipt printer's roll behind a driver.
    tavo::print::PrintPaper paper(const QString &printerName) const override;
    // A receipt printer on a queue without a driver gets the document as ESC/POS bytes in a raw
    // job; any other queue gets it drawn through QPrinter (red device-font text stays red). The
    // printer's own settings (print/printersetup.h) override the guess.
    bool print(const tavo::print::PrintDocument &document, const QString &printerName,
        QString *error = nullptr) override;
};

// Draws every page of the document on an open-able printer, whose paper is set to the document's.
bool printOn(const tavo::print::PrintDocument &document, QPrinter &printer, QString *error = nullptr);

} // namespace tavo::gui
