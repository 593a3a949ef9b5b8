#pragma once
// The trap of procedures that go on past a failed step, as printing does: half a ticket in the
// kitchen is worth more than a ticket lost to one bad value.
#include "util/report.h"

#include <QString>
#include <utility>

namespace tavo::tickets {

// Runs `run`; an error is written to the error log under `tag` and goes no further. True when
// the step ran to its end.
template <class F> bool step(const QString &tag, F &&run)
{
    try {
        std::forward<F>(run)();
        return true;
    } catch (...) {
        WriteErrLog(tag);
        return false;
    }
}

} // namespace tavo::tickets
