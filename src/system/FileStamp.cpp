#include "system/FileStamp.h"

#include "system/PathCodec.h"

#include <sys/stat.h>

namespace sys {

namespace {

FileStamp stampOf(const struct stat &st)
{
    FileStamp stamp;
    stamp.device = qint64(st.st_dev);
    stamp.inode = qint64(st.st_ino);
    stamp.size = qint64(st.st_size);
    stamp.seconds = qint64(st.st_mtim.tv_sec);
    stamp.nanoseconds = qint64(st.st_mtim.tv_nsec);
    stamp.regular = S_ISREG(st.st_mode);
    return stamp;
}

} // namespace

FileStamp fileStamp(const QString &path)
{
    struct stat st {};
    if (path.isEmpty() || ::stat(encodePath(path).constData(), &st) != 0)
        return FileStamp();
    return stampOf(st);
}

FileStamp fileStamp(int fd)
{
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? stampOf(st) : FileStamp();
}

} // namespace sys
