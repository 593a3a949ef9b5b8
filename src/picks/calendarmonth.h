#pragma once
// The month grid of the calendar dialog: a header row of weekdays from Sunday, then up to six
// week rows holding the day numbers. The grid's tag holds the month shown, "YYYY/MM".
#include <QDate>
#include <QString>

namespace tavo::platform {
class GridModel;
}

namespace tavo::picks {

// What drawing one month leaves beside the grid.
struct CalendarMonth {
    QString heading; // "2024年 3月"
    QString date; // the calendar's current date, "YYYY/MM/DD"
    int weekRows = 0; // week rows holding days: 4, 5 or 6
    int divisor = 5; // the row height is the free height divided by this: 6 when the sixth row is used
    int dayRow = 1, dayCol = 0; // the cell of the current date
};

// Draws the month of `day` into `fgCal` (header and six week rows, seven columns) and puts the
// cursor on `day`.
CalendarMonth DoCalendar(platform::GridModel &fgCal, const QDate &day);

// The date `months` calendar months from the "YYYY/MM/DD" text `date`; a day the target month
// lacks becomes its last day. Invalid when `date` is not a date.
QDate stepMonth(const QString &date, int months);

// The date a click on a cell picks: the grid's month and the cell's day, "YYYY/MM/DD"; empty for
// the header row, an empty cell or a cell outside the grid.
QString pickedDay(const platform::GridModel &fgCal, int row, int col);

} // namespace tavo::picks
