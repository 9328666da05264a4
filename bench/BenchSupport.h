#pragma once

#include "system/Process.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <vector>

/// A figure of /proc/self/status in kilobytes ("VmRSS:", "VmHWM:"); -1 when unknown.
inline qint64 statusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

/// The middle value, or the mean of the two middle ones; 0 for none.
inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0.0 : (n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0);
}

/// Runs offscreen unless told otherwise; call before the application object is made.
inline void runOffscreen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

/// Lets the window's event loop run until its show has the pictures it asked for on screen: a
/// tick or a step waits for its picture to decode on the worker.
template <typename Window> void waitForPictures(Window &window)
{
    while (window.isLoading())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    // Without an event loop of its own, what was left to be deleted later would pile up.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

/// Keeps the measured windows' settings in a scratch folder and closing them from ending us.
inline void keepSettingsIn(const QString &folder)
{
    sys::setApplicationFile(folder + QStringLiteral("/pelmora"));
    sys::setProcessEnder([] {});
}
