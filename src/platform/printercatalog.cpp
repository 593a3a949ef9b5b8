#include "platform/printercatalog.h"

#include "platform/painterrenderer.h"

#include <QPrinter>
#include <QPrinterInfo>

using namespace Qt::StringLiterals;

namespace tavo::platform {

QStringList CupsPrinterCatalog::printerNames() const
{
    return QPrinterInfo::availablePrinterNames();
}

bool CupsPrinterCatalog::print(const PrintDocument &document, const QString &printerName, QString *error)
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
    if (!PainterRenderer::toPrinter(document, printer, &reason))
        return failWith(reason);
    return true;
}

} // namespace tavo::platform
