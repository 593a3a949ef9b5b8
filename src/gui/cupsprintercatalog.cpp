#include "gui/cupsprintercatalog.h"

#include "platform/painterrenderer.h"

#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

using namespace Qt::StringLiterals;

namespace tavo::gui {

QStringList CupsPrinterCatalog::printerNames() const
{
    return QPrinterInfo::availablePrinterNames();
}

bool CupsPrinterCatalog::print(
    const platform::PrintDocument &document, const QString &printerName, QString *error)
{
    auto failWith = [&](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    // QPrinterInfo::printerInfo() would also accept a name in another letter case; the queue must
    // be the one the operator configured, so look for the exact name first.
    const QStringList names = printerNames();
    if (!names.contains(printerName)) {
        if (names.isEmpty())
            return failWith(
                u"printer \"%1\" is not installed: CUPS lists no printer (is cupsd running?)"_s.arg(
                    printerName));
        return failWith(u"printer \"%1\" is not installed"_s.arg(printerName));
    }
    const QPrinterInfo info = QPrinterInfo::printerInfo(printerName);
    if (info.isNull())
        return failWith(u"printer \"%1\" disappeared from CUPS"_s.arg(printerName));
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::NativeFormat);
    QString reason;
    if (!printOn(document, printer, &reason))
        return failWith(reason);
    return true;
}

bool printOn(const platform::PrintDocument &document, QPrinter &printer, QString *error)
{
    using platform::PainterRenderer;
    printer.setDocName(document.name);
    printer.setFullPage(true);
    printer.setColorMode(QPrinter::Color);
    printer.setPageSize(PainterRenderer::pageSize(document));
    printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&printer)) {
        if (error)
            *error = u"the printer \"%1\" could not be opened"_s.arg(printer.printerName());
        return false;
    }
    PainterRenderer::paintPages(painter, document, printer.resolution());
    const bool ended = painter.end();
    if (!ended || printer.printerState() == QPrinter::Error) {
        if (error)
            *error = u"the printer \"%1\" refused the job"_s.arg(printer.printerName());
        return false;
    }
    return true;
}

} // namespace tavo::gui
