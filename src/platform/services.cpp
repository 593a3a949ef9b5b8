#include "platform/services.h"

#include "platform/printdocument.h"
#include "platform/prompters.h"
#include "platform/settingsstore.h"
#include "platform/systemclock.h"

using namespace Qt::StringLiterals;

namespace tavo::platform {

namespace {

// Restarting the machine is never done by a seam nobody chose.
class NoRestart : public SystemRestart {
public:
    bool restart(bool, bool, QString *error) override
    {
        if (error)
            *error = u"no system restart is in place"_s;
        return false;
    }
};

class NoPrinters : public PrinterCatalog {
public:
    QStringList printerNames() const override { return {}; }
    PrintPaper paper(const QString &) const override { return {}; }
    bool print(const PrintDocument &, const QString &printerName, QString *error) override
    {
        if (error)
            *error = u"printer \"%1\" is not installed: no printer catalog is in place"_s.arg(printerName);
        return false;
    }
};

} // namespace

Services::Services()
{
    static SystemClock systemClock;
    static HeadlessPrompter headless;
    static QSettingsStore userSettings;
    static NoRestart noRestart;
    static NoPrinters noPrinters;
    clock = &systemClock;
    prompter = &headless;
    settings = &userSettings;
    restart = &noRestart;
    printers = &noPrinters;
}

Services &services()
{
    static Services instance;
    return instance;
}

} // namespace tavo::platform
