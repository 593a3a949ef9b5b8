#pragma once
// The printers of the machine, as the print pipeline reaches them. Production code goes through
// printServices() only, so tests can install a catalog of their own and never print on paper.
#include <QString>
#include <QStringList>

namespace tavo::print {

class PrintDocument;
struct PrintPaper;

// The installed printers, compared by exact, case-sensitive name.
class PrinterCatalog {
public:
    virtual ~PrinterCatalog() = default;
    virtual QStringList printerNames() const = 0;
    // The paper documents for this printer are laid out on: a receipt printer's roll, or the page
    // of any other printer.
    virtual PrintPaper paper(const QString &printerName) const = 0;
    // Sends a finished document to a printer; false with a reason when it could not be queued.
    virtual bool print(const PrintDocument &document, const QString &printerName, QString *error = nullptr)
        = 0;
};

// True when a printer of exactly this name (letter case included) is installed. A catalog that
// cannot be asked is reported (IsPrinterInstalled) and counts as no printer.
bool IsPrinterInstalled(const QString &printerName);

// The process-wide printer seam. main() installs the spooler's catalog; tests install fakes.
// Never null: until something is installed there are no printers and every job is refused.
struct PrintServices {
    PrintServices();
    PrinterCatalog *printers;
};

PrintServices &printServices();

} // namespace tavo::print
