// The INI reader on arbitrary bytes: any file a site may hold, Big5 or not, with any section and
// key names, must give a value of at most 127 bytes and never crash.
#include "platform/codepage.h"
#include "platform/ini.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const auto &[section, key] : { std::pair { u"PARAM"_s, u"GCNT"_s }, { u"PARAM"_s, u"CustName"_s },
             { u"參數"_s, u"名稱"_s }, { QString(), QString() } }) {
        const QString value = tavo::platform::iniValue(content, section, key);
        if (tavo::platform::toAnsi(value).size() > 127)
            std::abort();
    }
    return 0;
}
