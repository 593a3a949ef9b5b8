#pragma once
// A printer catalog for tests: lists the printers it is given and keeps every finished document
// instead of printing it. It installs itself into print::printServices() while it lives.
// KeepingSink does the same for a surface told to output somewhere other than a printer.
#include "print/printdocument.h"
#include "print/printercatalog.h"
#include "print/printsink.h"

#include <QList>
#include <functional>

namespace tavo::test {

class FakePrinterCatalog : public tavo::print::PrinterCatalog {
public:
    struct Job {
        QString printer;
        tavo::print::PrintDocument document;
    };

    explicit FakePrinterCatalog(QStringList names = {});
    ~FakePrinterCatalog() override;
    FakePrinterCatalog(const FakePrinterCatalog &) = delete;
    FakePrinterCatalog &operator=(const FakePrinterCatalog &) = delete;

    QStringList printerNames() const override;
    // A roll for the printers named in receiptPrinters, A4 for any other.
    tavo::print::PrintPaper paper(const QString &printerName) const override;
    bool print(const tavo::print::PrintDocument &document, const QString &printerName,
        QString *error = nullptr) override;

    QStringList names;
    QStringList receiptPrinters;
    QList<Job> jobs;
    // When not empty, print() refuses every job with this reason (a queue that is paused or gone).
    QString refuseWith;
    // When set, print() refuses the documents it holds true for (one ticket of a run).
    std::function<bool(const tavo::print::PrintDocument &)> refuseIf;
    // When set, listing the printers throws, as a spooler that cannot be asked would.
    bool failListing = false;

private:
    tavo::print::PrinterCatalog *m_previous = nullptr;
};

class KeepingSink : public tavo::print::PrintSink {
public:
    bool output(const tavo::print::PrintDocument &document, QString *error) override;

    QList<tavo::print::PrintDocument> documents;
    // When not empty, output() refuses every document with this reason.
    QString refuseWith;
};

} // namespace tavo::test
