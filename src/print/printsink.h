#pragma once
// Where a finished document goes. The print surface only records and lays out; whatever ends
// up holding the ink (a spooler queue, a PDF file, an image for a preview or a test) is a sink,
// so a new destination never touches layout and every destination gets the same layout.
#include "print/printdocument.h"

#include <QString>

namespace tavo::print {

class PrintSink {
public:
    virtual ~PrintSink() = default;
    // Takes a finished, laid-out document; false with a reason when it could not be delivered.
    virtual bool output(const PrintDocument &document, QString *error) = 0;
};

// A printer of the PrinterCatalog in printServices(), looked up when a document arrives,
// so a catalog installed later (or a test's fake) is the one used.
class PrinterSink : public PrintSink {
public:
    explicit PrinterSink(QString printerName)
        : m_printer(std::move(printerName))
    {
    }
    QString printerName() const { return m_printer; }
    bool output(const PrintDocument &document, QString *error) override;

private:
    QString m_printer;
};

} // namespace tavo::print
