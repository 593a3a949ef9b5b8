#pragma once
// A printer catalog for tests: lists the printers it is given and keeps every finished document
// instead of printing it. It installs itself into platform::services() while it lives.
// KeepingSink does the same for a surface told to output somewhere other than a printer.
#include "platform/printdocument.h"
#include "platform/printsink.h"
#include "platform/services.h"

#include <QList>
#include <functional>

namespace tavo::test {

class FakePrinterCatalog : public platform::PrinterCatalog {
public:
    struct Job {
        QString printer;
        platform::PrintDocument document;
    };

    explicit FakePrinterCatalog(QStringList names = {});
    ~FakePrinterCatalog() override;
    FakePrinterCatalog(const FakePrinterCatalog &) = delete;
    FakePrinterCatalog &operator=(const FakePrinterCatalog &) = delete;

    QStringList printerNames() const override;
    // A roll for the printers named in receiptPrinters, A4 for any other.
    platform::PrintPaper paper(const QString &printerName) const override;
    bool print(const platform::PrintDocument &document, const QString &printerName,
        QString *error = nullptr) override;

    QStringList names;
    QStringList receiptPrinters;
    QList<Job> jobs;
    // When not empty, print() refuses every job with this reason (a queue that is paused or gone).
    QString refuseWith;
    // When set, print() refuses the documents it holds true for (one ticket of a run).
    std::function<bool(const platform::PrintDocument &)> refuseIf;
    // When set, listing the printers throws, as a spooler that cannot be asked would.
    bool failListing = false;

private:
    platform::PrinterCatalog *m_previous = nullptr;
};

class KeepingSink : public platform::PrintSink {
public:
    bool output(const platform::PrintDocument &document, QString *error) override;

    QList<platform::PrintDocument> documents;
    // When not empty, output() refuses every document with this reason.
    QString refuseWith;
};

} // namespace tavo::test
