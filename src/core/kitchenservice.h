#pragma once
// The kitchen service itself, apart from any window: the grids' models, the automatic start and
// the one-second cycle, the watched port and its scan bound, the daily restart, the wake from the
// database, the kitchen's screens, saving the grids and ending. Views bind to it: the service
// window, the headless echo and the kitchen display. A view reads the models and follows the
// signals; it never reaches into another view, and the service never runs a view's pending events.
#include "core/stationconfig.h"
#include "core/windowtimer.h"
#include "db/site.h"
#include "kport/portgrid.h"
#include "platform/gridmodel.h"
#include "print/printsurface.h"
#include "reports/shiftreport.h"
#include "tickets/reprint.h"
#include "tickets/testticket.h"
#include "watch/orderwatch.h"

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

namespace tavo::kds {
class KitchenDisplay;
}

namespace tavo::tickets {
class KitchenTicketPrinter;
}

namespace tavo::core {

class DatabaseWake;

class KitchenService : public QObject {
    Q_OBJECT
public:
    // One state instead of a flag per activity. Every state but Idle holds back an end request
    // and a wake, which are served as soon as the service is idle again.
    enum class State { Idle, Loading, Scanning, Printing, Ending };
    Q_ENUM(State)
    // Whether the watch keeps its list, as the kitchen is told: before the automatic start, in
    // setting mode, stopped, or running without "列印菜條", no new order is listed.
    enum class WatchState { Waiting, Setting, Listing, NotListing, Stopped };
    Q_ENUM(WatchState)

    static constexpr int kStartDelayMs = 30000;
    static constexpr int kCycleMs = 1000;
    // How often the kitchen's screens read the table when the database does not wake them.
    static constexpr int kFollowMs = 1000;

    // All SQL of the service (scans, parameters, the port grid, the wake) runs on the site's
    // connection; the site's folder holds its lists and files.
    explicit KitchenService(const Site &site, QObject *parent = nullptr);
    ~KitchenService() override;

    // ---- The models the views show.
    platform::GridModel &orders() { return m_orders; } // fg1: the watched port's listed rows
    // How far the scans of the watched port have read.
    const watch::ScanBound &scanBound() const { return m_bound; }
    platform::GridModel &activity() { return m_activity; } // fgLog
    platform::GridModel &shifts() { return m_shifts; } // fg2: TavoC_fg2.CSV
    platform::GridModel &ports() { return m_ports; } // fgKPort
    platform::GridModel &testedPrinters() { return m_testedPrinters; } // fgPrinterList

    // What the service works with: the site's values, its connection and the machine's seams.
    const Site &site() const { return m_site; }

    // Reads the settings and parameters, fills the grids, lists the watched port once and arms
    // the automatic start.
    void load();

    // ---- Running.
    // Starts the cycle; false (with the reason on the message panel) in setting mode.
    bool start();
    // Stops the cycle, after the one-second wait the operators are used to.
    void stop();
    bool running() const { return m_running; }
    // One tick of the cycle (the cycle timer calls it every second while running).
    void tick();
    // One scan of the watched port, when the service is idle; false when it is busy or the scan
    // failed.
    bool scan();
    // Empties the order list; the bound stays, so older rows do not come back.
    void clearOrders();
    // Runs an operator's print job: no scan, wake or end comes between its steps; they wait for
    // its end. False (and a line in the text log) when the service was busy and the job not run.
    bool print(const std::function<void()> &job);
    // The printer of kitchen tickets, made on its first use and kept for the life of the service.
    tickets::KitchenTicketPrinter &ticketPrinter();

    State state() const { return m_state; }
    double cycleTime() const { return m_cycleTime; } // ticks between scans, 1..5
    WindowTimer &cycleTimer() { return m_cycle; }
    WindowTimer &startTimer() { return m_start; }
    QTimer &followTimer() { return m_follow; }

    // ---- What the operator sets.
    // The station's configuration, read at the load; edited through it or the setters below.
    StationConfig &config() { return m_config; }
    // The watched port; another port than before makes the next scan a first scan. Saved.
    void setPort(const QString &port);
    QString port() const { return m_config.port(); }
    // Whether the cycle lists new rows ("列印菜條"), for this run; the box saves it in config().
    void setListing(bool on);
    bool listing() const { return m_listing; }
    // The operator is changing the port grid ("更改設定"): the service does not start meanwhile,
    // and an automatic start refused for it comes when the mode is left.
    void setSettingMode(bool on);
    bool settingMode() const { return m_settingMode; }
    WatchState watchState() const { return m_watchState; }
    // What the kitchen's screens say of the watch in `state`; empty while it lists.
    static QString watchNotice(WatchState state);
    // The daily restart time as typed; only a text equal to the clock's "hh:mm" restarts.
    // storeShutTime() saves it, unless blank.
    void setShutTime(const QString &text) { m_config.setShutTime(text); }
    void storeShutTime() { m_config.storeShutTime(); }
    QString shutTime() const { return m_config.shutTime(); }
    // Appends one row (now, type, message) to the activity list.
    void writeActivity(const QString &type, const QString &msg);

    // ---- The operator's operations. Each print runs as a print job (see print()).
    // The port grid: one cell, a new row, a row deleted; the grid shows what the table holds.
    kport::WriteError setPortCell(int row, int col, const QString &text);
    kport::WriteError insertPort();
    kport::WriteError deletePort(int row);
    // The port of grid row `row` becomes the watched port, with its flags and, when the station
    // has a printer, its printer and type. Everything is saved.
    void watchPortOfRow(int row);
    // Every job of `oldPrinter` goes to `newPrinter`; the port grid is read again. The rows moved.
    int redirectPrinter(const QString &oldPrinter, const QString &newPrinter);
    // "補印送廚": the selected rows of the order list (or the cursor row) on the station's
    // printer, logged under the port's "送廚".
    tickets::PrintRowResult reprintSelected();
    // A test ticket of the order `entry` on every printer of the port grid, listed in
    // testedPrinters().
    void printTestTickets(tickets::OrderBuffer &entry);
    // A test ticket of the order `entry` on the printer of port grid row `row`; the refusal in
    // words when there is none to print. `starting` runs just before the ticket is sent.
    QString printTestTicket(int row, tickets::OrderBuffer &entry, const std::function<void()> &starting);
    // The shift reports over shifts()' cursor row on the business date `opDate`, on the
    // station's printer, each shown in a new preview.
    enum class ShiftReport { KitchenItems, BarItems, ServiceTimes };
    reports::ReportOutcome showShiftReport(ShiftReport report, const QString &opDate,
        const reports::PreviewFactory &newPreview, const reports::MessageFlash &flash);
    // The surface the tickets of the operations are drawn on; its devices are the printers.
    print::PrintSurface &surface() { return m_surface; }

    // ---- Ending.
    // Ends as a confirmed exit does: both grids saved under the names of `requested`, then quit.
    void end(const QString &tag, const QDateTime &requested);
    // The system asks the program to end (SIGTERM, SIGINT, the session, the application quitting):
    // no question; held while the service is busy and served when it is idle.
    void requestEnd();
    bool ended() const { return m_state == State::Ending; }
    // Saves the order list and the activity list in <dir>/LOG (KPS<day>.TXT, L<day_time>.TXT).
    // A file that cannot be written there goes to <dir>, then to the temporary folder; every
    // failure is in the error log. True when both grids reached a file.
    bool saveGrids(const QString &tag);
    bool saveGrids(const QString &tag, const QDateTime &when);
    QString orderFilePath(const QDateTime &when) const;
    QString logFilePath(const QDateTime &when) const;
    // Ends the process: QCoreApplication::exit once the event loop runs; tests record it.
    std::function<void(int)> quit;

    // ---- The wake. On unless setting "TavoC"/"WakeOnCommit" is "N": while the service runs,
    // and with the kitchen display on from the load to the end.
    // How the database wakes the service: "SQLite", "PostgreSQL", or empty (the cycle alone).
    QString wakeSource() const;
    // The kitchen display, when the settings turn it on and it listens; null otherwise. It
    // follows ORDERI whatever the watch does: woken by the database when the watch lists
    // nothing, and every kFollowMs where no wake can be trusted.
    kds::KitchenDisplay *display() const { return m_display.get(); }

signals:
    void stateChanged(tavo::core::KitchenService::State state);
    void runningChanged(bool running);
    // For the message panel: an empty text clears it; a text flashes with `beeps` beeps.
    void message(const QString &text, int beeps);
    // A tick began at `now` (the clock shown while running).
    void ticked(const QDateTime &now);
    // The tick is over and the service idle again.
    void tickEnded();
    // The business date read by the cycle, as shown.
    void businessDate(const QString &shown);
    // The captions of orders()' columns, once at the load, before any row is listed.
    void orderCaptions(const QStringList &captions);
    // One row was appended to orders(), told as the scan appends it.
    void rowListed(const QStringList &cells);
    // Rows `first` .. `first + count - 1` of orders() were listed by a scan.
    void rowsListed(int first, int count);
    // The order list was emptied (a first scan, or the list page opened while not listing).
    void ordersReset();
    // The watched port changed; the order list starts anew at the next scan.
    void portChanged(const QString &port);
    void watchStateChanged(tavo::core::KitchenService::WatchState state);
    // One row was appended to the activity list.
    void activityWritten(const QStringList &cells);
    // The service has loaded, and it has ended: a line for a view that tells them.
    void announced(const QString &text);
    // The kitchen display's address as the load started it, or why it does not listen.
    void displayAnnounced(const QString &line);

private:
    void setState(State state);
    bool scanNow();
    bool refreshDisplay();
    void woken();
    void followTable();
    void updateWatchState();
    void restartComputer(const QDateTime &now);
    void keepEarlierRunsList(const QString &path, const QString &tag);
    void updateWake();
    tickets::FGLogWriter activityWriter();

    Site m_site;
    StationConfig m_config;
    print::PrintSurface m_surface; // the tickets of the operator's operations
    platform::GridModel m_orders, m_activity, m_shifts, m_ports, m_testedPrinters;
    watch::ScanBound m_bound; // of m_orders
    WindowTimer m_cycle;
    WindowTimer m_start;
    QTimer m_follow; // the kitchen's screens, where the database cannot be trusted to wake them
    std::unique_ptr<DatabaseWake> m_wake;
    std::unique_ptr<tickets::KitchenTicketPrinter> m_ticketPrinter;
    std::unique_ptr<kds::KitchenDisplay> m_display; // the kitchen's screens, when [KDS] turns them on
    bool m_startRefused = false; // the automatic start came while start() was refused
    State m_state = State::Idle;
    bool m_running = false;
    bool m_listing = false;
    bool m_hasRun = false;
    bool m_wakeOnCommit = true; // setting "TavoC"/"WakeOnCommit", read at the load and at each start
    bool m_settingMode = false;
    WatchState m_watchState = WatchState::Waiting;
    bool m_endHeld = false;
    bool m_wakeHeld = false;
    double m_cycleTime = 4;
    int m_cycleCount = 0;
    QString m_restartMinute; // the "yyyyMMddhhmm" of the last restart asked
    QSet<QString> m_written; // the order lists this run has saved
};

} // namespace tavo::core
