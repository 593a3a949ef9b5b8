#include "platform/errors.h"

#include <exception>
#include <new>
#include <optional>
#include <utility>

namespace tavo {

namespace {

// The failing procedure of the error on its way to a trap, per thread: each thread's errors
// reach that thread's traps.
thread_local std::optional<LogTag> t_failing;

// True on the ordinary path: no error on its way out and none being handled. A name still
// noted here belongs to an error some trap already dealt with (one that went on without
// reporting), and must not be pinned on the next one.
bool ordinaryFlow()
{
    return std::uncaught_exceptions() == 0 && !std::current_exception();
}

} // namespace

ErrorScope::ErrorScope(LogTag tag) noexcept
    : m_tag(tag)
    , m_uncaught(std::uncaught_exceptions())
{
    if (ordinaryFlow())
        t_failing.reset();
}

ErrorScope::~ErrorScope()
{
    if (std::uncaught_exceptions() > m_uncaught) {
        if (!t_failing)
            t_failing = m_tag;
    } else if (ordinaryFlow()) {
        t_failing.reset();
    }
}

QString takeFailingProcedure(const QString &own)
{
    const std::optional<LogTag> failing = std::exchange(t_failing, std::nullopt);
    return failing ? QString(*failing) : own;
}

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
