#pragma once

#include <QObject>

class QSocketNotifier;

namespace sys {

/// The signals that end a program from outside (SIGTERM from a logout or a shutdown, SIGHUP
/// from a closed terminal, SIGINT from Ctrl+C), handed to the thread that made this object as
/// `received`, so the program can close as its user would. The handler itself does nothing but
/// write a byte: a second signal before the program has ended ends it at once, since a close
/// that hangs must not keep a logout waiting. One at a time; the handlers it replaced come back
/// when it goes.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    TerminationSignals(const TerminationSignals &) = delete;
    TerminationSignals &operator=(const TerminationSignals &) = delete;

signals:
    void received(int signalNumber);

private:
    void readSignal();

    QSocketNotifier *m_notifier = nullptr;
};

} // namespace sys
