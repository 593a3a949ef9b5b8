#include "gui/frmPickF2.h"

#include "gui/gridview.h"
#include "gui/input.h"
#include "gui/loadedform.h"
#include "ui_frmPickF2.h"
#include "util/report.h"

#include <QHeaderView>
#include <QKeyEvent>

using namespace Qt::StringLiterals;

namespace tavo::gui {

frmPickF2 &frmPickF2::instance()
{
    return LoadedForm<frmPickF2>::instance();
}

void frmPickF2::unload()
{
    LoadedForm<frmPickF2>::unload();
}

frmPickF2::frmPickF2(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::frmPickF2>())
{
    try {
        ui->setupUi(this);
        setWindowTitle(u"代碼輸入輔助視窗"_s);
        fgCodeView = ui->fgCode;
        cmdCancel = ui->cmdCancel;
        fgCode = new platform::GridModel(this);
        fgCode->setFormatString(u"|"_s);
        fgCode->setCols(2);
        fgCodeView->setGrid(fgCode);
        fgCodeView->setSelectionMode(QAbstractItemView::SingleSelection);
        // The header only names the columns: a click there picks nothing and selects nothing.
        fgCodeView->horizontalHeader()->setSectionsClickable(false);
        fgCodeView->horizontalHeader()->setStretchLastSection(true);
        fgCodeView->installEventFilter(this);
        connect(fgCodeView, &QAbstractItemView::clicked, this, [this] { fgCode_Click(); });
        connect(cmdCancel, &QPushButton::clicked, this, &frmPickF2::cmdCancel_Click);
    } catch (...) {
        ShowErrMsg(tags::PickWindowLoad);
    }
}

frmPickF2::~frmPickF2() = default;

bool frmPickF2::PickList(const QString &pvColHead1, const QString &pvColHead2)
{
    // Asked by the printer buttons, whose traps report it and pick nothing.
    const ErrorScope scope(tags::frmPickF2_PickList);
    PickCode.clear();
    PickDscp.clear();
    FormToCorner(this);
    m_cancelled = true;
    fgCode->AutoSize(0, 1);
    fgCode->setTextMatrix(0, 0, pvColHead1);
    fgCode->setTextMatrix(0, 1, pvColHead2);
    if (fgCode->Rows() > 1 && fgCode->Row() < 1)
        fgCode->setRow(1);
    fgCodeView->setFocus();
    exec();
    if (m_cancelled)
        return false;
    PickCode = fgCode->TextMatrix(fgCode->Row(), 0);
    PickDscp = fgCode->TextMatrix(fgCode->Row(), 1);
    return true;
}

void frmPickF2::pick()
{
    m_cancelled = false;
    hide();
}

void frmPickF2::fgCode_Click()
{
    try {
        if (fgCode->Row() >= 1)
            pick();
    } catch (...) {
        ShowErrMsg(tags::fgCode_Click);
    }
}

bool frmPickF2::fgCode_KeyDown(int keyCode)
{
    try {
        if (keyCode != Qt::Key_Return && keyCode != Qt::Key_Enter && keyCode != Qt::Key_Space)
            return false;
        if (fgCode->Row() >= 1)
            pick();
        return true;
    } catch (...) {
        ShowErrMsg(tags::fgCode_KeyDown);
    }
    return true;
}

void frmPickF2::cmdCancel_Click()
{
    hide();
}

bool frmPickF2::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == fgCodeView && event->type() == QEvent::KeyPress
        && fgCode_KeyDown(static_cast<QKeyEvent *>(event)->key()))
        return true;
    return QDialog::eventFilter(watched, event);
}

} // namespace tavo::gui
