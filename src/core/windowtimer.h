#pragma once
// A window timer as the forms use it: it ticks every Interval milliseconds while Enabled, and
// an Interval of 0 leaves it idle whatever Enabled says. Setting either starts the count anew.
#include <QObject>
#include <QTimer>

namespace tavo::core {

class WindowTimer : public QObject {
    Q_OBJECT
public:
    explicit WindowTimer(QObject *parent = nullptr);

    int Interval() const { return m_interval; }
    void setInterval(int ms);
    bool Enabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    // Whether ticks are coming.
    bool isTicking() const { return m_timer.isActive(); }

signals:
    void Timer();

private:
    void apply();

    QTimer m_timer;
    int m_interval = 0;
    bool m_enabled = true;
};

} // namespace tavo::core
