#include "platform/services.h"

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

} // namespace

Services::Services()
{
    static SystemClock systemClock;
    static HeadlessPrompter headless;
    static QSettingsStore userSettings;
    static NoRestart noRestart;
    clock = &systemClock;
    prompter = &headless;
    settings = &userSettings;
    restart = &noRestart;
}

Services &services()
{
    static Services instance;
    return instance;
}

} // namespace tavo::platform
