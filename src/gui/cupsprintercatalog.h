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
    // A queue fed ESC/POS bytes prints on the receipt roll; a driver's queue on its default page,
    // a page no wider than a roll being a receipt printer's roll behind a driver.
    platform::PrintPaper paper(const QString &printerName) const override;
    // A receipt printer on a queue without a driver gets the document as ESC/POS bytes in a raw
    // job; any other queue gets it drawn through QPrinter (red device-font text stays red). The
    // printer's own settings (platform/printersetup.h) override the guess.
    bool print(const platform::PrintDocument &document, const QString &printerName,
        QString *error = nullptr) override;

    // Whether CUPS feeds the queue's jobs to the device untouched (no driver, no PPD).
    static bool isRawQueue(const QString &printerName);
    // Whether the queue is a PDF writer (cups-pdf), which names the file of each job after the
    // job's name: there the name of a job leaves out the leading dots that would hide the file.
    static bool writesPdfFiles(const QString &printerName);
    // Hands bytes to the queue as one raw job. A printer that is offline does not fail it: CUPS
    // keeps the job and delivers it when the printer answers again.
    static bool submitRawJob(
        const QString &printerName, const QString &title, const QByteArray &bytes, QString *error = nullptr);
};

// Draws every page of the document on an open-able printer, whose paper is set to the document's.
bool printOn(const platform::PrintDocument &document, QPrinter &printer, QString *error = nullptr);

} // namespace tavo::gui
