#pragma once
// The calendar: a month grid from which the operator picks a day. One instance for the program's
// life; closing only hides it, and it shows the month it showed last.
#include "gui/loadedform.h"
#include "picks/calendarmonth.h"
#include "platform/gridmodel.h"

#include <QDate>
#include <QDialog>
#include <QString>

#include <memory>

class QLabel;
class QPushButton;
class QToolButton;

namespace Ui {
class frmFgDate;
}
namespace tavo::gui {

class GridView;

class frmFgDate : public QDialog {
    Q_OBJECT
public:
    static frmFgDate &instance();
    static void unload();
    ~frmFgDate() override;

    platform::GridModel *fgCal = nullptr;
    GridView *fgCalView = nullptr;
    QLabel *Label1 = nullptr, *lblDate = nullptr;
    QToolButton *imgPrev = nullptr, *imgNext = nullptr;
    QPushButton *cmdExit = nullptr;
    // The date picked last; unchanged when a showing ends without a pick.
    QDate DATEPICKED;

    // Shows the calendar modally; true when a day was picked (then DATEPICKED holds it).
    bool PickDate();
    // Draws the month of `day` with `day` as the current date.
    void DoCalendar(const QDate &day);
    // The divisor of the week rows' height for the month shown: 6 when it uses the sixth row.
    int rowDivisor() const { return m_month.divisor; }

    void imgPrev_Click();
    void imgNext_Click();
    void fgCal_Click(int row, int col);
    void cmdExit_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    friend class LoadedForm<frmFgDate>;
    explicit frmFgDate(QWidget *parent = nullptr);
    void step(int months, const QString &tag);
    void fitCells();

    std::unique_ptr<Ui::frmFgDate> ui;
    picks::CalendarMonth m_month;
    QString m_tag; // the picked date between the click and the end of PickDate
};

} // namespace tavo::gui
