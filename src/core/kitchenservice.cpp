#include "core/kitchenservice.h"

#include "core/databasewake.h"
#include "core/terminationsignals.h"
#include "db/connection.h"
#include "db/dbglobals.h"
#include "db/valuetext.h"
#include "kds/kitchendisplay.h"
#include "kport/portgrid.h"
#include "platform/gridfiles.h"
#include "platform/services.h"
#include "tickets/kitchenticketprinter.h"
#include "util/dates.h"
#include "util/globals.h"
#include "util/grids.h"
#include "util/machine.h"
#include "util/report.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace tavo::core {

namespace {

// Without "列印菜條" ticked the cycle lists nothing: a new site must hear why its list stays empty.
const QString kNotChecking = u"列印菜條未勾選, 不檢查新點單"_s;

// Saves to `path`; when its folder cannot take it, to the program folder, then to the temporary
// folder: a day's list is worth more than the place it lands in. Every miss is in the error log.
bool saveSomewhere(
    const platform::GridModel &grid, const QString &path, const QString &siteFolder, const QString &tag)
{
    const QString name = QFileInfo(path).fileName();
    const QString folder = QFileInfo(path).absolutePath();
    const QStringList places { path, path, siteFolder + u'/' + name, QDir::temp().filePath(name) };
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

KitchenService::KitchenService(const Site &site, QObject *parent)
    : QObject(parent)
    , m_site(site)
    , m_config(*site.services.settings)
    , m_wake(std::make_unique<DatabaseWake>(site.connection))
{
    // An end asked for while the service is still loading comes before the event loop exists,
    // where exit() is ignored and the program would run on with its grids saved and every later
    // request refused: the exit waits for the loop.
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
    connect(&m_cycle, &WindowTimer::Timer, this, &KitchenService::tick);
    connect(&m_start, &WindowTimer::Timer, this, [this] {
        try {
            WriteLog(tags::TimerStart_Timer);
            m_start.setInterval(0);
            m_start.setEnabled(false);
            m_startRefused = !start();
        } catch (...) {
            WriteErrLog(tags::TimerStart_Timer);
        }
    });
    connect(m_wake.get(), &DatabaseWake::changed, this, &KitchenService::woken);
    m_follow.setInterval(kFollowMs);
    connect(&m_follow, &QTimer::timeout, this, &KitchenService::followTable);
    connect(
        &TerminationSignals::instance(), &TerminationSignals::requested, this, [this](int) { requestEnd(); });
    if (QCoreApplication *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [this] { requestEnd(); });
}

KitchenService::~KitchenService() = default;

void KitchenService::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
    if (state != State::Idle)
        return;
    // What came while the service was busy, in order of weight.
    if (std::exchange(m_endHeld, false))
        requestEnd();
    else if (std::exchange(m_wakeHeld, false))
        QTimer::singleShot(0, this, &KitchenService::woken);
}

void KitchenService::load()
{
    setState(State::Loading);
    try {
        const QString shiftFile = m_site.values.gAppDir + u"/TavoC_fg2.CSV"_s;
        m_shifts.setColumns(grids::ShiftTable::columns);
        if (QFileInfo::exists(shiftFile)) {
            try {
                platform::loadCsv(m_shifts, shiftFile);
            } catch (...) {
                // The shift table is only a convenience here: note it and go on without it.
                WriteErrLog(tags::InitForm);
            }
        }
        m_shifts.setEditable(true);

        kport::LoadPortGrid(m_ports, m_site.connection, *m_site.services.settings);
        m_testedPrinters.setColumns(grids::TestedPrinters::columns);

        m_config.read(m_site.connection);
        m_listing = m_config.printItem();
        m_wakeOnCommit = m_config.readWakeOnCommit();

        // The first listing runs whatever "列印菜條" says.
        watch::InitFG1(m_orders);
        emit orderCaptions(m_orders.rowCells(0));
        scanNow();
        if (m_orders.Rows() > 1)
            m_orders.setRow(1);

        QString cycle;
        m_cycleTime = getParamValue(u"KPCycleTime"_s, cycle, m_site.connection) ? db::basicVal(cycle) : 4;
        m_cycleTime = std::clamp(m_cycleTime, 1.0, 5.0);

        m_activity.setColumns(grids::ActivityList::columns);
        m_activity.setRows(1);
        m_activity.AutoSize();

        // The kitchen's screens follow the table from here to the end, and say whether the
        // watch keeps its list meanwhile.
        m_display = kds::kitchenDisplayFromSettings(m_site, this);
        if (m_display) {
            connect(
                m_display.get(), &kds::KitchenDisplay::announced, this, &KitchenService::displayAnnounced);
            if (!m_display->startAndAnnounce())
                m_display.reset();
        }
        if (m_display) {
            m_display->setWatchNotice(watchNotice(m_watchState));
            connect(this, &KitchenService::watchStateChanged, m_display.get(),
                [display = m_display.get()](
                    WatchState state) { display->setWatchNotice(watchNotice(state)); });
            refreshDisplay();
            updateWake();
            m_follow.start();
        }

        m_start.setInterval(kStartDelayMs);
        emit message(u"本作業30秒後自動啟動"_s, 2);
        emit announced(u"服務程式已載入: "_s + m_site.values.gAppDir + u", 監控送廚出口 "_s + port());
    } catch (...) {
        ShowErrMsg(tags::InitForm);
    }
    setState(State::Idle);
}

bool KitchenService::start()
{
    try {
        if (m_settingMode) {
            emit message(u"請先按[設定完成]鈕"_s, 2);
            return false;
        }
        emit message({}, 0);
        m_start.setInterval(0);
        m_start.setEnabled(false);
        m_running = true;
        m_hasRun = true;
        emit runningChanged(true);
        updateWatchState();
        m_cycle.setInterval(kCycleMs);
        // Read again at each start, so a site can switch the wake without ending the program;
        // the cycle and the display's timer only consult what was read.
        m_wakeOnCommit = m_config.readWakeOnCommit();
        updateWake();
        m_startRefused = false;
        if (!m_listing)
            emit message(kNotChecking, 2);
        return true;
    } catch (...) {
        ShowErrMsg(tags::fmTavoKPortSrv_cmdStart_Click);
        return false;
    }
}

void KitchenService::stop()
{
    try {
        m_cycle.setInterval(0);
        m_running = false;
        updateWatchState();
        updateWake();
        Delay(1);
        emit runningChanged(false);
        emit message({}, 0);
    } catch (...) {
        ShowErrMsg(tags::fmTavoKPortSrv_cmdStop_Click);
    }
}

void KitchenService::tick()
{
    if (m_state != State::Idle)
        return;
    emit ticked(m_site.services.clock->now());
    emit message({}, 0);
    m_cycle.setEnabled(false);
    setState(State::Scanning);
    try {
        ++m_cycleCount;
        if (m_cycleCount >= m_cycleTime) {
            const QDateTime now = m_site.services.clock->now();
            if (now.toString(u"hh:mm"_s) == shutTime())
                restartComputer(now);
            QString opDate;
            emit businessDate(getParamValue(u"OPDATE"_s, opDate, m_site.connection) ? DBDateDisp(opDate)
                                                                                    : DBDateDisp(now.date()));
            m_cycleCount = 0;
            emit message(m_listing ? u"檢查新點單資料.."_s : kNotChecking, 0);
            if (m_listing)
                scanNow();
            // A link opened anew after an outage has forgotten what it listened to.
            updateWake();
        }
    } catch (...) {
        WriteErrLog(tags::Timer1_Timer);
    }
    m_cycle.setEnabled(true);
    setState(State::Idle);
    if (m_state == State::Idle)
        emit tickEnded();
}

bool KitchenService::scan()
{
    if (m_state != State::Idle)
        return false;
    setState(State::Scanning);
    const bool listed = scanNow();
    setState(State::Idle);
    return listed;
}

bool KitchenService::scanNow()
{
    const bool firstScan = m_bound.isNone();
    const int before = firstScan ? m_orders.FixedRows() : m_orders.Rows();
    const bool listed = watch::AddFG1(m_orders, m_bound, port(), m_site.connection,
        [this](const QStringList &cells) { emit rowListed(cells); });
    // A first scan empties the list before it fills it.
    if (firstScan)
        emit ordersReset();
    if (m_orders.Rows() > before)
        emit rowsListed(before, m_orders.Rows() - before);
    // Also when nothing was listed: an order closed or changed at the POS leaves the screens.
    refreshDisplay();
    return listed;
}

bool KitchenService::refreshDisplay()
{
    if (!m_display)
        return false;
    m_display->setPort(port());
    return m_display->refresh();
}

void KitchenService::woken()
{
    if (m_state == State::Ending)
        return;
    if (m_state != State::Idle) {
        m_wakeHeld = true;
        return;
    }
    bool changed = false;
    if (m_running && m_listing) {
        const int before = m_orders.Rows();
        scan();
        changed = m_orders.Rows() > before;
    } else {
        // The watch lists nothing now, and its list stays as it is: only the screens follow.
        changed = refreshDisplay();
    }
    // A commit that lands while the service's own statements run can have its notice read with
    // their answers, where no wake is raised for it: while rows keep coming, look once more.
    if (changed && m_wake->mayMissDuringScan())
        QTimer::singleShot(0, this, &KitchenService::woken);
}

void KitchenService::followTable()
{
    // Between the steps of a scan or a print job nothing else runs on the connection.
    if (m_state != State::Idle)
        return;
    // A link opened anew after an outage has forgotten what it listened to.
    updateWake();
    // No wake, or one that can pass a commit by unannounced: the screens look for themselves.
    if (m_wake->source().isEmpty() || m_wake->mayMissDuringScan())
        refreshDisplay();
}

void KitchenService::updateWake()
{
    const bool wanted = (m_running || m_display) && m_state != State::Ending && m_wakeOnCommit;
    if (wanted)
        m_wake->start();
    else
        m_wake->stop();
}

QString KitchenService::wakeSource() const
{
    return m_wake->source();
}

void KitchenService::setListing(bool on)
{
    m_listing = on;
    updateWatchState();
}

void KitchenService::setSettingMode(bool on)
{
    m_settingMode = on;
    updateWatchState();
    if (!on && m_startRefused)
        start();
}

void KitchenService::updateWatchState()
{
    WatchState state = m_hasRun ? WatchState::Stopped : WatchState::Waiting;
    if (m_running)
        state = m_listing ? WatchState::Listing : WatchState::NotListing;
    else if (m_settingMode)
        state = WatchState::Setting;
    if (state == m_watchState)
        return;
    m_watchState = state;
    emit watchStateChanged(state);
}

QString KitchenService::watchNotice(WatchState state)
{
    switch (state) {
    case WatchState::Waiting:
        return u"點單監看尚未啟動"_s;
    case WatchState::Setting:
        return u"設定中, 點單監看未啟動"_s;
    case WatchState::NotListing:
        return kNotChecking;
    case WatchState::Stopped:
        return u"點單監看已暫停"_s;
    case WatchState::Listing:
        break;
    }
    return {};
}

void KitchenService::clearOrders()
{
    m_orders.setRows(m_orders.FixedRows());
    emit ordersReset();
}

bool KitchenService::print(const std::function<void()> &job)
{
    if (m_state != State::Idle) {
        WriteLog(u"KitchenService_print: busy, job not run"_s);
        return false;
    }
    setState(State::Printing);
    try {
        job();
    } catch (...) {
        setState(State::Idle);
        throw;
    }
    setState(State::Idle);
    return true;
}

tickets::KitchenTicketPrinter &KitchenService::ticketPrinter()
{
    if (!m_ticketPrinter)
        m_ticketPrinter = std::make_unique<tickets::KitchenTicketPrinter>(m_site);
    return *m_ticketPrinter;
}

void KitchenService::setPort(const QString &port)
{
    const bool another = port != this->port();
    m_config.setPort(port);
    if (!another)
        return;
    // Another port: the next scan is a first scan of it.
    m_bound.reset();
    emit portChanged(port);
    // The screens show the new port's orders now, not at the next commit.
    if (m_state == State::Idle)
        refreshDisplay();
}

void KitchenService::writeActivity(const QString &type, const QString &msg)
{
    try {
        const QStringList cells { m_site.services.clock->now().toString(u"yyyy/MM/dd hh:mm:ss"_s), type,
            msg };
        m_activity.addRow(cells);
        m_activity.AutoSize(grids::ActivityList::Time, grids::ActivityList::Type);
        emit activityWritten(cells);
    } catch (...) {
        ShowErrMsg(tags::fmTavoKPortSrv_WriteFGLog);
    }
}

tickets::FGLogWriter KitchenService::activityWriter()
{
    return [this](const QString &type, const QString &msg) { writeActivity(type, msg); };
}

void KitchenService::restartComputer(const QDateTime &now)
{
    // Asked once in the minute: a machine going down needs no second request, and a refusal is
    // not turned round by asking again every cycle (nor would its report be worth repeating).
    const QString minute = now.toString(u"yyyyMMddhhmm"_s);
    if (minute == m_restartMinute)
        return;
    m_restartMinute = minute;
    // The forced restart closes the program without asking it: the day's grids go to their
    // files first, as at a confirmed exit.
    saveGrids(tags::Timer1_Timer);
    QString refusal;
    if (ShutdownWindows(true, true, &refusal))
        return;
    // Refused (an operator outside the group of the package's polkit rule, no logind): the error
    // log has the system's reason; the kitchen must hear that the machine stays up.
    writeActivity(u"自動重開機"_s, u"重開機失敗: "_s + refusal);
    emit message(u"自動重開機失敗, 電腦未重新開機: "_s + refusal, 2);
}

// ---- Ending

QString KitchenService::orderFilePath(const QDateTime &when) const
{
    return m_site.values.gAppDir + u"/LOG/KPS"_s + when.toString(u"yyyyMMdd"_s) + u".TXT"_s;
}

QString KitchenService::logFilePath(const QDateTime &when) const
{
    return m_site.values.gAppDir + u"/LOG/L"_s + when.toString(u"yyyyMMdd_hhmm"_s) + u".TXT"_s;
}

// A list of the same day left by an earlier run keeps a name of its own (its time of writing
// added), so a second start does not wipe out the first run's orders. A file this run wrote
// itself is simply brought up to date.
void KitchenService::keepEarlierRunsList(const QString &path, const QString &tag)
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

bool KitchenService::saveGrids(const QString &tag)
{
    return saveGrids(tag, m_site.services.clock->now());
}

bool KitchenService::saveGrids(const QString &tag, const QDateTime &when)
{
    const QString orderFile = orderFilePath(when);
    keepEarlierRunsList(orderFile, tag);
    const bool order = saveSomewhere(m_orders, orderFile, m_site.values.gAppDir, tag);
    if (order)
        m_written.insert(QFileInfo(orderFile).absoluteFilePath());
    const bool log = saveSomewhere(m_activity, logFilePath(when), m_site.values.gAppDir, tag);
    return order && log;
}

void KitchenService::end(const QString &tag, const QDateTime &requested)
{
    if (m_state == State::Ending)
        return;
    setState(State::Ending);
    m_cycle.setInterval(0);
    m_start.setInterval(0);
    m_follow.stop();
    m_wake->stop();
    emit message({}, 0);
    saveGrids(tag, requested);
    emit announced(u"服務程式結束"_s);
    quit(0);
}

void KitchenService::requestEnd()
{
    if (m_state == State::Ending)
        return;
    // Nobody answers a box for a program told to end: one open now (the scan's error box above
    // all) or one still to come must not hold the end.
    m_site.services.prompter->dismissAll();
    // A scan half done would leave its last rows out of the saved list: it ends first.
    if (m_state != State::Idle) {
        m_endHeld = true;
        return;
    }
    end(tags::fmTavoKPortSrv_endOnRequest, m_site.services.clock->now());
}

} // namespace tavo::core
