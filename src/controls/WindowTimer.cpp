#include "controls/WindowTimer.h"

namespace controls {

WindowTimer::WindowTimer(QObject *parent)
    : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &WindowTimer::timer);
}

void WindowTimer::setInterval(int milliseconds)
{
    m_timer.setInterval(milliseconds);
}

void WindowTimer::setEnabled(bool enabled)
{
    if (enabled == m_timer.isActive())
        return;
    if (enabled)
        m_timer.start();
    else
        m_timer.stop();
}

} // namespace controls
