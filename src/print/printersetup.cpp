#include "print/printersetup.h"

#include "platform/services.h"

#include <functional>
#include <initializer_list>
#include <utility>

using namespace Qt::StringLiterals;

namespace tavo::print {

QString printerSetupSection(const QString &printerName)
{
    return u"Printer_"_s + printerName;
}

namespace {
// A setting that names one of a few choices: the choice, or a problem when it names none.
template <typename Choice>
void readChoice(const QString &value, std::initializer_list<std::pair<QStringView, Choice>> choices,
    Choice &into, const std::function<void()> &problem)
{
    if (value.isEmpty())
        return;
    for (const auto &[name, choice] : choices) {
        if (value == name) {
            into = choice;
            return;
        }
    }
    problem();
}

// A whole number in [low, high], or a problem.
void readNumber(const QString &value, int low, int high, int &into, const std::function<void()> &problem)
{
    if (value.isEmpty())
        return;
    bool ok = false;
    const int n = value.toInt(&ok);
    if (ok && n >= low && n <= high)
        into = n;
    else
        problem();
}
} // namespace

PrinterSetup readPrinterSetup(const QString &printerName)
{
    PrinterSetup setup;
    const QString section = printerSetupSection(printerName);
    auto read = [&](const QString &key) {
        return platform::services().settings->get(u"Tavo3"_s, section, key).trimmed().toLower();
    };
    auto problem = [&](const QString &key, const QString &value) {
        return [&setup, &section, key, value] {
            setup.problems.append(u"[%1] %2=%3"_s.arg(section, key, value));
        };
    };

    const QString mode = read(u"Mode"_s);
    readChoice<PrinterMode>(mode, { { u"raw", PrinterMode::Raw }, { u"raster", PrinterMode::Raster } },
        setup.mode, problem(u"Mode"_s, mode));
    // Narrower than a 58 mm roll or wider than any print head is a typing error.
    const QString columns = read(u"Columns"_s);
    readNumber(columns, 24, 96, setup.escpos.columns, problem(u"Columns"_s, columns));
    const QString buzzer = read(u"Buzzer"_s);
    readChoice<EscPosBuzzer>(buzzer,
        { { u"function48", EscPosBuzzer::Function48 }, { u"escb", EscPosBuzzer::EscB },
            { u"bel", EscPosBuzzer::Bel }, { u"none", EscPosBuzzer::None } },
        setup.escpos.buzzer, problem(u"Buzzer"_s, buzzer));
    const QString page = read(u"CodePage"_s);
    readNumber(page, 0, 255, setup.escpos.codePage, problem(u"CodePage"_s, page));
    const QString size = read(u"SizeCommand"_s);
    readChoice<EscPosSizeCommand>(size,
        { { u"gs", EscPosSizeCommand::GsExclaim }, { u"esc", EscPosSizeCommand::EscExclaim } },
        setup.escpos.sizeCommand, problem(u"SizeCommand"_s, size));
    return setup;
}

} // namespace tavo::print
