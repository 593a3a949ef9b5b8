#include "gui/cupsprintercatalog.h"

#include "platform/escposrenderer.h"
#include "platform/painterrenderer.h"
#include "platform/printersetup.h"
#include "util/report.h"

#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include <cmath>
#include <cups/cups.h>

using namespace Qt::StringLiterals;

namespace tavo::gui {

namespace {
// Whether the printer is fed ESC/POS bytes: its settings say so, or guess from the queue.
bool sendsEscPos(const QString &printerName, const platform::PrinterSetup &setup)
{
    return setup.mode == platform::PrinterMode::Raw
        || (setup.mode == platform::PrinterMode::Guess && CupsPrinterCatalog::isRawQueue(printerName));
}

// An attribute of the queue as CUPS lists its destinations; empty when it has none.
QByteArray queueAttribute(const QString &printerName, const char *attribute)
{
    cups_dest_t *dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    const QByteArray name = printerName.toUtf8();
    QByteArray value;
    if (const cups_dest_t *dest = cupsGetDest(name.constData(), nullptr, count, dests))
        value = cupsGetOption(attribute, dest->num_options, dest->options);
    cupsFreeDests(count, dests);
    return value;
}

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

platform::PrintPaper CupsPrinterCatalog::paper(const QString &printerName) const
{
    if (printerName.isEmpty())
        return {};
    if (sendsEscPos(printerName, platform::readPrinterSetup(printerName)))
        return platform::kReceiptRoll;
    const QPageSize page = QPrinterInfo::printerInfo(printerName).defaultPageSize();
    if (!page.isValid())
        return {};
    const QSizeF mm = page.size(QPageSize::Millimeter);
    if (mm.width() <= 80.5) {
        // A roll's head leaves about 4 mm unprinted on either side.
        platform::PrintPaper roll = platform::kReceiptRoll;
        roll.size.setWidth(int(std::lround((mm.width() - 8) * platform::kTwipsPerMm)));
        return roll;
    }
    const QSize points = page.sizePoints();
    return { QSize(int(points.width() * platform::kTwipsPerPoint),
                 int(points.height() * platform::kTwipsPerPoint)),
        false };
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
    const platform::PrinterSetup setup = platform::readPrinterSetup(printerName);
    for (const QString &problem : setup.problems)
        WriteLog(u"印表機設定無效, 使用預設值: "_s + problem);
    if (sendsEscPos(printerName, setup)) {
        platform::EscPosSink sink(
            setup.escpos, [&](const QString &title, const QByteArray &bytes, QString *reason) {
                return submitRawJob(printerName, title, bytes, reason);
            });
        return sink.output(document, error);
    }
    const QPrinterInfo info = QPrinterInfo::printerInfo(printerName);
    if (info.isNull())
        return failWith(u"printer \"%1\" disappeared from CUPS"_s.arg(printerName));
    QPrinter printer(info, QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::NativeFormat);
    // The spooler's list of a real printer keeps the ticket's name as it is.
    platform::PrintDocument job = document;
    if (writesPdfFiles(printerName))
        job.name = fileJobName(document.name);
    QString reason;
    if (!printOn(job, printer, &reason))
        return failWith(reason);
    return true;
}

bool CupsPrinterCatalog::isRawQueue(const QString &printerName)
{
    // What lpadmin records for a queue made without a model or PPD.
    return queueAttribute(printerName, "printer-make-and-model") == "Local Raw Printer";
}

bool CupsPrinterCatalog::writesPdfFiles(const QString &printerName)
{
    return queueAttribute(printerName, "device-uri").startsWith("cups-pdf:");
}

bool CupsPrinterCatalog::submitRawJob(
    const QString &printerName, const QString &title, const QByteArray &bytes, QString *error)
{
    const QByteArray name = printerName.toUtf8(), jobTitle = title.toUtf8();
    auto refused = [&](const char *stage) {
        if (error)
            *error = u"CUPS refused the raw job for \"%1\" (%2): %3"_s.arg(
                printerName, QLatin1StringView(stage), QString::fromUtf8(cupsLastErrorString()));
        return false;
    };
    const int job = cupsCreateJob(CUPS_HTTP_DEFAULT, name.constData(), jobTitle.constData(), 0, nullptr);
    if (job == 0)
        return refused("create");
    if (cupsStartDocument(CUPS_HTTP_DEFAULT, name.constData(), job, jobTitle.constData(), CUPS_FORMAT_RAW, 1)
        != HTTP_STATUS_CONTINUE) {
        cupsCancelJob2(CUPS_HTTP_DEFAULT, name.constData(), job, 0);
        return refused("start");
    }
    if (cupsWriteRequestData(CUPS_HTTP_DEFAULT, bytes.constData(), size_t(bytes.size()))
        != HTTP_STATUS_CONTINUE) {
        cupsFinishDocument(CUPS_HTTP_DEFAULT, name.constData());
        cupsCancelJob2(CUPS_HTTP_DEFAULT, name.constData(), job, 0);
        return refused("write");
    }
    if (cupsFinishDocument(CUPS_HTTP_DEFAULT, name.constData()) > IPP_STATUS_OK_EVENTS_COMPLETE)
        return refused("finish");
    return true;
}

bool printOn(const platform::PrintDocument &document, QPrinter &printer, QString *error)
{
    using platform::PainterRenderer;
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
