#include "support/fake_printers.h"

#include "platform/errors.h"

using namespace Qt::StringLiterals;

namespace tavo::test {

FakePrinterCatalog::FakePrinterCatalog(QStringList printerNames)
    : names(std::move(printerNames))
    , m_previous(tavo::print::printServices().printers)
{
    tavo::print::printServices().printers = this;
}

FakePrinterCatalog::~FakePrinterCatalog()
{
    if (tavo::print::printServices().printers == this)
        tavo::print::printServices().printers = m_previous;
}

QStringList FakePrinterCatalog::printerNames() const
{
    if (failListing)
        throw TavoError(kGenericErrorNumber, u"the printer list cannot be read"_s);
    return names;
}

print::PrintPaper FakePrinterCatalog::paper(const QString &printerName) const
{
    return receiptPrinters.contains(printerName) ? tavo::print::kReceiptRoll : tavo::print::PrintPaper();
}

bool FakePrinterCatalog::print(
    const tavo::print::PrintDocument &document, const QString &printerName, QString *error)
{
    if (refuseIf && refuseIf(document)) {
        if (error)
            *error = u"the printer refused \"%1\""_s.arg(document.name);
        return false;
    }
    if (!refuseWith.isEmpty() || !names.contains(printerName)) {
        if (error)
            *error
                = refuseWith.isEmpty() ? u"printer \"%1\" is not installed"_s.arg(printerName) : refuseWith;
        return false;
    }
    jobs.append({ printerName, document });
    return true;
}

bool KeepingSink::output(const tavo::print::PrintDocument &document, QString *error)
{
    if (!refuseWith.isEmpty()) {
        if (error)
            *error = refuseWith;
        return false;
    }
    documents.append(document);
    return true;
}

} // namespace tavo::test
