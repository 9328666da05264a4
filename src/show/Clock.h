#pragma once

#include <QObject>
#include <QTimer>

#include <memory>

namespace show {

/// A window timer: ticks on the user-interface thread while enabled; enabling it starts a
/// full interval.
class Timer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    /// Interval in milliseconds.
    virtual int interval() const = 0;
    virtual void setInterval(int milliseconds) = 0;
    virtual bool isEnabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    /// Milliseconds until the next tick; -1 while disabled.
    virtual int remainingTime() const = 0;

signals:
    void timer();
};

/// Where the show's timers come from, so that a test can run a show on time of its own.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::unique_ptr<Timer> makeTimer() = 0;
};

/// The clock of the event loop.
Clock &systemClock();

/// The event loop's timer.
class WindowTimer : public Timer {
    Q_OBJECT
public:
    explicit WindowTimer(QObject *parent = nullptr);

    int interval() const override { return m_timer.interval(); }
    void setInterval(int milliseconds) override;
    bool isEnabled() const override { return m_timer.isActive(); }
    void setEnabled(bool enabled) override;
    int remainingTime() const override { return m_timer.remainingTime(); }

private:
    QTimer m_timer;
};

} // namespace show
