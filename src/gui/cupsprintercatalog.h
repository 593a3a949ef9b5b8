#pragma once
// The installed printers of this machine: the queues of the CUPS scheduler, as Qt's print
// support lists them. Names compare exactly and with letter case, as the ticket paths expect.
#include "platform/printdocument.h"
#include "platform/services.h"

class QPrinter;

namespace tavo::gui {

class CupsPrinterCatalog : public platform::PrinterCatalog {
public:
    // Empty when the scheduler is not running or knows no queue.
    QStringList printerNames() const override;
    // Renders the document through QPrinter onto the named queue; red device-font text stays red.
    bool print(const platform::PrintDocument &document, const QString &printerName,
        QString *error = nullptr) override;
};

// Draws every page of the document on an open-able printer, whose paper is set to the document's.
bool printOn(const platform::PrintDocument &document, QPrinter &printer, QString *error = nullptr);

} // namespace tavo::gui
