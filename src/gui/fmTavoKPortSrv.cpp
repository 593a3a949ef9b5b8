#include "gui/fmTavoKPortSrv.h"

#include "core/serviceecho.h"
#include "core/startup.h"
#include "core/terminationsignals.h"
#include "db/connection.h"
#include "db/dbglobals.h"
#include "gui/elamsg.h"
#include "gui/fmRoomOrder.h"
#include "gui/frmFgDate.h"
#include "gui/frmPickF2.h"
#include "gui/frmVSPBlank.h"
#include "gui/gridview.h"
#include "gui/input.h"
#include "gui/messagepanel.h"
#include "platform/echo.h"
#include "platform/services.h"
#include "ui_fmTavoKPortSrv.h"
#include "util/dates.h"
#include "util/globals.h"
#include "util/grids.h"
#include "util/machine.h"
#include "util/report.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QSessionManager>
#include <QTimer>

#include <utility>

using namespace Qt::StringLiterals;

namespace tavo::gui {

namespace {

constexpr int kStatsTab = 2;
constexpr int kListTab = 1;
platform::Services &sv()
{
    return platform::services();
}

} // namespace

fmTavoKPortSrv::fmTavoKPortSrv(QWidget *parent)
    : fmTavoKPortSrv(core::programSite(), parent)
{
}

fmTavoKPortSrv::fmTavoKPortSrv(const Site &site, QWidget *parent)
    : QWidget(parent)
    , m_service(std::make_unique<core::KitchenService>(site))
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
    cmdPrintShiftSpeed = ui->cmdPrintShiftSpeed;
    txtOpDate = ui->txtOpDate;
    txtShutTime = ui->txtShutTime;
    txtDefKPort = ui->txtDefKPort;
    txtPrinter = ui->txtPrinter;
    txtPrinterType = ui->txtPrinterType;
    txtTavo3MDB = ui->txtTavo3MDB;
    chkPrintItem = ui->chkPrintItem;
    chkPrintList = ui->chkPrintList;
    chkKPortForm = ui->chkKPortForm;
    fgKPort = &m_service->ports();
    fg1 = &m_service->orders();
    fg2 = &m_service->shifts();
    fgLog = &m_service->activity();
    fgPrinterList = &m_service->testedPrinters();
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

    PickDate = [](QDate &picked) {
        frmFgDate &calendar = frmFgDate::instance();
        if (!calendar.PickDate())
            return false;
        picked = calendar.DATEPICKED;
        return true;
    };
    connectHandlers();
    connectPortHandlers();
    Form_Load();
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
                WriteErrLog(tags::fmTavoKPortSrv_screenshot, ErrorInfo { kErrPathFileAccess, shot });
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
    core::KitchenService &s = *m_service;
    core::echoService(s, core::EchoMessages::No); // the message panel echoes itself
    connect(&s.config(), &core::StationConfig::changed, this, &fmTavoKPortSrv::showConfig);
    connect(&s, &core::KitchenService::message, this, &fmTavoKPortSrv::showMessage);
    connect(&s, &core::KitchenService::ticked, this, &fmTavoKPortSrv::showTick);
    connect(&s, &core::KitchenService::tickEnded, this, &fmTavoKPortSrv::tickEnded);
    connect(&s, &core::KitchenService::runningChanged, this, &fmTavoKPortSrv::showRunning);
    connect(&s, &core::KitchenService::businessDate, lblHead(2), &QLabel::setText);
    connect(&s, &core::KitchenService::portChanged, txtDefKPort, &QLineEdit::setText);
    connect(txtShutTime, &QLineEdit::textChanged, &s, &core::KitchenService::setShutTime);
    // The read-only boxes show the configuration; whatever changes their text changes it there.
    connect(txtDefKPort, &QLineEdit::textChanged, this, [this](const QString &port) {
        if (port != m_service->port())
            m_service->setPort(port);
    });
    connect(txtPrinter, &QLineEdit::textChanged, this, [this](const QString &printer) {
        if (printer != m_service->config().printer())
            m_service->config().setPrinter(printer);
    });
    connect(txtPrinterType, &QLineEdit::textChanged, this, [this](const QString &type) {
        if (type != m_service->config().printerType())
            m_service->config().setPrinterType(type);
    });

    connect(cmdStart, &QPushButton::clicked, this, &fmTavoKPortSrv::cmdStart_Click);
    connect(cmdStop, &QPushButton::clicked, this, &fmTavoKPortSrv::cmdStop_Click);
    connect(cmdSET, &QPushButton::clicked, this, &fmTavoKPortSrv::cmdSET_Click);
    connect(cmdExit, &QPushButton::clicked, this, &fmTavoKPortSrv::cmdExit_Click);
    connect(elaMsg, &gui::MessagePanel::clicked, this, &fmTavoKPortSrv::elaMsg_Click);
    connect(cmdPrintRow, &QPushButton::clicked, this, &fmTavoKPortSrv::cmdPrintRow_Click);
    connect(cmdPrintTest, &QPushButton::clicked, this, &fmTavoKPortSrv::cmdPrintTest_Click);
    connect(cmdPrintShiftItemSum, &QPushButton::clicked, this, &fmTavoKPortSrv::cmdPrintShiftItemSum_Click);
    connect(cmdPrintShiftRptB, &QPushButton::clicked, this, &fmTavoKPortSrv::cmdPrintShiftRptB_Click);
    connect(cmdPrintShiftSpeed, &QPushButton::clicked, this, &fmTavoKPortSrv::cmdPrintShiftSpeed_Click);
    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::commitDataRequest, this, &fmTavoKPortSrv::commitData);
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
        lblStatus->setText(m_service->site().values.gUserID);
        lblStatus->setToolTip(m_service->site().connection.dataSource());
        lblMode->setText({});
        elaMsg->setCaption(u"V%1%2版"_s.arg(TAVO_VERSION_MAJOR).arg(TAVO_VERSION_MINOR));
        // Key preview: the window sees every key before the control that has the focus.
        qApp->installEventFilter(this);
        InitForm();
    } catch (...) {
        ShowErrMsg(tags::Form_Load);
    }
}

void fmTavoKPortSrv::InitForm()
{
    // The last step of Form_Load, whose trap reports it.
    const ErrorScope scope(tags::InitForm);
    txtOpDate->setText(m_service->site().values.gOPDate);
    move(0, 0);
    txtTavo3MDB->setText(m_service->site().connection.dataSource());
    {
        const QSignalBlocker quiet(tabPage);
        tabPage->setCurrentIndex(kListTab);
        m_currentTab = kListTab;
    }

    m_service->load();
    ui->fg2->setSelectionBehavior(QAbstractItemView::SelectItems);
    txtDefKPort->setText(m_service->port());
    txtShutTime->setText(m_service->shutTime());
    showConfig();
    // The alert quantity leaves no choice of the ticket form.
    if (m_service->config().alertQty())
        chkKPortForm->setVisible(false);
}

// ---- What the service reports

void fmTavoKPortSrv::showConfig()
{
    // As read, not as changed: showing a value saves nothing.
    const core::StationConfig &config = m_service->config();
    const QSignalBlocker printer(txtPrinter), type(txtPrinterType);
    const QSignalBlocker list(chkPrintList), item(chkPrintItem), form(chkKPortForm);
    txtPrinter->setText(config.printer());
    txtPrinterType->setText(config.printerType());
    chkPrintList->setChecked(config.printList());
    chkPrintItem->setChecked(config.printItem());
    chkKPortForm->setChecked(config.orderForm());
}

void fmTavoKPortSrv::showMessage(const QString &text, int beeps)
{
    if (text.isEmpty())
        elaMsg->setCaption({});
    else
        DispElaMsg(*elaMsg, text, beeps);
}

void fmTavoKPortSrv::showTick(const QDateTime &now)
{
    lblMode->setText(now.toString(u"hh:mm:ss"_s));
}

void fmTavoKPortSrv::tickEnded()
{
    if (m_closeHeld) {
        m_closeHeld = false;
        QTimer::singleShot(0, this, [this] { close(); });
    }
}

void fmTavoKPortSrv::showRunning(bool running)
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
    if (!running)
        lblMode->setText(u"STOP"_s);
}

// ---- The operator's buttons

void fmTavoKPortSrv::cmdStart_Click()
{
    m_service->start();
}

void fmTavoKPortSrv::cmdStop_Click()
{
    m_service->stop();
}

void fmTavoKPortSrv::cmdSET_Click()
{
    try {
        const bool settingMode = !m_service->settingMode();
        fgKPort->setEditable(settingMode);
        ui->fgKPort->setBackColor(settingMode ? QColor(255, 255, 128) : QColor(255, 255, 255));
        cmdSET->setText(settingMode ? u"設定完成"_s : u"更改設定"_s);
        cmdTestPrinter->setVisible(settingMode);
        // In setting mode Space and typing act on one cell: the highlight shows which.
        ui->fgKPort->setSelectionBehavior(
            settingMode ? QAbstractItemView::SelectItems : QAbstractItemView::SelectRows);
        ui->fgKPort->setCurrentIndex(ui->fgKPort->currentIndex());
        if (settingMode)
            ui->fgKPort->setFocus();
        m_service->setSettingMode(settingMode);
    } catch (...) {
        ShowErrMsg(tags::fmTavoKPortSrv_cmdSET_Click);
    }
}

void fmTavoKPortSrv::cmdExit_Click()
{
    const QString tag = tags::fmTavoKPortSrv_cmdExit_Click;
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
    m_service->end(tag, requested);
}

void fmTavoKPortSrv::commitData(QSessionManager &)
{
    // The session is ending: the files must exist before the program is told to go.
    m_service->saveGrids(tags::fmTavoKPortSrv_commitData);
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
        ShowErrMsg(tags::fmTavoKPortSrv_Form_QueryUnload);
    }
}

void fmTavoKPortSrv::closeEvent(QCloseEvent *event)
{
    if (m_service->ended()) {
        event->accept();
        return;
    }
    // The exit question must not come between the steps of a scan: the close waits for the tick.
    if (m_service->state() != core::KitchenService::State::Idle) {
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
                m_service->scan();
            else
                m_service->clearOrders();
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
        ShowErrMsg(tags::fmTavoKPortSrv_tabPage_Switch);
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

void fmTavoKPortSrv::txtShutTime_Validate()
{
    try {
        m_service->storeShutTime();
    } catch (...) {
        ShowErrMsg(tags::txtShutTime_Validate);
    }
}

void fmTavoKPortSrv::txtOpDate_DblClick()
{
    try {
        QDate picked;
        if (PickDate && PickDate(picked))
            txtOpDate->setText(DBDateDisp(picked));
    } catch (...) {
        ShowErrMsg(tags::fmTavoKPortSrv_txtOpDate_DblClick);
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
    // No input while the cycle works, so no handler comes between its steps. The input is held
    // back rather than every control disabled, which would take the keyboard focus (and a
    // half-typed restart time) away from the operator every second.
    if (m_service->state() == core::KitchenService::State::Scanning && isInput(type)) {
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
            if (watched == ui->fgKPort && ui->fgKPort->isEditing()) {
                // Enter in an open cell: the editor commits and closes itself once the key is
                // through; moving the cursor now would close it first, under the editor's feet.
                const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
                if (enter)
                    QTimer::singleShot(0, this, [this] { fgKPort_KeyDown(Qt::Key_Return, Qt::NoModifier); });
                return enter;
            }
            if (watched == ui->fgKPort
                && (fgKPort_KeyDown(key->key(), key->modifiers())
                    || (key->modifiers() == Qt::NoModifier && fgKPort_KeyPress(key->key()))))
                return true;
        }
    } else if (watched == txtShutTime && type == QEvent::FocusIn) {
        // After the box has placed its own cursor.
        QTimer::singleShot(0, this, [this] { txtShutTime_GotFocus(); });
    } else if (watched == txtShutTime && type == QEvent::FocusOut) {
        txtShutTime_Validate();
    } else if (watched == txtOpDate && type == QEvent::MouseButtonDblClick) {
        txtOpDate_DblClick();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// ---- Printing

void fmTavoKPortSrv::cmdPrintRow_Click()
{
    const tickets::PrintRowResult result = m_service->reprintSelected();
    if (result.message.isEmpty())
        return;
    PrintRowMsg = result.message;
    // Said where the operator is looking, too: the activity grid is on another page.
    DispElaMsg(*elaMsg, result.message);
}

void fmTavoKPortSrv::cmdPrintTest_Click()
{
    m_service->printTestTickets(PrintBuffer);
    tabPage->setCurrentIndex(kStatsTab);
}

// ---- Shift reports

void fmTavoKPortSrv::showShiftReport(core::KitchenService::ShiftReport report)
{
    m_service->showShiftReport(
        report, txtOpDate->text(), [this] { return std::make_unique<frmVSPBlank>(this); },
        [this](const QString &text) { DispElaMsg(*elaMsg, text); });
}

void fmTavoKPortSrv::cmdPrintShiftItemSum_Click()
{
    showShiftReport(core::KitchenService::ShiftReport::KitchenItems);
}

void fmTavoKPortSrv::cmdPrintShiftRptB_Click()
{
    showShiftReport(core::KitchenService::ShiftReport::BarItems);
}

void fmTavoKPortSrv::cmdPrintShiftSpeed_Click()
{
    showShiftReport(core::KitchenService::ShiftReport::ServiceTimes);
}

} // namespace tavo::gui
