#include "system/Memory.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <unistd.h>

#include <algorithm>

namespace sys {

namespace {

// Version 1 says "unlimited" with a page-rounded maximum of the counter.
constexpr qint64 kUnlimited = qint64(1) << 60;

QByteArray readSmallFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) ? file.read(4096) : QByteArray();
}

// The tightest limit from a group up to the root of its hierarchy: a group may be unlimited
// itself and still sit inside a limited one.
qint64 tightestOnTheWayUp(const QString &root, QString group, const QString &file)
{
    qint64 tightest = -1;
    for (;;) {
        const qint64 limit =
            parseCgroupLimit(readSmallFile(root + group + QLatin1Char('/') + file));
        if (limit > 0 && (tightest < 0 || limit < tightest))
            tightest = limit;
        if (group.isEmpty() || group == QLatin1String("/"))
            return tightest;
        group.truncate(std::max(0, int(group.lastIndexOf(QLatin1Char('/')))));
    }
}

qint64 cgroupLimit()
{
    qint64 tightest = -1;
    const auto tighten = [&tightest](qint64 limit) {
        if (limit > 0 && (tightest < 0 || limit < tightest))
            tightest = limit;
    };
    // Lines of "id:controllers:path"; version 2's has id 0 and no controllers.
    for (const QByteArray &line : readSmallFile(QStringLiteral("/proc/self/cgroup")).split('\n')) {
        const QList<QByteArray> fields = line.split(':');
        if (fields.size() < 3)
            continue;
        const QString path = QString::fromUtf8(line.mid(fields[0].size() + fields[1].size() + 2));
        if (fields[0] == "0" && fields[1].isEmpty()) {
            tighten(tightestOnTheWayUp(QStringLiteral("/sys/fs/cgroup"), path,
                                       QStringLiteral("memory.max")));
            tighten(tightestOnTheWayUp(QStringLiteral("/sys/fs/cgroup/unified"), path,
                                       QStringLiteral("memory.max")));
        } else if (fields[1].split(',').contains("memory")) {
            tighten(tightestOnTheWayUp(QStringLiteral("/sys/fs/cgroup/memory"), path,
                                       QStringLiteral("memory.limit_in_bytes")));
        }
    }
    return tightest;
}

qint64 machineMemory()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? qint64(pages) * pageSize : kUnlimited;
}

} // namespace

qint64 parseCgroupLimit(const QByteArray &text)
{
    bool ok = false;
    const qint64 limit = text.trimmed().toLongLong(&ok);
    return ok && limit > 0 && limit < kUnlimited ? limit : -1;
}

qint64 memoryLimitBytes()
{
    const qint64 machine = machineMemory();
    const qint64 group = cgroupLimit();
    return group > 0 ? std::min(group, machine) : machine;
}

qint64 residentBytes()
{
    // "size resident shared ..." in pages.
    const QList<QByteArray> fields = readSmallFile(QStringLiteral("/proc/self/statm")).split(' ');
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    return fields.size() > 1 && pageSize > 0 ? fields[1].toLongLong() * pageSize : 0;
}

} // namespace sys
