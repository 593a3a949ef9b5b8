#pragma once
// The service window: the program's only main window and the owner of its lifecycle. It starts
// the service by itself 30 seconds after opening, scans the watched kitchen port on a one-second
// cycle while the service runs, restarts the machine at the configured time of day, and ends the
// program after a confirmation, saving its order and activity grids in the LOG folder.
//
// Handlers carry the names the operators' documentation uses and are public, so that each
// behaviour can be driven directly (the timers' logic reads the time from the clock seam).
#include "core/windowtimer.h"
#include "platform/gridmodel.h"
#include "platform/printsurface.h"
#include "tickets/testticket.h"

#include <QDate>
#include <QSet>
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
namespace tavo::kds {
class KitchenDisplay;
}
namespace tavo::gui {

class MessagePanel;

class fmTavoKPortSrv : public QWidget {
    Q_OBJECT
public:
    // Runs Form_Load: the window is ready, with the automatic start armed.
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
    QLineEdit *txtOpDate = nullptr, *txtShutTime = nullptr, *txtDefKPort = nullptr;
    QLineEdit *txtPrinter = nullptr, *txtPrinterType = nullptr, *txtTavo3MDB = nullptr;
    QCheckBox *chkPrintItem = nullptr, *chkPrintList = nullptr, *chkKPortForm = nullptr;
    // The grids' state. The form's grid controls of the same names are views on them.
    platform::GridModel *fgKPort = nullptr, *fg1 = nullptr, *fg2 = nullptr, *fgLog = nullptr,
                        *fgPrinterList = nullptr;
    core::WindowTimer Timer1;
    core::WindowTimer TimerStart;
    // The window's own print surface: test tickets are drawn on it.
    platform::PrintSurface vsp;

    // ---- Window-level values.
    double KPCycleTime = 4; // seconds between scans, 1..5
    int CycleCount = 0; // ticks since the last scan
    QString DefKPort; // the watched port last applied
    tickets::OrderBuffer PrintBuffer; // the single-order print buffer of the test tickets
    QString PrintRowMsg; // the outcome of the last reprint, as the activity grid got it

    // ---- Lifecycle and handlers.
    void Form_Load();
    void InitForm();
    void TimerStart_Timer();
    void cmdStart_Click();
    void Timer1_Timer();
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
    void txtShutTime_Validate(bool &cancel);
    void txtOpDate_DblClick();
    void elaMsg_Click();

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
    bool KPWPOrderI(const QString &PrinterName, const tickets::OrderBuffer &Buffer);
    // The shift item-summary reports of the kitchen and of the bar, each in its own preview.
    void cmdPrintShiftItemSum_Click();
    void cmdPrintShiftRptB_Click();

    // Appends one row (now, type, message) to the activity grid.
    void WriteFGLog(const QString &type, const QString &msg);
    // One scan of the watched port into fg1.
    bool AddFG1();

    // Whether the port grid is in setting mode.
    bool settingMode() const { return m_settingMode; }
    // Whether the service cycle runs.
    bool running() const { return m_running; }
    // Whether the operator's input is held back (a tick of the cycle is running).
    bool inputHeld() const { return m_inputHeld; }

    // Ends the program as a confirmed exit does, without asking: the system wants it to end
    // (SIGTERM, SIGINT, the session ending).
    void endOnRequest();
    // Saves fg1 and fgLog as tab-separated files in <dir>/LOG (KPS<day>.TXT, L<day_time>.TXT).
    // A file that cannot be written there goes to <dir>, then to the temporary folder; every
    // failure is in the error log. True when both grids reached a file.
    bool saveGrids(const QString &tag);
    // The same with the file names of the moment `when`.
    bool saveGrids(const QString &tag, const QDateTime &when);
    QString orderFilePath(const QDateTime &now) const;
    QString logFilePath(const QDateTime &now) const;

    // Ends the process: QCoreApplication::exit in production; tests put a recorder here.
    std::function<void(int)> quit;
    // The date picker of the business-date box: the calendar dialog.
    std::function<bool(QDate &picked)> PickDate;
    // Run by cmdStart_Click when "出菜單使用點單格式" is ticked: the ticket window in order form.
    std::function<void()> onStartWithOrderForm;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void restartComputer();
    void keepEarlierRunsList(const QString &path, const QString &tag);
    void commitData(QSessionManager &manager);
    void connectHandlers();
    void setRunningButtons(bool running);
    void connectPortHandlers();
    // Fills the pick list with the installed printers and shows it; the printer picked, or empty.
    QString pickPrinter();

    std::unique_ptr<Ui::fmTavoKPortSrv> ui;
    int m_currentTab = 1;
    bool m_settingMode = false;
    bool m_running = false;
    bool m_ended = false;
    bool m_inputHeld = false; // a tick is running: the operator's input waits
    bool m_closeHeld = false; // a close asked for during a tick, answered when it ends
    bool m_endHeld = false; // the system asked the program to end during a tick or a scan
    // Loading, or listing rows into fg1 (pending events run between them): an end request waits.
    bool m_busy = false;
    void endIfHeld();
    QSet<QString> m_written; // the order lists this run has saved
    // The kitchen display in the browser, when the settings turn it on: refreshed by every scan.
    std::unique_ptr<kds::KitchenDisplay> m_kitchenDisplay;
};

} // namespace tavo::gui
