#pragma once

// What only the benchmark and the soak measure with; what they share with the tests is in
// support/TestSupport.h.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtGlobal>

#include <algorithm>
#include <limits>
#include <vector>

/// A wait without a bound, for waitForPictures: the figures are only worth having whole.
constexpr int kForever = std::numeric_limits<int>::max();

/// A figure of a process's status file in kilobytes ("VmRSS:", "VmHWM:"); -1 when unknown.
inline qint64 statusKb(const char *field, const QString &file = QStringLiteral("/proc/self/status"))
{
    QFile status(file);
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
