#include "platform/AtomicFile.h"

#include "platform/PathCodec.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace platform {

namespace {

// mkostemp's six random characters follow this prefix.
constexpr int kTempSuffixLength = 6;

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

// The file a path names, with any link followed, so that the link itself stays.
QByteArray resolvedTarget(const QString &path)
{
    const QByteArray name = encodePath(path);
    char resolved[PATH_MAX];
    return ::realpath(name.constData(), resolved) ? QByteArray(resolved) : name;
}

// A temporary file is locked for as long as its writer lives; one nobody holds is debris of a
// process that died before its rename, and nothing will ever rename it.
void removeIfAbandoned(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
        ::unlink(path.constData());
    ::close(fd);
}

void removeAbandonedTemps(const QByteArray &folder, const QByteArray &prefix)
{
    DIR *dir = ::opendir(folder.constData());
    if (!dir)
        return;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name.size() == prefix.size() + kTempSuffixLength && name.startsWith(prefix))
            removeIfAbandoned(folder + '/' + name);
    }
    ::closedir(dir);
}

void syncFolder(const QByteArray &folder)
{
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    // The rename has happened whatever this says: the file already holds the new bytes, and a
    // failure here cannot take them back, so it is no failure of the replacement.
    ::fsync(fd);
    ::close(fd);
}

} // namespace

bool writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    if (path.isEmpty())
        return false;
    const QByteArray target = resolvedTarget(path);
    struct stat old {};
    const mode_t mode =
        ::stat(target.constData(), &old) == 0 ? (old.st_mode & 07777) : newFileMode();

    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : target.left(qMax<qsizetype>(slash, 1));
    const QByteArray prefix = "." + target.mid(slash + 1) + ".";
    removeAbandonedTemps(folder, prefix);
    QByteArray temp = target.left(slash + 1) + prefix + "XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    // Held until the rename is done, so no other writer's clean-up takes our file away.
    ::flock(fd, LOCK_EX);
    const bool ok = writeAll(fd, bytes) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0 &&
                    ::rename(temp.constData(), target.constData()) == 0;
    if (!ok)
        ::unlink(temp.constData());
    ::close(fd);
    if (ok)
        syncFolder(folder);
    return ok;
}

} // namespace platform
