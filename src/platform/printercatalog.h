#pragma once
// The installed printers of this machine: the queues of the CUPS scheduler, as Qt's print
// support lists them. Names compare exactly and with letter case, as the ticket paths expect.
#include "platform/services.h"

namespace tavo::platform {

class CupsPrinterCatalog : public PrinterCatalog {
public:
    // Empty when the scheduler is not running or knows no queue.
    QStringList printerNames() const override;
    // Renders the document through QPrinter onto the named queue; red device-font text stays red.
    bool print(const PrintDocument &document, const QString &printerName, QString *error = nullptr) override;
};

} // namespace tavo::platform
