// The window's page "廚房印表機設定": the port grid's keys and edits in setting mode, the
// watched port, the service's printer and the redirection of a printer's work.
#include "gui/fmTavoKPortSrv.h"

#include "db/dbglobals.h"
#include "gui/elamsg.h"
#include "gui/fmRoomOrder.h"
#include "gui/frmPickF2.h"
#include "gui/gridview.h"
#include "gui/messagepanel.h"
#include "kport/portgrid.h"
#include "platform/cursor.h"
#include "platform/services.h"
#include "ui_fmTavoKPortSrv.h"
#include "util/globals.h"
#include "util/grids.h"
#include "util/machine.h"
#include "util/report.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScopeGuard>

using namespace Qt::StringLiterals;

namespace tavo::gui {

namespace {

const QString kApp = u"Tavo3"_s;

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
        const kport::WriteError error = kport::setCell(*fgKPort, row, col, toggled, db::gCNT());
        if (!error.isEmpty())
            DispElaMsg(*elaMsg, error);
        return true;
    } catch (...) {
        ShowErrMsg(u"fmTavoKPortSrv_fgKPort_KeyPress"_s);
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
            error = kport::deleteRow(*fgKPort, fgKPort->Row(), db::gCNT());
        } else {
            error = kport::insertRow(*fgKPort, db::gCNT());
            if (error.isEmpty())
                ui->fgKPort->setCurrentIndex(
                    fgKPort->index(fgKPort->Row() - fgKPort->FixedRows(), fgKPort->Col()));
        }
        if (!error.isEmpty())
            DispElaMsg(*elaMsg, error);
        return true;
    } catch (...) {
        ShowErrMsg(u"fgKPort_KeyDown"_s);
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
        const kport::WriteError error = kport::setCell(*fgKPort, row, col, text, db::gCNT());
        if (!error.isEmpty()) {
            DispElaMsg(*elaMsg, error);
            return false;
        }
        return true;
    } catch (...) {
        ShowErrMsg(u"fmTavoKPortSrv_fgKPort_ValidateEdit"_s);
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
        using grids::PortGrid;
        const int row = fgKPort->Row();
        const QString port = fgKPort->TextMatrix(row, PortGrid::KPort);
        txtDefKPort->setText(port);
        if (!txtPrinter->text().isEmpty()) {
            txtPrinter->setText(fgKPort->TextMatrix(row, PortGrid::KPortName));
            txtPrinterType->setText(fgKPort->TextMatrix(row, PortGrid::KPortType));
        }
        const bool list = fgKPort->TextMatrix(row, PortGrid::PrintList).toUpper() == u"Y"_s;
        const bool item = fgKPort->TextMatrix(row, PortGrid::PrintItem).toUpper() == u"Y"_s;
        sv().settings->save(kApp, u"TavoC"_s, u"PrintList"_s, list ? u"Y"_s : u"N"_s);
        chkPrintList->setChecked(list);
        sv().settings->save(kApp, u"TavoC"_s, u"PrintItem"_s, item ? u"Y"_s : u"N"_s);
        chkPrintItem->setChecked(item);
        m_service->setPort(port);
        sv().settings->save(kApp, u"TavoC"_s, u"Printer"_s, txtPrinter->text());
        sv().settings->save(kApp, u"TavoC"_s, u"PrinterType"_s, txtPrinterType->text());
    } catch (...) {
        ShowErrMsg(u"fmTavoKPortSrv_cmdSetDef_Click"_s);
    }
}

QString fmTavoKPortSrv::pickPrinter()
{
    frmPickF2 &pick = frmPickF2::instance();
    kport::fillPrinterPick(*pick.fgCode, vsp.devices());
    if (!pick.PickList(QString(), u"印表機名稱"_s))
        return {};
    return pick.PickDscp;
}

void fmTavoKPortSrv::cmdSetKportPrinter_Click()
{
    try {
        if (txtDefKPort->text().isEmpty()) {
            DispElaMsg(*elaMsg, u"請先選擇出菜口"_s);
            return;
        }
        const QString printer = pickPrinter();
        if (printer.isEmpty())
            return;
        txtPrinter->setText(printer);
        sv().settings->save(kApp, u"TavoC"_s, u"Printer"_s, printer);
    } catch (...) {
        ShowErrMsg(u"fmTavoKPortSrv_cmdSetKportPrinter_Click"_s);
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
        const platform::BusyPointer busy;
        const int moved = kport::redirectPrinter(newPrinter, oldPrinter, db::gCNT());
        WriteLog(u"印表機替換: "_s + oldPrinter + u" -> "_s + newPrinter + u" ("_s + QString::number(moved)
            + u")"_s);
        QCoreApplication::processEvents();
        kport::LoadPortGrid(*fgKPort, db::gCNT());
        Delay(0.5);
    } catch (...) {
        ShowErrMsg(u"fmTavoKPortSrv_cmdChangePrinter_Click"_s);
    }
}

void fmTavoKPortSrv::cmdTestPrinter_Click()
{
    try {
        if (fgKPort->Row() <= 0) {
            DispElaMsg(*elaMsg, u"請先點選要測試的印表機.."_s);
            return;
        }
        // The row the operator picked is the printer to test, not the service's own printer.
        const int row = fgKPort->Row();
        const QString type = fgKPort->TextMatrix(row, grids::PortGrid::KPortType);
        const QString printer = fgKPort->TextMatrix(row, grids::PortGrid::KPortName);
        tickets::fillTestEntry(PrintBuffer);
        PrintBuffer[15] = u"廚房印表機:"_s + printer;
        if (type != u"EPSONTM"_s) {
            DispElaMsg(*elaMsg, printer + u" 不是 EPSONTM 出單機, 不印測試單"_s);
            return;
        }
        lblStatus->setText(u"啟動測試"_s);
        const auto user = qScopeGuard([this] { lblStatus->setText(g().gUserID); });
        KPWPOrderI(printer, PrintBuffer);
    } catch (...) {
        ShowErrMsg(u"fmTavoKPortSrv_cmdTestPrinter_Click"_s);
    }
}

namespace {
void saveFlag(const QString &section, const QString &key, bool checked, const QString &tag)
{
    try {
        platform::services().settings->save(kApp, section, key, checked ? u"Y"_s : u"N"_s);
    } catch (...) {
        ShowErrMsg(tag);
    }
}
} // namespace

void fmTavoKPortSrv::chkPrintList_Click()
{
    saveFlag(u"TavoC"_s, u"PrintList"_s, chkPrintList->isChecked(), u"fmTavoKPortSrv_chkPrintList_Click"_s);
}

void fmTavoKPortSrv::chkPrintItem_Click()
{
    m_service->setListing(chkPrintItem->isChecked());
    saveFlag(u"TavoC"_s, u"PrintItem"_s, chkPrintItem->isChecked(), u"fmTavoKPortSrv_chkPrintItem_Click"_s);
}

void fmTavoKPortSrv::chkKPortForm_Click()
{
    saveFlag(u"KP"_s, u"KPortForm"_s, chkKPortForm->isChecked(), u"fmTavoKPortSrv_chkKPortForm_Click"_s);
}

void fmTavoKPortSrv::cmdRoomOrder_Click()
{
    try {
        if (fg1->Rows() <= 1 || fg1->Row() < 1)
            return;
        fmRoomOrder::instance().ShowSelect(fg1->TextMatrix(fg1->Row(), grids::OrderList::OrderPID));
    } catch (...) {
        ShowErrMsg(u"fmTavoKPortSrv_cmdRoomOrder_Click"_s);
    }
}

} // namespace tavo::gui
