#include "util/globals.h"

namespace tavo {

Globals &g()
{
    static Globals instance;
    return instance;
}

void resetGlobals()
{
    g() = Globals {};
}

} // namespace tavo
