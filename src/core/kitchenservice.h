#pragma once
// The kitchen service itself, apart from any window: the grids' models, the automatic start and
// the one-second cycle, the watched port and its scan bound, the daily restart, the wake from the
// database, saving the grids and ending. Views bind to it: the service window, the headless echo
// and the kitchen display. A view reads the models and follows the signals; it never reaches
// into another view, and the service never runs a view's pending events.
#include "core/windowtimer.h"
#include "platform/gridmodel.h"

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>

namespace tavo::db {
class Connection;
}

namespace tavo::kds {
class KitchenDisplay;
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

    static constexpr int kStartDelayMs = 30000;
    static constexpr int kCycleMs = 1000;

    // All SQL of the service (scans, parameters, the port grid, the wake) runs on `cnt`.
    explicit KitchenService(db::Connection &cnt, QObject *parent = nullptr);
    ~KitchenService() override;

    // ---- The models the views show.
    platform::GridModel &orders() { return m_orders; } // fg1: the watched port's listed rows
    platform::GridModel &activity() { return m_activity; } // fgLog
    platform::GridModel &shifts() { return m_shifts; } // fg2: TavoC_fg2.CSV
    platform::GridModel &ports() { return m_ports; } // fgKPort
    platform::GridModel &testedPrinters() { return m_testedPrinters; } // fgPrinterList

    // Reads the settings and parameters, fills the grids, lists the watched port once and arms
    // the automatic start.
    void load();

    // ---- Running.
    // Starts the cycle; false (with the reason on the message panel) when `startRefusal` says no.
    bool start();
    // Starts the service when its automatic start was refused; called once the reason is gone.
    void startIfRefused()
    {
        if (m_startRefused)
            start();
    }
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
    // Runs an operator's print job: no scan, wake or end comes between its steps.
    void print(const std::function<void()> &job);

    State state() const { return m_state; }
    double cycleTime() const { return m_cycleTime; } // ticks between scans, 1..5
    WindowTimer &cycleTimer() { return m_cycle; }
    WindowTimer &startTimer() { return m_start; }

    // ---- What the operator sets.
    // The watched port; another port than before makes the next scan a first scan. Saved.
    void setPort(const QString &port);
    QString port() const { return m_port; }
    // Whether the cycle lists new rows ("列印菜條").
    void setListing(bool on) { m_listing = on; }
    bool listing() const { return m_listing; }
    // The daily restart time as typed; only a text equal to the clock's "hh:mm" restarts.
    void setShutTime(const QString &text) { m_shutTime = text; }
    QString shutTime() const { return m_shutTime; }
    // Consulted by start(): a non-empty text refuses the start and is shown.
    std::function<QString()> startRefusal;

    // Appends one row (now, type, message) to the activity list.
    void writeActivity(const QString &type, const QString &msg);

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
    static QString orderFilePath(const QDateTime &when);
    static QString logFilePath(const QDateTime &when);
    // Ends the process: QCoreApplication::exit once the event loop runs; tests record it.
    std::function<void(int)> quit;

    // ---- The wake. On unless setting "TavoC"/"WakeOnCommit" is "N".
    // How the database wakes the service: "SQLite", "PostgreSQL", or empty (the cycle alone).
    QString wakeSource() const;
    // The kitchen display, when the settings turn it on and it listens; null otherwise.
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
    // Rows `first` .. `first + count - 1` of orders() were listed by a scan.
    void rowsListed(int first, int count);
    // The order list was emptied (a first scan, or the list page opened while not listing).
    void ordersReset();
    // The watched port changed; the order list starts anew at the next scan.
    void portChanged(const QString &port);

private:
    void setState(State state);
    bool scanNow();
    void refreshDisplay();
    void woken();
    void restartComputer(const QDateTime &now);
    void keepEarlierRunsList(const QString &path, const QString &tag);
    void updateWake();

    db::Connection &m_cnt;
    platform::GridModel m_orders, m_activity, m_shifts, m_ports, m_testedPrinters;
    WindowTimer m_cycle;
    WindowTimer m_start;
    std::unique_ptr<DatabaseWake> m_wake;
    std::unique_ptr<kds::KitchenDisplay> m_display; // the kitchen's screens, when [KDS] turns them on
    bool m_startRefused = false; // the automatic start came while start() was refused
    State m_state = State::Idle;
    bool m_running = false;
    bool m_listing = false;
    bool m_endHeld = false;
    bool m_wakeHeld = false;
    double m_cycleTime = 4;
    int m_cycleCount = 0;
    QString m_port;
    QString m_shutTime;
    QString m_restartMinute; // the "yyyyMMddhhmm" of the last restart asked
    QSet<QString> m_written; // the order lists this run has saved
};

} // namespace tavo::core
