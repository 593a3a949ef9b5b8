#pragma once
// Errors travel as exceptions and are handed to one reporter at a trap:
//     try { ... } catch (...) { ShowErrMsg(tags::Form_Load); }
// The reporters read the exception being handled, as the error number and description.
//
// The traps stand where work starts (the operator's action, a timer's tick, a print step, the
// display's request) and where a failure must not stop the caller (a loop that goes on with the
// next printer, a "false" the caller acts on). A procedure between them names itself with an
// ErrorScope instead of a trap of its own: the log still says which procedure failed.
#include "platform/logtags.h"

#include <QString>
#include <exception>

namespace tavo {

class TavoError : public std::exception {
public:
    TavoError(qint64 number, QString description, bool repeated = false);
    qint64 number() const { return m_number; }
    const QString &description() const { return m_description; }
    bool repeated() const { return m_repeated; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    qint64 m_number;
    QString m_description;
    QByteArray m_what;
    bool m_repeated;
};

struct ErrorInfo {
    qint64 number = 0;
    QString description;
    // The same failure as one already reported and not yet over (a database still away): the
    // reporters stay silent, so an unattended service does not log or show it every cycle.
    bool repeated = false;
};

// The error being handled. Unknown exceptions give a generic number; outside a catch block the
// number is 0 and the description empty.
ErrorInfo currentError();

// Marks a procedure without a trap of its own:
//     void InitForm() { const ErrorScope scope(tags::InitForm); ... }
// An error leaving it names it as the failing procedure, unless a procedure further in already
// did; the reporter at the trap writes that name in place of its own (takeFailingProcedure).
class ErrorScope {
public:
    explicit ErrorScope(LogTag tag) noexcept;
    ~ErrorScope();
    ErrorScope(const ErrorScope &) = delete;
    ErrorScope &operator=(const ErrorScope &) = delete;

private:
    LogTag m_tag;
    int m_uncaught;
};

// The tag a trap reports under: the innermost procedure the error being handled left, or `own`
// when it left none. Taken once: the next error starts from nothing.
QString takeFailingProcedure(const QString &own);

// Generic failure number (E_FAIL), for errors that carry no number of their own.
inline constexpr qint64 kGenericErrorNumber = -2147467259;

} // namespace tavo
