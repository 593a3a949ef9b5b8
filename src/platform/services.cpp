#include "platform/services.h"

namespace tavo::platform {

Services &services()
{
    static Services instance;
    return instance;
}

} // namespace tavo::platform
