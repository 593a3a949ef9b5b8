// The connection-string parser and the translation to a Qt SQL driver: any text from TavoC.INI
// either translates or is refused with DbError; nothing else may happen, and the masked form
// never shows a password that the parsed string holds.
#include "db/connectionstring.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    using namespace tavo::db;
    try {
        const ConnectionString cs = ConnectionString::parse(text);
        const QString password = cs.value(QStringList { u"Password"_s, u"PWD"_s });
        // Only a password that appears once can be told apart from another value that equals it.
        if (password.size() >= 4 && text.count(password) == 1 && maskPassword(text).contains(password))
            std::abort();
    } catch (const DbError &) {
    }
    try {
        translateConnectionString(text, 10, u"/nonexistent"_s,
            { u"PostgreSQL Unicode"_s, u"FreeTDS"_s, u"MDBTools"_s, u"SQLite3"_s });
    } catch (const DbError &) {
    }
    return 0;
}
