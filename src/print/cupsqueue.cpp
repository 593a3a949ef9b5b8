#include "print/cupsqueue.h"

#include "print/escposrenderer.h"
#include "print/printdocument.h"
#include "util/report.h"

#include <cups/cups.h>

using namespace Qt::StringLiterals;

namespace tavo::print::cups {

namespace {
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
} // namespace

bool isRawQueue(const QString &printerName)
{
    // What lpadmin records for a queue made without a model or PPD.
    return queueAttribute(printerName, "printer-make-and-model") == "Local Raw Printer";
}

bool writesPdfFiles(const QString &printerName)
{
    return queueAttribute(printerName, "device-uri").startsWith("cups-pdf:");
}

bool sendsEscPos(const QString &printerName, const PrinterSetup &setup)
{
    return setup.mode == PrinterMode::Raw || (setup.mode == PrinterMode::Guess && isRawQueue(printerName));
}

bool submitRawJob(const QString &printerName, const QString &title, const QByteArray &bytes, QString *error)
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

bool printEscPos(
    const PrintDocument &document, const QString &printerName, const PrinterSetup &setup, QString *error)
{
    EscPosSink sink(setup.escpos, [&](const QString &title, const QByteArray &bytes, QString *reason) {
        return submitRawJob(printerName, title, bytes, reason);
    });
    return sink.output(document, error);
}

QStringList RawPrinterCatalog::printerNames() const
{
    cups_dest_t *dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    QStringList names;
    for (int i = 0; i < count; ++i) {
        // An instance is a set of options on its queue, listed as "queue/instance".
        const QString name = QString::fromUtf8(dests[i].name);
        names << (dests[i].instance ? name + u'/' + QString::fromUtf8(dests[i].instance) : name);
    }
    cupsFreeDests(count, dests);
    return names;
}

PrintPaper RawPrinterCatalog::paper(const QString &printerName) const
{
    if (!printerName.isEmpty() && sendsEscPos(printerName, readPrinterSetup(printerName)))
        return kReceiptRoll;
    return {};
}

QString notInstalledReason(const QStringList &installed, const QString &printerName)
{
    if (installed.contains(printerName))
        return {};
    if (installed.isEmpty())
        return u"printer \"%1\" is not installed: CUPS lists no printer (is cupsd running?)"_s.arg(
            printerName);
    return u"printer \"%1\" is not installed"_s.arg(printerName);
}

bool RawPrinterCatalog::print(const PrintDocument &document, const QString &printerName, QString *error)
{
    auto failWith = [&](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (const QString reason = notInstalledReason(printerNames(), printerName); !reason.isEmpty())
        return failWith(reason);
    const PrinterSetup setup = readPrinterSetup(printerName);
    for (const QString &problem : setup.problems)
        WriteLog(u"印表機設定無效, 使用預設值: "_s + problem);
    if (!sendsEscPos(printerName, setup))
        return failWith(
            u"printer \"%1\" prints pages through a driver, which this build of the program "
            "does not draw: set its Mode to raw or use the build with the window"_s.arg(printerName));
    return printEscPos(document, printerName, setup, error);
}

} // namespace tavo::print::cups
