#include "gui/cupsprintercatalog.h"

#include "print/cupsqueue.h"
#include "print/painterrenderer.h"
#include "print/printersetup.h"
#include "util/report.h"

#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tavo::gui {

namespace {
// A kitchen ticket's job name begins with "." to stand apart in the spooler's list; a queue
// that writes files names each after its job, and would hide them.
QString fileJobName(const QString &jobName)
{
    qsizetype dots = 0;
    while (dots < jobName.size() && jobName[dots] == u'.')
        ++dots;
    return jobName.mid(dots);
}
} // namespace

QStringList CupsPrinterCatalog::printerNames() const
{
    return QPrinterInfo::availablePrinterNames();
}

print::PrintPaper CupsPrinterCatalog::paper(const QString &printerName) const
{
    if (printerName.isEmpty())
        return {};
    if (tavo::print::cups::sendsEscPos(printerName, tavo::print::readPrinterSetup(printerName)))
        return tavo::print::kReceiptRoll;
    const QPageSize page = QPrinterInfo::printerInfo(printerName).defaultPageSize();
    if (!page.isValid())
        return {};
    const QSizeF mm = page.size(QPageSize::Millimeter);
    if (mm.width() <= 80.5) {
        // A roll's head leaves about 4 mm unprinted on either side.
        tavo::print::PrintPaper roll = tavo::print::kReceiptRoll;
        roll.size.setWidth(int(std::lround((mm.width() - 8) * tavo::print::kTwipsPerMm)));
        return roll;
    }
    const QSize points = page.sizePoints();
    return { QSize(int(points.width() * tavo::print::kTwipsPerPoint),
                 int(points.height() * tavo::print::kTwipsPerPoint)),
        false };
}

bool CupsPrinterCatalog::print(
    const tavo::print::PrintDocument &document, const QString &printerName, QString *error)
{
    auto failWith = [&](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    // QPrinterInfo::printerInfo() would also accept a name in another letter case; the queue must
    // be the one the operator configured, so look for the exact name first.
    if (const QString reason = tavo::print::cups::notInstalledReason(printerNames(), printerName);
        !reason.isEmpty())
        return failWith(reason);
    const tavo::print::PrinterSetup setup = tavo::print::readPrinterSetup(printerName);
    for (const QString &problem : setup.problems)
        WriteLog(u"印表機設定無效, 使用預設值: "_s + problem);
    if (tavo::print::cups::sendsEscPos(printerName, setup))
        return tavo::print::cups::printEscPos(document, printerName, setup, error);
    const QPrinterInfo info = QPrinterInfo::printerInfo(printerName);
    if (info.isNull())
        return failWith(u"printer \"%1\" disappeared from CUPS"_s.arg(printerName));
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::NativeFormat);
    // The spooler's list of a real printer keeps the ticket's name as it is.
    tavo::print::PrintDocument job = document;
    if (tavo::print::cups::writesPdfFiles(printerName))
        job.name = fileJobName(document.name);
    QString reason;
    if (!printOn(job, printer, &reason))
        return failWith(reason);
    return true;
}

bool printOn(const tavo::print::PrintDocument &document, QPrinter &printer, QString *error)
{
    using tavo::print::PainterRenderer;
    printer.setDocName(document.name);
    // Positions count from the corner of the area the printer can reach, as they did under the
    // drivers of the POS workstations: a report laid out with no margin loses no character to
    // the printer's own. Margins asked for as zero come out as the printer's least.
    printer.setFullPage(false);
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
