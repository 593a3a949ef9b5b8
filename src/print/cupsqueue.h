#pragma once
// The queues of the CUPS scheduler as the print pipeline sees them without drawing a page: what
// kind of queue a printer is, and the raw job that hands a receipt printer its ESC/POS bytes.
#include "print/printercatalog.h"
#include "print/printersetup.h"

#include <QByteArray>
#include <QString>

namespace tavo::print::cups {

// Whether CUPS feeds the queue's jobs to the device untouched (no driver, no PPD).
bool isRawQueue(const QString &printerName);
// Whether the queue is a PDF writer (cups-pdf), which names the file of each job after the
// job's name: there the name of a job leaves out the leading dots that would hide the file.
bool writesPdfFiles(const QString &printerName);
// Whether the printer is fed ESC/POS bytes: its settings say so, or guess from the queue.
bool sendsEscPos(const QString &printerName, const PrinterSetup &setup);
// Hands bytes to the queue as one raw job. A printer that is offline does not fail it: CUPS
// keeps the job and delivers it when the printer answers again.
bool submitRawJob(
    const QString &printerName, const QString &title, const QByteArray &bytes, QString *error = nullptr);
// Why `printerName` cannot take a job when the scheduler lists only `installed`: it is not among
// them (the exact name: another letter case is another queue), or CUPS lists nothing at all.
// Empty when it is listed.
QString notInstalledReason(const QStringList &installed, const QString &printerName);
// The document as ESC/POS bytes in one raw job, laid out for the printer's setup.
bool printEscPos(const PrintDocument &document, const QString &printerName, const PrinterSetup &setup,
    QString *error = nullptr);

// The CUPS queues of a program built without Qt Print Support: receipt printers get their ESC/POS
// bytes as raw jobs; a page printer, which needs pages drawn through its driver, refuses the job
// with that reason.
class RawPrinterCatalog : public PrinterCatalog {
public:
    // Empty when the scheduler is not running or knows no queue.
    QStringList printerNames() const override;
    // The receipt roll for a printer fed ESC/POS bytes, A4 for any other.
    PrintPaper paper(const QString &printerName) const override;
    bool print(const PrintDocument &document, const QString &printerName, QString *error = nullptr) override;
};

} // namespace tavo::print::cups
