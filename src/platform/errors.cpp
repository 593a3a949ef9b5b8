#include "platform/errors.h"

#include <exception>
#include <new>

namespace tavo {

TavoError::TavoError(qint64 number, QString description, bool repeated)
    : m_number(number)
    , m_description(std::move(description))
    , m_what(m_description.toUtf8())
    , m_repeated(repeated)
{
}

ErrorInfo currentError()
{
    // Rethrowing with no exception in flight would end the process; a reporter called outside a
    // catch block reports "no error" instead.
    if (!std::current_exception())
        return { 0, QString() };
    try {
        throw;
    } catch (const TavoError &e) {
        return { e.number(), e.description(), e.repeated() };
    } catch (const std::bad_alloc &) {
        return { 7, QStringLiteral("Out of memory") };
    } catch (const std::exception &e) {
        return { kGenericErrorNumber, QString::fromLocal8Bit(e.what()) };
    } catch (...) {
        return { kGenericErrorNumber, QStringLiteral("Unknown error") };
    }
}

} // namespace tavo
