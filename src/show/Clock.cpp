#include "show/Clock.h"

namespace show {

WindowTimer::WindowTimer(QObject *parent)
    : Timer(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Timer::timer);
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

namespace {

class EventLoopClock : public Clock {
public:
    std::unique_ptr<Timer> makeTimer() override { return std::make_unique<WindowTimer>(); }
};

} // namespace

Clock &systemClock()
{
    static EventLoopClock clock;
    return clock;
}

} // namespace show
