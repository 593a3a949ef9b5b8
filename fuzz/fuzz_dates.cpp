// Dates as the POS and the operator write them: any text either reads as a valid date or as
// none, and the display of any date in any calendar format never crashes.
#include "util/dates.h"

#include <QDate>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QDate date = tavo::toDate(text);
    if (!date.isNull() && !date.isValid())
        std::abort();
    // The same text as a display format, for a fixed date and for the one read.
    tavo::DBDateDisp(QDate(2024, 2, 29), text);
    if (date.isValid())
        tavo::DBDateDisp(date);
    tavo::isDateText(text);
    return 0;
}
