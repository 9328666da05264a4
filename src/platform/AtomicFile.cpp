#include "AtomicFile.h"

#include "PathCodec.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace platform {

namespace {

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false; // a short write is a failure, never a smaller file
        done += n;
    }
    return true;
}

mode_t newFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

} // namespace

bool writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    if (path.isEmpty())
        return false;
    // A link is followed to the file it names, so the link itself stays.
    QByteArray targetName = encodePath(path);
    char resolved[PATH_MAX];
    if (::realpath(targetName.constData(), resolved))
        targetName = resolved;

    struct stat old {};
    const mode_t mode =
        ::stat(targetName.constData(), &old) == 0 ? (old.st_mode & 07777) : newFileMode();

    const qsizetype slash = targetName.lastIndexOf('/');
    QByteArray temp = targetName.left(slash + 1) + "." + targetName.mid(slash + 1) + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, bytes) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.constData(), targetName.constData()) == 0;
    if (!ok)
        ::unlink(temp.constData());
    return ok;
}

} // namespace platform
