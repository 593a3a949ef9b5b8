#include "gui/fmRoomOrder.h"

#include "db/connection.h"
#include "gui/gridview.h"
#include "gui/loadedform.h"
#include "picks/roomorder.h"
#include "ui_fmRoomOrder.h"
#include "util/report.h"

#include <QHeaderView>

using namespace Qt::StringLiterals;

namespace tavo::gui {

fmRoomOrder &fmRoomOrder::instance()
{
    return LoadedForm<fmRoomOrder>::instance();
}

void fmRoomOrder::unload()
{
    LoadedForm<fmRoomOrder>::unload();
}

fmRoomOrder::fmRoomOrder(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::fmRoomOrder>())
{
    try {
        ui->setupUi(this);
        setWindowTitle(u"包廂點單明細"_s);
        fgCodeView = ui->fgCode;
        Label1 = ui->Label1;
        Label2 = ui->Label2;
        cmdRoomOrder = ui->cmdRoomOrder;
        fgCode = new platform::GridModel(this);
        fgCode->setColumns(picks::RoomOrderColumns::columns);
        fgCodeView->setGrid(fgCode);
        // A click anywhere in the grid, its header included, closes the view.
        fgCodeView->viewport()->installEventFilter(this);
        fgCodeView->horizontalHeader()->viewport()->installEventFilter(this);
        connect(cmdRoomOrder, &QPushButton::clicked, this, &fmRoomOrder::cmdRoomOrder_Click);
    } catch (...) {
        ShowErrMsg(tags::PickWindowLoad);
    }
}

fmRoomOrder::~fmRoomOrder() = default;

bool fmRoomOrder::ShowSelect(const QString &pvOrderPID)
{
    // Opened by the list's button, whose trap reports it.
    const ErrorScope scope(tags::ShowSelect);
    if (!picks::LoadRoomOrder(*fgCode, pvOrderPID, db::gCNT()))
        return false;
    Label2->setText(picks::roomNumber(pvOrderPID));
    fgCode->setRow(1);
    fgCodeView->setFocus();
    exec();
    return true;
}

void fmRoomOrder::cmdRoomOrder_Click()
{
    try {
        hide();
    } catch (...) {
        ShowErrMsg(tags::fmRoomOrder_cmdRoomOrder_Click);
    }
}

bool fmRoomOrder::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease
        && (watched == fgCodeView->viewport() || watched == fgCodeView->horizontalHeader()->viewport())) {
        hide();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace tavo::gui
