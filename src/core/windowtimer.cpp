#include "core/windowtimer.h"

namespace tavo::core {

WindowTimer::WindowTimer(QObject *parent)
    : QObject(parent)
{
    connect(&m_timer, &QTimer::timeout, this, &WindowTimer::Timer);
}

void WindowTimer::setInterval(int ms)
{
    m_interval = std::max(0, ms);
    apply();
}

void WindowTimer::setEnabled(bool enabled)
{
    m_enabled = enabled;
    apply();
}

void WindowTimer::apply()
{
    if (m_enabled && m_interval > 0)
        m_timer.start(m_interval);
    else
        m_timer.stop();
}

} // namespace tavo::core
