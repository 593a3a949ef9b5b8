#pragma once
// Errors travel as exceptions and are handed to one reporter at the trap of each procedure:
//     try { ... } catch (...) { ShowErrMsg(u"InitForm"_s); }
// The reporters read the exception being handled, as the error number and description.
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

// Generic failure number (E_FAIL), for errors that carry no number of their own.
inline constexpr qint64 kGenericErrorNumber = -2147467259;

} // namespace tavo
