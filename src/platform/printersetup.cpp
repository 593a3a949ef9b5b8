#include "platform/printersetup.h"

#include "platform/services.h"

using namespace Qt::StringLiterals;

namespace tavo::platform {

QString printerSetupSection(const QString &printerName)
{
    return u"Printer_"_s + printerName;
}

PrinterSetup readPrinterSetup(const QString &printerName)
{
    PrinterSetup setup;
    const QString section = printerSetupSection(printerName);
    auto read = [&](const QString &key) {
        return services().settings->get(u"Tavo3"_s, section, key).trimmed().toLower();
    };
    auto problem = [&](const QString &key, const QString &value) {
        setup.problems.append(u"[%1] %2=%3"_s.arg(section, key, value));
    };

    if (const QString mode = read(u"Mode"_s); mode == u"raw"_s)
        setup.mode = PrinterMode::Raw;
    else if (mode == u"raster"_s)
        setup.mode = PrinterMode::Raster;
    else if (!mode.isEmpty())
        problem(u"Mode"_s, mode);

    if (const QString columns = read(u"Columns"_s); !columns.isEmpty()) {
        bool ok = false;
        const int n = columns.toInt(&ok);
        // Narrower than a 58 mm roll or wider than any print head is a typing error.
        if (ok && n >= 24 && n <= 96)
            setup.escpos.columns = n;
        else
            problem(u"Columns"_s, columns);
    }

    if (const QString buzzer = read(u"Buzzer"_s); buzzer == u"function48"_s)
        setup.escpos.buzzer = EscPosBuzzer::Function48;
    else if (buzzer == u"escb"_s)
        setup.escpos.buzzer = EscPosBuzzer::EscB;
    else if (buzzer == u"bel"_s)
        setup.escpos.buzzer = EscPosBuzzer::Bel;
    else if (buzzer == u"none"_s)
        setup.escpos.buzzer = EscPosBuzzer::None;
    else if (!buzzer.isEmpty())
        problem(u"Buzzer"_s, buzzer);

    if (const QString page = read(u"CodePage"_s); !page.isEmpty()) {
        bool ok = false;
        const int n = page.toInt(&ok);
        if (ok && n >= 0 && n <= 255)
            setup.escpos.codePage = n;
        else
            problem(u"CodePage"_s, page);
    }

    if (const QString size = read(u"SizeCommand"_s); size == u"gs"_s)
        setup.escpos.sizeCommand = EscPosSizeCommand::GsExclaim;
    else if (size == u"esc"_s)
        setup.escpos.sizeCommand = EscPosSizeCommand::EscExclaim;
    else if (!size.isEmpty())
        problem(u"SizeCommand"_s, size);
    return setup;
}

} // namespace tavo::platform
