#pragma once
// Dates as the sites write and show them: texts "YYYY/MM/DD" (or with "-") from the database and
// the parameter table, and the display calendars of TavoC.INI, the Minguo (ROC) ones included.
#include <QDate>
#include <QString>
#include <QVariant>

namespace tavo {

// A date text: "YYYY/MM/DD" or "YYYY-MM-DD" (month and day may have one digit), optionally
// followed by a time "hh:mm" or "hh:mm:ss" (after a space or "T"). The date must exist:
// 2025/13/40 and 2025/02/29 are not dates.
bool isDateText(const QString &text);
// The date of such a text (the time is dropped); invalid when it is none.
QDate toDate(const QString &text);
// The date of a value: a QDate, a QDateTime or a date text; invalid otherwise.
QDate toDate(const QVariant &value);

// The value's date for display in `format`, by default g().gCalendar; empty when it is no date.
//   "CCMMDD" 1130501   "CC/MM/DD" 113/05/01   "YYYY/MM/DD" 2024/05/01   "YY/MM/DD" 24/05/01
// (the "/" of these four stands for g().gDateSep), "YYYY/MM" 2024/05, "YYMMDD" 240501; any other
// text is taken as a date format (yyyy yy mm dd ...).
QString DBDateDisp(const QVariant &value, const QString &format = {});

// A date in a Basic date format ("yyyy/mm/dd", "yymmdd", "dddd"...); "/" is written as "/".
QString formatBasicDate(const QDate &date, const QString &format);

} // namespace tavo
