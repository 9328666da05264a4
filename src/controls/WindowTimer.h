#pragma once

#include <QObject>
#include <QTimer>

namespace controls {

/// A window timer: ticks on the user-interface thread while enabled; enabling it starts a
/// full interval.
class WindowTimer : public QObject {
    Q_OBJECT
public:
    explicit WindowTimer(QObject *parent = nullptr);

    /// Interval in milliseconds.
    int interval() const { return m_timer.interval(); }
    void setInterval(int milliseconds);

    bool isEnabled() const { return m_timer.isActive(); }
    /// Milliseconds until the next tick; -1 while disabled.
    int remainingTime() const { return m_timer.remainingTime(); }
    void setEnabled(bool enabled);

signals:
    void timer();

private:
    QTimer m_timer;
};

} // namespace controls
