#include "print/printercatalog.h"

#include "print/printdocument.h"
#include "util/report.h"

using namespace Qt::StringLiterals;

namespace tavo::print {

namespace {
class NoPrinters : public PrinterCatalog {
public:
    QStringList printerNames() const override { return {}; }
    PrintPaper paper(const QString &) const override { return {}; }
    bool print(const PrintDocument &, const QString &printerName, QString *error) override
    {
        if (error)
            *error = u"printer \"%1\" is not installed: no printer catalog is in place"_s.arg(printerName);
        return false;
    }
};
} // namespace

PrintServices::PrintServices()
{
    static NoPrinters noPrinters;
    printers = &noPrinters;
}

bool IsPrinterInstalled(const QString &printerName)
{
    try {
        return !printerName.isEmpty()
            && printServices().printers->printerNames().contains(printerName, Qt::CaseSensitive);
    } catch (...) {
        ShowErrMsg(tags::IsPrinterInstalled);
        return false;
    }
}

PrintServices &printServices()
{
    static PrintServices instance;
    return instance;
}

} // namespace tavo::print
