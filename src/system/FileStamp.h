#pragma once

#include <QString>
#include <QtGlobal>

namespace sys {

/// What tells one state of a file or folder from another: which one it is, its size and when it
/// last changed (to the nanosecond the file system keeps). Links are followed.
struct FileStamp {
    qint64 device = -1, inode = -1, size = -1, seconds = 0, nanoseconds = 0;
    bool regular = false;

    bool exists() const { return inode >= 0; }
    bool operator==(const FileStamp &o) const
    {
        return device == o.device && inode == o.inode && size == o.size && seconds == o.seconds &&
               nanoseconds == o.nanoseconds;
    }
};

/// The stamp of a path now; one that does not exist when the path names nothing.
FileStamp fileStamp(const QString &path);

/// The stamp of a file open on a descriptor: exactly the file that was read through it.
FileStamp fileStamp(int fd);

} // namespace sys
