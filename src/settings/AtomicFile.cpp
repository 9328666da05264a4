#include "settings/AtomicFile.h"

#include "system/PathCodec.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

namespace settings {

namespace {

// A temporary file is named after the file it replaces, then this marker, then mkostemp's six
// letters and digits: ".pelmora.ini.tmp-a1B2c3". Only names of that very shape are ever
// cleaned up, so no file of the user's beside it is taken for one.
constexpr char kTempMarker[] = ".tmp-";
constexpr int kTempRandomLength = 6;
// A writer locks its temporary file right after making it and renames it within moments; one
// older than this that nobody holds is surely left over, and one younger may be between its
// making and its lock.
constexpr time_t kLeftOverSeconds = 60;
// Links followed before a chain counts as a loop, as the system counts.
constexpr int kMostLinks = 40;

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

bool readAll(int fd, QByteArray &bytes)
{
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        bytes.append(buffer, n);
    }
}

// The file holds exactly these bytes once this is true.
bool overwrite(int fd, const QByteArray &bytes)
{
    return ::lseek(fd, 0, SEEK_SET) == 0 && writeAll(fd, bytes) &&
           ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && ::fsync(fd) == 0;
}

mode_t newFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// A file not made yet, in its folder with the links followed; as it is when the folder
// cannot be found either (nothing can be made there then).
QByteArray inRealFolder(const QByteArray &name)
{
    const qsizetype slash = name.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : name.left(qMax<qsizetype>(slash, 1));
    char resolved[PATH_MAX];
    if (!::realpath(folder.constData(), resolved))
        return name;
    const QByteArray real(resolved);
    return (real.endsWith('/') ? real : real + '/') + name.mid(slash + 1);
}

// The file a path names, with any link followed, so that the link itself stays; a link to a
// file not made yet names the file to make. Empty for no path, or links in a loop.
QByteArray resolvedTarget(const QString &path)
{
    QByteArray name = sys::encodePath(path);
    for (int links = 0; !name.isEmpty() && links < kMostLinks; ++links) {
        char resolved[PATH_MAX];
        if (::realpath(name.constData(), resolved))
            return QByteArray(resolved);
        struct stat info {};
        if (::lstat(name.constData(), &info) != 0 || !S_ISLNK(info.st_mode))
            return inRealFolder(name); // a file still to be made, or one we cannot reach
        char target[PATH_MAX];
        const ssize_t length = ::readlink(name.constData(), target, sizeof target);
        if (length <= 0 || size_t(length) == sizeof target)
            return QByteArray();
        const QByteArray next(target, length);
        name = next.startsWith('/') ? next : name.left(name.lastIndexOf('/') + 1) + next;
    }
    return QByteArray();
}

bool isTempName(const QByteArray &name, const QByteArray &prefix)
{
    if (name.size() != prefix.size() + kTempRandomLength || !name.startsWith(prefix))
        return false;
    for (const char c : name.mid(prefix.size())) {
        if (!(c >= 'a' && c <= 'z') && !(c >= 'A' && c <= 'Z') && !(c >= '0' && c <= '9'))
            return false;
    }
    return true;
}

// A temporary file is locked for as long as its writer lives; one nobody holds is debris of a
// process that died before its rename, and nothing will ever rename it.
void removeIfAbandoned(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
        info.st_mtime < ::time(nullptr) - kLeftOverSeconds && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
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
        if (isTempName(name, prefix))
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

QString replacedFile(const QString &path)
{
    return sys::decodePath(resolvedTarget(path));
}

bool writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    const QByteArray target = resolvedTarget(path);
    if (target.isEmpty())
        return false;
    struct stat old {};
    const mode_t mode =
        ::stat(target.constData(), &old) == 0 ? (old.st_mode & 07777) : newFileMode();

    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : target.left(qMax<qsizetype>(slash, 1));
    const QByteArray prefix = "." + target.mid(slash + 1) + kTempMarker;
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

bool writeFileInPlace(const QString &path, const QByteArray &bytes)
{
    const QByteArray target = resolvedTarget(path);
    if (target.isEmpty())
        return false;
    const int fd = ::open(target.constData(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat info {};
    QByteArray old;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || !readAll(fd, old)) {
        ::close(fd);
        return false; // nothing written, and nothing to put back
    }
    // The new bytes go over the old ones before the file is cut to their length, so a disk
    // that fills up fails while the old bytes can still be written back over their own blocks.
    const bool ok = overwrite(fd, bytes);
    if (!ok)
        overwrite(fd, old);
    ::close(fd);
    return ok;
}

} // namespace settings
