#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace sys {

/// The most memory this process may hold: the tightest limit of the memory control groups it
/// runs in (version 2's memory.max, version 1's memory.limit_in_bytes), else the machine's
/// memory. Read afresh at every call: a limit may be changed while the program runs.
qint64 memoryLimitBytes();

/// The memory the process holds now (resident).
qint64 residentBytes();

/// The memory limit read from a control group's file; -1 for "max", unlimited or unreadable.
qint64 parseCgroupLimit(const QByteArray &text);

} // namespace sys
