#include "gui/frmFgDate.h"

#include "gui/gridview.h"
#include "gui/loadedform.h"
#include "platform/services.h"
#include "ui_frmFgDate.h"
#include "util/report.h"

#include <QHeaderView>
#include <QKeyEvent>

using namespace Qt::StringLiterals;

namespace tavo::gui {

frmFgDate &frmFgDate::instance()
{
    return LoadedForm<frmFgDate>::instance();
}

void frmFgDate::unload()
{
    LoadedForm<frmFgDate>::unload();
}

frmFgDate::frmFgDate(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::frmFgDate>())
{
    ui->setupUi(this);
    fgCalView = ui->fgCal;
    Label1 = ui->Label1;
    lblDate = ui->lblDate;
    imgPrev = ui->imgPrev;
    imgNext = ui->imgNext;
    cmdExit = ui->cmdExit;
    fgCal = new platform::GridModel(this);
    fgCalView->setGrid(fgCal);
    fgCalView->setSelectionBehavior(QAbstractItemView::SelectItems);
    fgCalView->setSelectionMode(QAbstractItemView::SingleSelection);
    fgCalView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fgCalView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    fgCalView->horizontalHeader()->setSectionsClickable(false);
    fgCalView->installEventFilter(this);
    connect(fgCalView, &QAbstractItemView::clicked, this,
        [this](const QModelIndex &index) { fgCal_Click(index.row() + fgCal->FixedRows(), index.column()); });
    connect(imgPrev, &QToolButton::clicked, this, &frmFgDate::imgPrev_Click);
    connect(imgNext, &QToolButton::clicked, this, &frmFgDate::imgNext_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmFgDate::cmdExit_Click);
    DoCalendar(platform::services().clock->now().date());
}

frmFgDate::~frmFgDate() = default;

bool frmFgDate::PickDate()
{
    // Asked by the date box's double click, whose trap reports it and keeps the date.
    const ErrorScope scope(tags::frmFgDate_PickDate);
    m_tag.clear();
    fgCalView->setFocus();
    exec();
    if (m_tag.isEmpty())
        return false;
    DATEPICKED = QDate::fromString(m_tag, u"yyyy/MM/dd"_s);
    return DATEPICKED.isValid();
}

void frmFgDate::DoCalendar(const QDate &day)
{
    try {
        m_month = picks::DoCalendar(*fgCal, day);
        lblDate->setText(m_month.date);
        Label1->setText(m_month.heading);
        // The day alone is highlighted, not its week.
        fgCalView->selectionModel()->setCurrentIndex(
            fgCal->index(m_month.dayRow - fgCal->FixedRows(), m_month.dayCol),
            QItemSelectionModel::ClearAndSelect);
        fitCells();
    } catch (...) {
        ShowErrMsg(tags::DoCalendar);
    }
}

void frmFgDate::fitCells()
{
    // The viewport is the grid's height without its header row.
    const int rowHeight = std::max(1, fgCalView->viewport()->height() / m_month.divisor);
    for (int r = 0; r < fgCal->Rows() - fgCal->FixedRows(); ++r)
        fgCalView->setRowHeight(r, rowHeight);
    const int colWidth = std::max(1, fgCalView->viewport()->width() / 7);
    for (int c = 0; c < fgCal->Cols(); ++c)
        fgCalView->setColumnWidth(c, colWidth);
}

void frmFgDate::step(int months, const QString &tag)
{
    try {
        const QDate next = picks::stepMonth(lblDate->text(), months);
        if (next.isValid())
            DoCalendar(next);
    } catch (...) {
        ShowErrMsg(tag);
    }
}

void frmFgDate::imgPrev_Click()
{
    step(-1, tags::imgPrev_Click);
}

void frmFgDate::imgNext_Click()
{
    step(1, tags::imgNext_Click);
}

void frmFgDate::fgCal_Click(int row, int col)
{
    try {
        const QString day = picks::pickedDay(*fgCal, row, col);
        if (day.isEmpty())
            return;
        lblDate->setText(day);
        m_tag = day;
        hide();
    } catch (...) {
        ShowErrMsg(tags::fgCal_Click);
    }
}

void frmFgDate::cmdExit_Click()
{
    hide();
}

bool frmFgDate::eventFilter(QObject *watched, QEvent *event)
{
    // The keyboard picks as the mouse does: Enter or Space on a day.
    if (watched == fgCalView && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            fgCal_Click(fgCal->Row(), fgCal->Col());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmFgDate::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    fitCells();
}

void frmFgDate::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    fitCells();
}

} // namespace tavo::gui
