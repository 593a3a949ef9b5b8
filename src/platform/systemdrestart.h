#pragma once
#include "platform/services.h"

namespace tavo::platform {

// Asks systemd to restart (or power off) the machine. The request is detached: the service goes
// on until the system ends it, and a refusal (no permission, no systemd) changes nothing.
class SystemdRestart : public SystemRestart {
public:
    void restart(bool reboot, bool force) override;
    // The command line a request would run, for the record and for checks.
    static QStringList arguments(bool reboot, bool force);
};

} // namespace tavo::platform
