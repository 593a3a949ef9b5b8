// The window's page "廚房印表機設定": the port grid's keys and edits in setting mode, the
// watched port, the service's printer and the redirection of a printer's work.
#include "gui/fmTavoKPortSrv.h"

#include "gui/elamsg.h"
#include "gui/fmRoomOrder.h"
#include "gui/frmPickF2.h"
#include "gui/gridview.h"
#include "gui/messagepanel.h"
#include "kport/portgrid.h"
#include "platform/services.h"
#include "ui_fmTavoKPortSrv.h"
#include "util/globals.h"
#include "util/grids.h"
#include "util/report.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>

using namespace Qt::StringLiterals;

namespace tavo::gui {

namespace {

platform::Services &sv()
{
    return platform::services();
}

} // namespace

// ---- The port grid

void fmTavoKPortSrv::connectPortHandlers()
{
    fgKPort->beforeEdit = [this](int row, int col) { return fgKPort_BeforeEdit(row, col); };
    fgKPort->validateEdit
        = [this](int row, int col, const QString &text) { return fgKPort_ValidateEdit(row, col, text); };
    connect(fgKPort, &platform::GridModel::afterEdit, this, &fmTavoKPortSrv::fgKPort_AfterEdit);
    connect(cmdSetDef, &QPushButton::clicked, this, &fmTavoKPortSrv::cmdSetDef_Click);
    connect(cmdSetKportPrinter, &QPushButton::clicked, this, &fmTavoKPortSrv::cmdSetKportPrinter_Click);
    connect(cmdChangePrinter, &QPushButton::clicked, this, &fmTavoKPortSrv::cmdChangePrinter_Click);
    connect(cmdTestPrinter, &QPushButton::clicked, this, &fmTavoKPortSrv::cmdTestPrinter_Click);
    connect(cmdRoomOrder, &QPushButton::clicked, this, &fmTavoKPortSrv::cmdRoomOrder_Click);
    // A box changed by code saves as a click does.
    connect(chkPrintList, &QCheckBox::toggled, this, &fmTavoKPortSrv::chkPrintList_Click);
    connect(chkPrintItem, &QCheckBox::toggled, this, &fmTavoKPortSrv::chkPrintItem_Click);
    connect(chkKPortForm, &QCheckBox::toggled, this, &fmTavoKPortSrv::chkKPortForm_Click);
}

bool fmTavoKPortSrv::fgKPort_KeyPress(int keyAscii)
{
    try {
        if (keyAscii != Qt::Key_Space)
            return false;
        // In view mode the grid takes nothing, Space included.
        if (!m_service->settingMode())
            return true;
        const int row = fgKPort->Row(), col = fgKPort->Col();
        QString toggled;
        if (row < 1 || !kport::toggledCell(col, fgKPort->TextMatrix(row, col), toggled))
            return false;
        const kport::WriteError error = m_service->setPortCell(row, col, toggled);
        if (!error.isEmpty())
            DispElaMsg(*elaMsg, error);
        return true;
    } catch (...) {
        ShowErrMsg(tags::fmTavoKPortSrv_fgKPort_KeyPress);
    }
    return true;
}

bool fmTavoKPortSrv::fgKPort_KeyDown(int keyCode, Qt::KeyboardModifiers shift)
{
    try {
        if (keyCode == Qt::Key_Return || keyCode == Qt::Key_Enter) {
            // Enter moves on as Tab does, in both modes: row by row, cell by cell.
            int row = fgKPort->Row(), col = fgKPort->Col() + 1;
            if (col >= fgKPort->Cols()) {
                col = 0;
                ++row;
            }
            if (row >= 1 && row < fgKPort->Rows()) {
                fgKPort->setRow(row);
                fgKPort->setCol(col);
                ui->fgKPort->setCurrentIndex(fgKPort->index(row - fgKPort->FixedRows(), col));
            }
            return true;
        }
        const bool ctrl = shift & Qt::ControlModifier;
        if (!ctrl || (keyCode != Qt::Key_Delete && keyCode != Qt::Key_Insert))
            return false;
        if (!m_service->settingMode())
            return true;
        kport::WriteError error;
        if (keyCode == Qt::Key_Delete) {
            if (fgKPort->Row() < 1)
                return true;
            if (sv().prompter->ask(
                    appTitle(), u"確定要刪除?"_s, platform::BoxIcon::Question, platform::BoxButtons::YesNo)
                != platform::BoxAnswer::Yes)
                return true;
            error = m_service->deletePort(fgKPort->Row());
        } else {
            error = m_service->insertPort();
            if (error.isEmpty())
                ui->fgKPort->setCurrentIndex(
                    fgKPort->index(fgKPort->Row() - fgKPort->FixedRows(), fgKPort->Col()));
        }
        if (!error.isEmpty())
            DispElaMsg(*elaMsg, error);
        return true;
    } catch (...) {
        ShowErrMsg(tags::fgKPort_KeyDown);
    }
    return true;
}

bool fmTavoKPortSrv::fgKPort_BeforeEdit(int, int col)
{
    if (kport::isEditableColumn(col))
        return true;
    elaMsg->setCaption(u"本欄位不能修改"_s);
    return false;
}

bool fmTavoKPortSrv::fgKPort_ValidateEdit(int row, int col, const QString &text)
{
    try {
        const QString refused = kport::refusal(col, text);
        if (!refused.isEmpty()) {
            elaMsg->setCaption(refused);
            return false;
        }
        // The record first: a cell the table did not take keeps its old text.
        const kport::WriteError error = m_service->setPortCell(row, col, text);
        if (!error.isEmpty()) {
            DispElaMsg(*elaMsg, error);
            return false;
        }
        return true;
    } catch (...) {
        ShowErrMsg(tags::fmTavoKPortSrv_fgKPort_ValidateEdit);
    }
    return false;
}

void fmTavoKPortSrv::fgKPort_AfterEdit(int, int)
{
    elaMsg->setCaption({});
}

// ---- Printer assignment and redirection

void fmTavoKPortSrv::cmdSetDef_Click()
{
    try {
        if (fgKPort->Rows() <= 1 || fgKPort->Row() < 1)
            return;
        m_service->watchPortOfRow(fgKPort->Row());
    } catch (...) {
        ShowErrMsg(tags::fmTavoKPortSrv_cmdSetDef_Click);
    }
}

QString fmTavoKPortSrv::pickPrinter()
{
    frmPickF2 &pick = frmPickF2::instance();
    kport::fillPrinterPick(*pick.fgCode, m_service->surface().devices());
    if (!pick.PickList(QString(), u"印表機名稱"_s))
        return {};
    return pick.PickDscp;
}

void fmTavoKPortSrv::cmdSetKportPrinter_Click()
{
    try {
        if (m_service->port().isEmpty()) {
            DispElaMsg(*elaMsg, u"請先選擇出菜口"_s);
            return;
        }
        const QString printer = pickPrinter();
        if (printer.isEmpty())
            return;
        m_service->config().setPrinter(printer);
    } catch (...) {
        ShowErrMsg(tags::fmTavoKPortSrv_cmdSetKportPrinter_Click);
    }
}

void fmTavoKPortSrv::cmdChangePrinter_Click()
{
    try {
        if (fgKPort->Row() < 1 || fgKPort->Rows() < 2) {
            DispElaMsg(*elaMsg, u"請先選擇有問題的印表機"_s);
            return;
        }
        const QString oldPrinter = fgKPort->TextMatrix(fgKPort->Row(), grids::PortGrid::KPortName);
        const QString newPrinter = pickPrinter();
        if (newPrinter.isEmpty())
            return;
        if (sv().prompter->ask(appTitle(),
                u"要將所有送到"_s + oldPrinter + u"印表機的工作"_s + u"改送到"_s + newPrinter
                    + u"去印, 確定嗎?"_s,
                platform::BoxIcon::Question, platform::BoxButtons::YesNo)
            != platform::BoxAnswer::Yes)
            return;
        // The box is gone from the screen before the database work starts.
        QCoreApplication::processEvents();
        m_service->redirectPrinter(oldPrinter, newPrinter);
    } catch (...) {
        ShowErrMsg(tags::fmTavoKPortSrv_cmdChangePrinter_Click);
    }
}

void fmTavoKPortSrv::cmdTestPrinter_Click()
{
    try {
        if (fgKPort->Row() <= 0) {
            DispElaMsg(*elaMsg, u"請先點選要測試的印表機.."_s);
            return;
        }
        bool started = false;
        const auto user = qScopeGuard([this, &started] {
            if (started)
                lblStatus->setText(g().gUserID);
        });
        const QString refusal = m_service->printTestTicket(fgKPort->Row(), PrintBuffer, [this, &started] {
            lblStatus->setText(u"啟動測試"_s);
            started = true;
        });
        if (!refusal.isEmpty())
            DispElaMsg(*elaMsg, refusal);
    } catch (...) {
        ShowErrMsg(tags::fmTavoKPortSrv_cmdTestPrinter_Click);
    }
}

void fmTavoKPortSrv::chkPrintList_Click()
{
    try {
        m_service->config().setPrintList(chkPrintList->isChecked());
    } catch (...) {
        ShowErrMsg(tags::fmTavoKPortSrv_chkPrintList_Click);
    }
}

void fmTavoKPortSrv::chkPrintItem_Click()
{
    try {
        m_service->setListing(chkPrintItem->isChecked());
        m_service->config().setPrintItem(chkPrintItem->isChecked());
    } catch (...) {
        ShowErrMsg(tags::fmTavoKPortSrv_chkPrintItem_Click);
    }
}

void fmTavoKPortSrv::chkKPortForm_Click()
{
    try {
        m_service->config().setOrderForm(chkKPortForm->isChecked());
    } catch (...) {
        ShowErrMsg(tags::fmTavoKPortSrv_chkKPortForm_Click);
    }
}

void fmTavoKPortSrv::cmdRoomOrder_Click()
{
    try {
        if (fg1->Rows() <= 1 || fg1->Row() < 1)
            return;
        fmRoomOrder::instance().ShowSelect(fg1->TextMatrix(fg1->Row(), grids::OrderList::OrderPID));
    } catch (...) {
        ShowErrMsg(tags::fmTavoKPortSrv_cmdRoomOrder_Click);
    }
}

} // namespace tavo::gui
