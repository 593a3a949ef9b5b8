#pragma once
// SIGTERM and SIGINT (a supervisor stopping the service, Ctrl+C on a console) turned into a Qt
// signal on the event loop, through a socket pair written by the handler: the only safe way
// from a signal handler back to code that saves files.
#include <QObject>

class QSocketNotifier;

namespace tavo::core {

class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers on first use.
    static TerminationSignals &instance();

signals:
    // Nobody listening: the signal gets its default action (the process ends) as before.
    void requested(int signalNumber);

private:
    TerminationSignals();
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace tavo::core
