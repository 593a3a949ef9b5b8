#pragma once
// The service window: the program's only main window, a view of the kitchen service. It shows
// the service's grids, passes the operator's clicks and keys on to it, and shows what it reports
// (the clock of the last tick, the business date, the message panel). The service's life (its
// timers and cycle, the watched port, saving and ending) is in core::KitchenService.
#include "core/kitchenservice.h"
#include "platform/gridmodel.h"

#include <QDate>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QSessionManager;

namespace Ui {
class fmTavoKPortSrv;
}
namespace tavo::gui {

class MessagePanel;

class fmTavoKPortSrv : public QWidget {
    Q_OBJECT
public:
    // Runs Form_Load on a service of its own over `site`: the window is ready, with the
    // automatic start armed. Without a site, the program's own (core::programSite()).
    explicit fmTavoKPortSrv(const Site &site, QWidget *parent = nullptr);
    explicit fmTavoKPortSrv(QWidget *parent = nullptr);
    ~fmTavoKPortSrv() override;

    // ---- Controls, by their names on the form.
    QLabel *lblHead(int index) const;
    QLabel *lblStatus = nullptr;
    QLabel *lblMode = nullptr;
    MessagePanel *elaMsg = nullptr;
    QTabWidget *tabPage = nullptr;
    QPushButton *cmdStart = nullptr, *cmdStop = nullptr, *cmdSET = nullptr, *cmdExit = nullptr;
    QPushButton *cmdPrintRow = nullptr, *cmdPrintTest = nullptr, *cmdTestPrinter = nullptr;
    QPushButton *cmdSetDef = nullptr, *cmdSetKportPrinter = nullptr, *cmdChangePrinter = nullptr;
    QPushButton *cmdRoomOrder = nullptr, *cmdPrintShiftItemSum = nullptr, *cmdPrintShiftRptB = nullptr;
    QPushButton *cmdPrintShiftSpeed = nullptr;
    QLineEdit *txtOpDate = nullptr, *txtShutTime = nullptr, *txtDefKPort = nullptr;
    QLineEdit *txtPrinter = nullptr, *txtPrinterType = nullptr, *txtTavo3MDB = nullptr;
    QCheckBox *chkPrintItem = nullptr, *chkPrintList = nullptr, *chkKPortForm = nullptr;
    // The service's grids. The form's grid controls of the same names are views on them.
    platform::GridModel *fgKPort = nullptr, *fg1 = nullptr, *fg2 = nullptr, *fgLog = nullptr,
                        *fgPrinterList = nullptr;
    // ---- Window-level values.
    tickets::OrderBuffer PrintBuffer; // the single-order print buffer of the test tickets
    QString PrintRowMsg; // the outcome of the last reprint, as the activity grid got it

    core::KitchenService &service() { return *m_service; }
    // The date picker of the business-date box: the calendar dialog.
    std::function<bool(QDate &picked)> PickDate;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();
    void InitForm();
    void cmdStart_Click();
    void cmdStop_Click();
    void cmdSET_Click();
    void cmdExit_Click();
    // Key preview: true when the key was the window's own (Ctrl+End ends the program).
    bool Form_KeyDown(int keyCode, Qt::KeyboardModifiers shift);
    // The window is being closed (title bar, window manager): ask as the exit button does.
    void Form_QueryUnload(bool &cancel);
    void tabPage_Switch(int oldTab, int newTab);
    void txtShutTime_GotFocus();
    bool txtShutTime_KeyDown(int keyCode); // true: the key moved the focus
    bool txtShutTime_KeyPress(int keyCode); // true: the key produces no character
    void txtShutTime_Validate();
    void txtOpDate_DblClick();
    void elaMsg_Click();
    // The service's reports, shown.
    void showMessage(const QString &text, int beeps);
    void showTick(const QDateTime &now);
    void showRunning(bool running);
    void showConfig();
    void tickEnded();

    // The port grid in setting mode. KeyPress: true when the key was swallowed (Space toggling
    // a type or flag). KeyDown: true when the key was the grid's own (Enter, Ctrl+Delete,
    // Ctrl+Insert). BeforeEdit and ValidateEdit: false refuses the edit.
    bool fgKPort_KeyPress(int keyAscii);
    bool fgKPort_KeyDown(int keyCode, Qt::KeyboardModifiers shift);
    bool fgKPort_BeforeEdit(int row, int col);
    bool fgKPort_ValidateEdit(int row, int col, const QString &text);
    void fgKPort_AfterEdit(int row, int col);
    // Printer assignment and redirection.
    void cmdSetDef_Click();
    void cmdSetKportPrinter_Click();
    void cmdChangePrinter_Click();
    void cmdTestPrinter_Click();
    void chkPrintList_Click();
    void chkPrintItem_Click();
    void chkKPortForm_Click();
    void cmdRoomOrder_Click();
    // Printing: reprint of the selected rows, test of all printers, one test ticket.
    void cmdPrintRow_Click();
    void cmdPrintTest_Click();
    // The shift item-summary reports of the kitchen and of the bar, and the service times of the
    // watched port, each in its own preview.
    void cmdPrintShiftItemSum_Click();
    void cmdPrintShiftRptB_Click();
    void cmdPrintShiftSpeed_Click();
    void showShiftReport(core::KitchenService::ShiftReport report);

    void commitData(QSessionManager &manager);
    void connectHandlers();
    void connectPortHandlers();
    // Fills the pick list with the installed printers and shows it; the printer picked, or empty.
    QString pickPrinter();

    std::unique_ptr<core::KitchenService> m_service;
    std::unique_ptr<Ui::fmTavoKPortSrv> ui;
    int m_currentTab = 1;
    bool m_closeHeld = false; // a close asked for during a tick, answered when it ends
};

} // namespace tavo::gui
