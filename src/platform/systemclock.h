#pragma once
#include "platform/services.h"

namespace tavo::platform {

class SystemClock : public Clock {
public:
    QDateTime now() const override;
    void sleepMs(int ms) override;
};

} // namespace tavo::platform
