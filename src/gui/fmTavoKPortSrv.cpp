#include "gui/fmTavoKPortSrv.h"

#include "gui/elamsg.h"
#include "gui/fmRoomOrder.h"
#include "gui/frmFgDate.h"
#include "gui/frmPickF2.h"
#include "kport/portgrid.h"
#include "platform/cursor.h"
#include "core/terminationsignals.h"
#include "db/connection.h"
#include "db/dbglobals.h"
#include "db/valuetext.h"
#include "platform/echo.h"
#include "gui/gridview.h"
#include "platform/gridfiles.h"
#include "gui/messagepanel.h"
#include "platform/services.h"
#include "tickets/frmTMSlip.h"
#include "tickets/reprint.h"
#include "gui/frmVSPBlank.h"
#include "reports/shiftreport.h"
#include "ui_fmTavoKPortSrv.h"
#include "util/dates.h"
#include "util/globals.h"
#include "util/grids.h"
#include "gui/input.h"
#include "kds/kitchendisplay.h"
#include "util/machine.h"
#include "util/report.h"
#include "watch/orderwatch.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QSessionManager>
#include <QThread>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace tavo::gui {

namespace {

const QString kApp = u"Tavo3"_s;
constexpr int kStartDelayMs = 30000;
constexpr int kCycleMs = 1000;
constexpr int kStatsTab = 2;
constexpr int kListTab = 1;

platform::Services &sv()
{
    return platform::services();
}

QString setting(const QString &section, const QString &key, const QString &defaultValue = {})
{
    return sv().settings->get(kApp, section, key, defaultValue);
}

void processPendingEvents()
{
    QCoreApplication::processEvents();
}

} // namespace

fmTavoKPortSrv::fmTavoKPortSrv(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::fmTavoKPortSrv>())
{
    ui->setupUi(this);
    lblStatus = ui->lblStatus;
    lblMode = ui->lblMode;
    elaMsg = ui->elaMsg;
    tabPage = ui->tabPage;
    cmdStart = ui->cmdStart;
    cmdStop = ui->cmdStop;
    cmdSET = ui->cmdSET;
    cmdExit = ui->cmdExit;
    cmdPrintRow = ui->cmdPrintRow;
    cmdPrintTest = ui->cmdPrintTest;
    cmdTestPrinter = ui->cmdTestPrinter;
    cmdSetDef = ui->cmdSetDef;
    cmdSetKportPrinter = ui->cmdSetKportPrinter;
    cmdChangePrinter = ui->cmdChangePrinter;
    cmdRoomOrder = ui->cmdRoomOrder;
    cmdPrintShiftItemSum = ui->cmdPrintShiftItemSum;
    cmdPrintShiftRptB = ui->cmdPrintShiftRptB;
    txtOpDate = ui->txtOpDate;
    txtShutTime = ui->txtShutTime;
    txtDefKPort = ui->txtDefKPort;
    txtPrinter = ui->txtPrinter;
    txtPrinterType = ui->txtPrinterType;
    txtTavo3MDB = ui->txtTavo3MDB;
    chkPrintItem = ui->chkPrintItem;
    chkPrintList = ui->chkPrintList;
    chkKPortForm = ui->chkKPortForm;
    fgKPort = new platform::GridModel(this);
    fg1 = new platform::GridModel(this);
    fg2 = new platform::GridModel(this);
    fgLog = new platform::GridModel(this);
    fgPrinterList = new platform::GridModel(this);
    ui->fgKPort->setGrid(fgKPort);
    ui->fg1->setGrid(fg1);
    ui->fg2->setGrid(fg2);
    ui->fgLog->setGrid(fgLog);
    ui->fgPrinterList->setGrid(fgPrinterList);

    // A screen reader names a text box by its label; say it outright as well, for clients that
    // do not follow the label relation.
    for (QLabel *label : findChildren<QLabel *>()) {
        QWidget *buddy = label->buddy();
        if (buddy && buddy->accessibleName().isEmpty())
            buddy->setAccessibleName(label->text().remove(u'&'));
    }

    // An end asked for while the window is still loading (its first scan runs pending events)
    // comes before the event loop exists, where exit() is ignored and the program would run on
    // with its grids saved and every later request refused: the exit waits for the loop.
    quit = [](int code) {
        auto *waiting = new QTimer(QCoreApplication::instance());
        QObject::connect(waiting, &QTimer::timeout, waiting, [waiting, code] {
            if (QThread::currentThread()->loopLevel() == 0)
                return;
            waiting->deleteLater();
            QCoreApplication::exit(code);
        });
        waiting->start(10);
    };
    onStartWithOrderForm = [] { tickets::frmTMSlip::instance().KPortFORM = u"ORDER"_s; };
    PickDate = [](QDate &picked) {
        frmFgDate &calendar = frmFgDate::instance();
        if (!calendar.PickDate())
            return false;
        picked = calendar.DATEPICKED;
        return true;
    };
    connectHandlers();
    connectPortHandlers();
    // Loading ends before the program does: the grids saved on an early request are whole.
    m_busy = true;
    Form_Load();
    m_busy = false;
    endIfHeld();
    // Tab changes are the operator's from here on; the page chosen while loading is no switch.
    connect(tabPage, &QTabWidget::currentChanged, this, [this](int index) {
        const int old = m_currentTab;
        m_currentTab = index;
        tabPage_Switch(old, index);
    });

    const QString shot = qEnvironmentVariable("TAVO_SCREENSHOT");
    if (!shot.isEmpty()) {
        bool ok = false;
        int delay = qEnvironmentVariableIntValue("TAVO_SCREENSHOT_DELAY", &ok);
        QTimer::singleShot(ok ? delay : 3000, this, [this, shot] {
            if (grab().save(shot))
                platform::echoLine(u"screenshot"_s, shot);
            else
                WriteErrLog(u"fmTavoKPortSrv_screenshot"_s, ErrorInfo { kErrPathFileAccess, shot });
        });
    }
}

fmTavoKPortSrv::~fmTavoKPortSrv()
{
    if (qApp)
        qApp->removeEventFilter(this);
    // The pick dialogs live as long as the window that opens them, not past the application.
    frmPickF2::unload();
    frmFgDate::unload();
    fmRoomOrder::unload();
}

QLabel *fmTavoKPortSrv::lblHead(int index) const
{
    switch (index) {
    case 0:
        return ui->lblHead_0;
    case 1:
        return ui->lblHead_1;
    case 2:
        return ui->lblHead_2;
    }
    throw TavoError(340, u"Control array element '%1' doesn't exist"_s.arg(index));
}

void fmTavoKPortSrv::connectHandlers()
{
    connect(&Timer1, &core::WindowTimer::Timer, this, &fmTavoKPortSrv::Timer1_Timer);
    connect(&TimerStart, &core::WindowTimer::Timer, this, &fmTavoKPortSrv::TimerStart_Timer);
    connect(cmdStart, &QPushButton::clicked, this, &fmTavoKPortSrv::cmdStart_Click);
    connect(cmdStop, &QPushButton::clicked, this, &fmTavoKPortSrv::cmdStop_Click);
    connect(cmdSET, &QPushButton::clicked, this, &fmTavoKPortSrv::cmdSET_Click);
    connect(cmdExit, &QPushButton::clicked, this, &fmTavoKPortSrv::cmdExit_Click);
    connect(elaMsg, &gui::MessagePanel::clicked, this, &fmTavoKPortSrv::elaMsg_Click);
    connect(cmdPrintRow, &QPushButton::clicked, this, &fmTavoKPortSrv::cmdPrintRow_Click);
    connect(cmdPrintTest, &QPushButton::clicked, this, &fmTavoKPortSrv::cmdPrintTest_Click);
    connect(cmdPrintShiftItemSum, &QPushButton::clicked, this, &fmTavoKPortSrv::cmdPrintShiftItemSum_Click);
    connect(cmdPrintShiftRptB, &QPushButton::clicked, this, &fmTavoKPortSrv::cmdPrintShiftRptB_Click);

    connect(&core::TerminationSignals::instance(), &core::TerminationSignals::requested, this,
        [this](int) { endOnRequest(); });
    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::commitDataRequest, this, &fmTavoKPortSrv::commitData);
        connect(app, &QCoreApplication::aboutToQuit, this, [this] {
            if (!m_ended)
                endOnRequest();
        });
    }
}

// ---- Loading

void fmTavoKPortSrv::Form_Load()
{
    try {
        const QFileInfo program(QCoreApplication::applicationFilePath());
        if (program.exists())
            lblHead(0)->setToolTip(
                u"檔案日期:"_s + program.lastModified().toString(u"yyyy/MM/dd hh:mm:ss"_s));
        lblHead(1)->setToolTip(
            u"V%1.%2.%3"_s.arg(TAVO_VERSION_MAJOR).arg(TAVO_VERSION_MINOR).arg(TAVO_VERSION_PATCH));
        lblHead(2)->setText(DBDateDisp(sv().clock->now().date()));
        lblStatus->setText(g().gUserID);
        lblStatus->setToolTip(db::gCNT().dataSource());
        lblMode->setText({});
        elaMsg->setCaption(u"V%1%2版"_s.arg(TAVO_VERSION_MAJOR).arg(TAVO_VERSION_MINOR));
        // Key preview: the window sees every key before the control that has the focus.
        qApp->installEventFilter(this);
        processPendingEvents();
        // Before the first scan, so that it is on the display too.
        m_kitchenDisplay = kds::startKitchenDisplay(db::gCNT(), g().gAppDir);
        InitForm();
        platform::echoLine(g().gExeName,
            u"服務程式已載入: "_s + g().gAppDir + u", 監控送廚出口 "_s + txtDefKPort->text());
    } catch (...) {
        ShowErrMsg(u"Form_Load"_s);
    }
}

void fmTavoKPortSrv::InitForm()
{
    try {
        const QString shiftFile = g().gAppDir + u"/TavoC_fg2.CSV"_s;
        fg2->setColumns(grids::ShiftTable::columns);
        if (QFileInfo::exists(shiftFile)) {
            try {
                platform::loadCsv(*fg2, shiftFile);
            } catch (...) {
                // The shift table is only a convenience here: note it and go on without it.
                WriteErrLog(u"InitForm"_s);
            }
        }
        fg2->setEditable(true);
        ui->fg2->setSelectionBehavior(QAbstractItemView::SelectItems);

        txtOpDate->setText(g().gOPDate);

        chkKPortForm->setChecked(setting(u"KP"_s, u"KPortFORM"_s) == u"Y"_s);
        QString alertQty;
        if (getParamValue(u"KPAlertQty"_s, alertQty) && alertQty.toUpper() == u"Y"_s) {
            chkKPortForm->setChecked(false);
            chkKPortForm_Click(); // saved "N" even when it was unchecked already
            chkKPortForm->setVisible(false);
        }

        move(0, 0);
        txtTavo3MDB->setText(db::gCNT().dataSource());

        kport::LoadPortGrid(*fgKPort, db::gCNT());
        fgPrinterList->setColumns(grids::TestedPrinters::columns);

        txtDefKPort->setText(setting(u"TavoC"_s, u"DEFKPORT"_s, u"PK"_s));
        txtPrinter->setText(setting(u"TavoC"_s, u"Printer"_s));
        txtPrinterType->setText(setting(u"TavoC"_s, u"PrinterType"_s));
        txtShutTime->setText(setting(u"TavoC"_s, u"ShutTime"_s));
        DefKPort = txtDefKPort->text();
        chkPrintList->setChecked(setting(u"TavoC"_s, u"PrintList"_s, u"N"_s) == u"Y"_s);
        chkPrintItem->setChecked(setting(u"TavoC"_s, u"PrintItem"_s, u"N"_s) == u"Y"_s);

        {
            const QSignalBlocker quiet(tabPage);
            tabPage->setCurrentIndex(kListTab);
            m_currentTab = kListTab;
        }

        watch::InitFG1(*fg1);
        AddFG1();
        if (fg1->Rows() > 1)
            fg1->setRow(1);

        QString cycle;
        KPCycleTime = getParamValue(u"KPCycleTime"_s, cycle) ? db::basicVal(cycle) : 4;
        KPCycleTime = std::clamp(KPCycleTime, 1.0, 5.0);

        fgLog->setColumns(grids::ActivityList::columns);
        fgLog->setRows(1);
        fgLog->AutoSize();

        TimerStart.setInterval(kStartDelayMs);
        DispElaMsg(*elaMsg, u"本作業30秒後自動啟動"_s);
    } catch (...) {
        ShowErrMsg(u"InitForm"_s);
    }
}

// ---- The service cycle

void fmTavoKPortSrv::TimerStart_Timer()
{
    try {
        WriteLog(u"TimerStart_Timer"_s);
        TimerStart.setInterval(0);
        TimerStart.setEnabled(false);
        cmdStart_Click();
    } catch (...) {
        WriteErrLog(u"TimerStart_Timer"_s);
    }
}

void fmTavoKPortSrv::setRunningButtons(bool running)
{
    cmdStop->setEnabled(running);
    cmdStart->setEnabled(!running);
    cmdPrintRow->setEnabled(!running);
    cmdPrintTest->setEnabled(!running);
    // Printer settings stay locked once the service has run: redirecting printers under a
    // running service is what the restart of the program is for.
    cmdSET->setEnabled(false);
    cmdChangePrinter->setEnabled(false);
    tabPage->setTabEnabled(kStatsTab, !running);
}

void fmTavoKPortSrv::cmdStart_Click()
{
    try {
        if (m_settingMode) {
            DispElaMsg(*elaMsg, u"請先按[設定完成]鈕"_s);
            return;
        }
        elaMsg->setCaption({});
        TimerStart.setInterval(0);
        TimerStart.setEnabled(false);
        setRunningButtons(true);
        m_running = true;
        processPendingEvents();
        if (chkKPortForm->isChecked() && onStartWithOrderForm)
            onStartWithOrderForm();
        Timer1.setInterval(kCycleMs);
        processPendingEvents();
    } catch (...) {
        ShowErrMsg(u"fmTavoKPortSrv_cmdStart_Click"_s);
    }
}

void fmTavoKPortSrv::Timer1_Timer()
{
    try {
        const QDateTime now = sv().clock->now();
        lblMode->setText(now.toString(u"hh:mm:ss"_s));
        elaMsg->setCaption({});
        processPendingEvents();
        // No input while the cycle works: no handler can come between its steps. The input is
        // held back rather than every control disabled, which would take the keyboard focus
        // (and a half-typed restart time) away from the operator every second.
        Timer1.setEnabled(false);
        m_inputHeld = true;

        ++CycleCount;
        if (CycleCount >= KPCycleTime) {
            if (sv().clock->now().toString(u"hh:mm"_s) == txtShutTime->text())
                restartComputer();
            QString opDate;
            if (getParamValue(u"OPDATE"_s, opDate))
                lblHead(2)->setText(DBDateDisp(opDate));
            else
                lblHead(2)->setText(DBDateDisp(sv().clock->now().date()));
            CycleCount = 0;
            DispElaMsg(*elaMsg, u"檢查新點單資料.."_s, 0);
            if (chkPrintItem->isChecked())
                AddFG1();
        }
    } catch (...) {
        WriteErrLog(u"Timer1_Timer"_s);
    }
    Timer1.setEnabled(true);
    m_inputHeld = false;
    endIfHeld();
    if (m_ended)
        return;
    if (m_closeHeld) {
        m_closeHeld = false;
        QTimer::singleShot(0, this, [this] { close(); });
    }
    processPendingEvents();
}

void fmTavoKPortSrv::restartComputer()
{
    // The forced restart closes the program without asking it: the day's grids go to their
    // files first, as at a confirmed exit.
    saveGrids(u"Timer1_Timer"_s);
    ShutdownWindows(true, true);
}

void fmTavoKPortSrv::cmdStop_Click()
{
    try {
        Timer1.setInterval(0);
        processPendingEvents();
        Delay(1);
        processPendingEvents();
        setRunningButtons(false);
        m_running = false;
        lblMode->setText(u"STOP"_s);
        elaMsg->setCaption({});
    } catch (...) {
        ShowErrMsg(u"fmTavoKPortSrv_cmdStop_Click"_s);
    }
}

void fmTavoKPortSrv::cmdSET_Click()
{
    try {
        if (m_settingMode) {
            fgKPort->setEditable(false);
            ui->fgKPort->setBackColor(QColor(255, 255, 255));
            cmdSET->setText(u"更改設定"_s);
            cmdTestPrinter->setVisible(false);
            m_settingMode = false;
        } else {
            fgKPort->setEditable(true);
            ui->fgKPort->setBackColor(QColor(255, 255, 128));
            cmdSET->setText(u"設定完成"_s);
            cmdTestPrinter->setVisible(true);
            m_settingMode = true;
            ui->fgKPort->setFocus();
        }
    } catch (...) {
        ShowErrMsg(u"fmTavoKPortSrv_cmdSET_Click"_s);
    }
}

// ---- Ending

QString fmTavoKPortSrv::orderFilePath(const QDateTime &now) const
{
    return g().gAppDir + u"/LOG/KPS"_s + now.toString(u"yyyyMMdd"_s) + u".TXT"_s;
}

QString fmTavoKPortSrv::logFilePath(const QDateTime &now) const
{
    return g().gAppDir + u"/LOG/L"_s + now.toString(u"yyyyMMdd_hhmm"_s) + u".TXT"_s;
}

namespace {
// Saves to `path`; when its folder cannot take it, to the program folder, then to the temporary
// folder: a day's list is worth more than the place it lands in. Every miss is in the error log.
bool saveSomewhere(const platform::GridModel &grid, const QString &path, const QString &tag)
{
    const QString name = QFileInfo(path).fileName();
    const QString folder = QFileInfo(path).absolutePath();
    const QStringList places { path, path, g().gAppDir + u'/' + name, QDir::temp().filePath(name) };
    for (int i = 0; i < places.size(); ++i) {
        if (i == 1 && !QDir().mkpath(folder))
            continue;
        try {
            platform::saveTabText(grid, places[i], true);
            if (i > 1)
                WriteErrLog(tag, ErrorInfo { kErrPathFileAccess, path + u" -> "_s + places[i] });
            return true;
        } catch (...) {
            WriteErrLog(tag);
        }
    }
    return false;
}
} // namespace

bool fmTavoKPortSrv::saveGrids(const QString &tag)
{
    return saveGrids(tag, sv().clock->now());
}

// A list of the same day left by an earlier run keeps a name of its own (its time of writing
// added), so a second start does not wipe out the first run's orders. A file this run wrote
// itself is simply brought up to date.
void fmTavoKPortSrv::keepEarlierRunsList(const QString &path, const QString &tag)
{
    const QFileInfo earlier(path);
    if (m_written.contains(earlier.absoluteFilePath()) || !earlier.isFile())
        return;
    const QString stem = earlier.absolutePath() + u'/' + earlier.completeBaseName() + u'_'
        + earlier.lastModified().toString(u"hhmmss"_s);
    QString kept = stem + u".TXT"_s;
    for (int n = 2; QFileInfo::exists(kept); ++n)
        kept = stem + u'_' + QString::number(n) + u".TXT"_s;
    if (!QFile::rename(path, kept))
        WriteErrLog(tag, ErrorInfo { kErrPathFileAccess, path + u" -> "_s + kept });
}

bool fmTavoKPortSrv::saveGrids(const QString &tag, const QDateTime &when)
{
    const QString orderFile = orderFilePath(when);
    keepEarlierRunsList(orderFile, tag);
    const bool order = saveSomewhere(*fg1, orderFile, tag);
    if (order)
        m_written.insert(QFileInfo(orderFile).absoluteFilePath());
    const bool log = saveSomewhere(*fgLog, logFilePath(when), tag);
    return order && log;
}

void fmTavoKPortSrv::cmdExit_Click()
{
    const QString tag = u"fmTavoKPortSrv_cmdExit_Click"_s;
    elaMsg->setCaption({});
    // The files are named for the moment of the request, not of the answer: a question left
    // open past midnight must not file the day's list under the next day, where that day's
    // own exit would overwrite it.
    const QDateTime requested = sv().clock->now();
    try {
        if (sv().prompter->ask(
                appTitle(), u"確定要離開嗎?"_s, platform::BoxIcon::Question, platform::BoxButtons::YesNo)
            != platform::BoxAnswer::Yes)
            return;
    } catch (...) {
        WriteErrLog(tag);
        return;
    }
    m_ended = true;
    Timer1.setInterval(0);
    TimerStart.setInterval(0);
    saveGrids(tag, requested);
    platform::echoLine(g().gExeName, u"服務程式結束"_s);
    quit(0);
}

void fmTavoKPortSrv::endOnRequest()
{
    if (m_ended)
        return;
    // A scan half done would leave its last rows out of the saved list: the tick (or the scan
    // of loading or of a page switch) ends first.
    if (m_inputHeld || m_busy) {
        m_endHeld = true;
        return;
    }
    m_ended = true;
    Timer1.setInterval(0);
    TimerStart.setInterval(0);
    elaMsg->setCaption({});
    saveGrids(u"fmTavoKPortSrv_endOnRequest"_s);
    platform::echoLine(g().gExeName, u"服務程式結束"_s);
    quit(0);
}

void fmTavoKPortSrv::commitData(QSessionManager &)
{
    // The session is ending: the files must exist before the program is told to go.
    saveGrids(u"fmTavoKPortSrv_commitData"_s);
}

bool fmTavoKPortSrv::Form_KeyDown(int keyCode, Qt::KeyboardModifiers shift)
{
    if (keyCode == Qt::Key_End && (shift & Qt::ControlModifier)) {
        cmdExit_Click();
        return true;
    }
    return false;
}

void fmTavoKPortSrv::Form_QueryUnload(bool &cancel)
{
    try {
        elaMsg->setCaption({});
        // Closing asks what the exit button asks, as long as that button could be pressed.
        if (cmdExit->isEnabledTo(this)) {
            cmdExit_Click();
            cancel = true;
        }
    } catch (...) {
        ShowErrMsg(u"fmTavoKPortSrv_Form_QueryUnload"_s);
    }
}

void fmTavoKPortSrv::closeEvent(QCloseEvent *event)
{
    if (m_ended) {
        event->accept();
        return;
    }
    // The exit question must not come between the steps of a scan: the close waits for the tick.
    if (m_inputHeld) {
        m_closeHeld = true;
        event->ignore();
        return;
    }
    bool cancel = false;
    Form_QueryUnload(cancel);
    if (cancel)
        event->ignore();
    else
        event->accept();
}

// ---- Pages, boxes and the panel

void fmTavoKPortSrv::tabPage_Switch(int, int newTab)
{
    try {
        elaMsg->setCaption({});
        if (newTab == kListTab) {
            if (chkPrintItem->isChecked())
                AddFG1();
            else
                fg1->setRows(fg1->FixedRows());
            ui->fg1->setTopRow(fg1->Row());
        } else if (newTab == kStatsTab) {
            using grids::ActivityList;
            GridView &log = *ui->fgLog;
            const int width = log.WidthTwips() - log.ColWidth(ActivityList::Time)
                - log.ColWidth(ActivityList::Type) - 400;
            if (width > 0)
                log.setColWidth(ActivityList::Message, width);
        }
    } catch (...) {
        ShowErrMsg(u"fmTavoKPortSrv_tabPage_Switch"_s);
    }
}

void fmTavoKPortSrv::txtShutTime_GotFocus()
{
    SelectAllText(txtShutTime);
}

bool fmTavoKPortSrv::txtShutTime_KeyDown(int keyCode)
{
    return KeyMoveFocus(txtShutTime, keyCode);
}

bool fmTavoKPortSrv::txtShutTime_KeyPress(int keyCode)
{
    return keyCode == Qt::Key_Return || keyCode == Qt::Key_Enter;
}

void fmTavoKPortSrv::txtShutTime_Validate(bool &cancel)
{
    cancel = false;
    try {
        // Only a text equal to the clock's "hh:mm" ever restarts the machine; it is kept as typed.
        if (!txtShutTime->text().trimmed().isEmpty())
            sv().settings->save(kApp, u"TavoC"_s, u"ShutTime"_s, txtShutTime->text());
    } catch (...) {
        ShowErrMsg(u"txtShutTime_Validate"_s);
    }
}

void fmTavoKPortSrv::txtOpDate_DblClick()
{
    try {
        QDate picked;
        if (PickDate && PickDate(picked))
            txtOpDate->setText(DBDateDisp(picked));
    } catch (...) {
        ShowErrMsg(u"fmTavoKPortSrv_txtOpDate_DblClick"_s);
    }
}

void fmTavoKPortSrv::elaMsg_Click()
{
    elaMsg->setCaption({});
}

namespace {
bool isInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
        return true;
    default:
        return false;
    }
}
} // namespace

bool fmTavoKPortSrv::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (m_inputHeld && isInput(type)) {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && widget->window() == this)
            return true;
    }
    if (type == QEvent::KeyPress) {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && widget->window() == this) {
            auto *key = static_cast<QKeyEvent *>(event);
            if (Form_KeyDown(key->key(), key->modifiers()))
                return true;
            if (watched == txtShutTime
                && (txtShutTime_KeyDown(key->key()) || txtShutTime_KeyPress(key->key())))
                return true;
            if (watched == ui->fgKPort
                && (fgKPort_KeyDown(key->key(), key->modifiers())
                    || (key->modifiers() == Qt::NoModifier && fgKPort_KeyPress(key->key()))))
                return true;
        }
    } else if (watched == txtShutTime && type == QEvent::FocusIn) {
        // After the box has placed its own cursor.
        QTimer::singleShot(0, this, [this] { txtShutTime_GotFocus(); });
    } else if (watched == txtShutTime && type == QEvent::FocusOut) {
        bool cancel = false;
        txtShutTime_Validate(cancel);
        if (cancel)
            QTimer::singleShot(0, txtShutTime, [box = txtShutTime] { box->setFocus(); });
    } else if (watched == txtOpDate && type == QEvent::MouseButtonDblClick) {
        txtOpDate_DblClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

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
        if (!m_settingMode)
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
        if (!m_settingMode)
            return true;
        kport::WriteError error;
        if (keyCode == Qt::Key_Delete) {
            if (fgKPort->Row() < 1)
                return true;
            if (sv().prompter->ask(appTitle(), u"確定要刪除?"_s, platform::BoxIcon::Question,
                    platform::BoxButtons::YesNo)
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
        txtDefKPort->setText(fgKPort->TextMatrix(row, PortGrid::KPort));
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
        if (txtDefKPort->text() != DefKPort) {
            // Another port: the next scan is a first scan of it.
            fg1->setTag({});
            DefKPort = txtDefKPort->text();
        }
        sv().settings->save(kApp, u"TavoC"_s, u"DEFKPORT"_s, txtDefKPort->text());
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
                u"要將所有送到"_s + oldPrinter + u"印表機的工作"_s + u"改送到"_s + newPrinter + u"去印, 確定嗎?"_s,
                platform::BoxIcon::Question, platform::BoxButtons::YesNo)
            != platform::BoxAnswer::Yes)
            return;
        const platform::BusyPointer busy;
        const int moved = kport::redirectPrinter(newPrinter, oldPrinter, db::gCNT());
        WriteLog(u"印表機替換: "_s + oldPrinter + u" -> "_s + newPrinter + u" ("_s + QString::number(moved) + u")"_s);
        processPendingEvents();
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
        const QString type = txtPrinterType->text();
        const QString printer = txtPrinter->text();
        tickets::fillTestEntry(PrintBuffer);
        PrintBuffer[15] = u"廚房印表機:"_s + printer;
        if (type == u"EPSONTM"_s) {
            lblStatus->setText(u"啟動測試"_s);
            KPWPOrderI(printer, PrintBuffer);
        }
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

// ---- The activity grid and the order watch

void fmTavoKPortSrv::WriteFGLog(const QString &type, const QString &msg)
{
    try {
        const QStringList cells { sv().clock->now().toString(u"yyyy/MM/dd hh:mm:ss"_s), type, msg };
        fgLog->addRow(cells);
        platform::echoRow(u"fgLog"_s, cells);
    } catch (...) {
        ShowErrMsg(u"fmTavoKPortSrv_WriteFGLog"_s);
    }
}

bool fmTavoKPortSrv::AddFG1()
{
    bool listed = false;
    {
        // The scan runs pending events after each row: an end asked for then waits for it.
        const QScopedValueRollback busy(m_busy, true);
        listed = watch::AddFG1(*fg1, txtDefKPort->text(), db::gCNT());
    }
    // What the scan listed goes to the kitchen display, with what closed or changed since.
    if (m_kitchenDisplay) {
        m_kitchenDisplay->setPort(txtDefKPort->text());
        m_kitchenDisplay->refresh();
    }
    endIfHeld();
    return listed;
}

void fmTavoKPortSrv::endIfHeld()
{
    // Inside a tick the tick ends first and looks at the request itself.
    if (m_endHeld && !m_inputHeld && !m_busy) {
        m_endHeld = false;
        endOnRequest();
    }
}

// ---- Printing

void fmTavoKPortSrv::cmdPrintRow_Click()
{
    const tickets::PrintRowInput input { txtDefKPort->text(), txtPrinter->text(), txtPrinterType->text(),
        chkPrintList->isChecked(), chkPrintItem->isChecked() };
    const tickets::PrintRowResult result = tickets::cmdPrintRow_Click(*fg1, input, vsp, db::gCNT(),
        [this](const QString &type, const QString &msg) { WriteFGLog(type, msg); });
    if (result.message.isEmpty())
        return;
    PrintRowMsg = result.message;
    // The operator pressed for tickets and none came out: say why where they are looking.
    if (result.outcome == tickets::ReprintOutcome::NothingToPrint)
        DispElaMsg(*elaMsg, result.message);
}

void fmTavoKPortSrv::cmdPrintTest_Click()
{
    tickets::cmdPrintTest_Click(*fgKPort, *fgPrinterList, PrintBuffer, vsp,
        [this](const QString &type, const QString &msg) { WriteFGLog(type, msg); });
    tabPage->setCurrentIndex(kStatsTab);
}

bool fmTavoKPortSrv::KPWPOrderI(const QString &PrinterName, const tickets::OrderBuffer &Buffer)
{
    return tickets::KPWPOrderI(
        PrinterName, Buffer, vsp, [this](const QString &type, const QString &msg) { WriteFGLog(type, msg); });
}

// ---- Shift reports

void fmTavoKPortSrv::cmdPrintShiftItemSum_Click()
{
    reports::cmdPrintShiftItemSum_Click({ *fg2, txtOpDate->text(), txtPrinter->text(), g().gAppDir }, db::gCNT(),
        [this] { return std::make_unique<frmVSPBlank>(this); },
        [this](const QString &text) { DispElaMsg(*elaMsg, text); });
}

void fmTavoKPortSrv::cmdPrintShiftRptB_Click()
{
    reports::cmdPrintShiftRptB_Click({ *fg2, txtOpDate->text(), txtPrinter->text(), g().gAppDir }, db::gCNT(),
        [this] { return std::make_unique<frmVSPBlank>(this); },
        [this](const QString &text) { DispElaMsg(*elaMsg, text); });
}

} // namespace tavo::gui
