#include "picks/calendarmonth.h"

#include "platform/gridmodel.h"

using namespace Qt::StringLiterals;

namespace tavo::picks {

namespace {
constexpr int kWeekRows = 6;
constexpr int kDays = 7;
} // namespace

CalendarMonth DoCalendar(platform::GridModel &fgCal, const QDate &day)
{
    CalendarMonth month;
    month.date = day.toString(u"yyyy/MM/dd"_s);
    const QDate first(day.year(), day.month(), 1);
    const int days = int(first.daysTo(first.addMonths(1)));
    const int firstCol = first.dayOfWeek() % 7; // Qt counts Monday 1 .. Sunday 7

    fgCal.setRedraw(false);
    fgCal.setRows(1);
    fgCal.setFormatString(u"^週日|^週一|^週二|^週三|^週四|^週五|^週六"_s);
    fgCal.setRows(1 + kWeekRows);
    fgCal.setTag(day.toString(u"yyyy/MM"_s));
    int row = 1, col = firstCol - 1;
    for (int d = 1; d <= days; ++d) {
        if (++col >= kDays) {
            col = 0;
            ++row;
        }
        fgCal.setTextMatrix(row, col, QString::number(d));
        if (d == day.day()) {
            month.dayRow = row;
            month.dayCol = col;
        }
    }
    fgCal.setRedraw(true);
    month.weekRows = row;
    month.divisor = row >= kWeekRows ? 6 : 5;
    month.heading = QString::number(day.year()) + u"年 "_s + QString::number(day.month()) + u"月"_s;
    fgCal.setRow(month.dayRow);
    fgCal.setCol(month.dayCol);
    return month;
}

QDate stepMonth(const QString &date, int months)
{
    // QDate clamps the day to the target month's last day: Jan 31 + 1 month is Feb 28 or 29.
    return QDate::fromString(date, u"yyyy/MM/dd"_s).addMonths(months);
}

QString pickedDay(const platform::GridModel &fgCal, int row, int col)
{
    if (row < 1 || row >= fgCal.Rows() || col < 0 || col >= fgCal.Cols())
        return {};
    const int day = fgCal.TextMatrix(row, col).toInt();
    if (day < 1)
        return {};
    return fgCal.Tag() + u'/' + u"%1"_s.arg(day, 2, 10, QChar(u'0'));
}

} // namespace tavo::picks
