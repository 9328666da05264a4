// Loaded into the real program (LD_PRELOAD) to make its disk slow: every fsync and fdatasync
// takes 20 ms longer, as on an SD card. Each of them, each new temporary file and each finished
// rename is noted, a word a line, in the file that SLOWDISK_LOG names, so that a test can count
// them and tell how far a close had got when it was killed.
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

template <typename Function> Function real(const char *name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

// Notes a word (ending in a line end) and sleeps as long as asked, leaving the caller's result
// and errno as the real call left them.
int note(const char *line, int result, long sleepNs = 0)
{
    const int saved = errno;
    const char *log = std::getenv("SLOWDISK_LOG");
    const int fd =
        log && result >= 0 ? ::open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644) : -1;
    if (fd >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(fd, line, std::strlen(line)); // whole
        ::close(fd);
    }
    timespec left{0, sleepNs};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
    errno = saved;
    return result;
}

constexpr long kSlowSyncNs = 20 * 1000 * 1000;

} // namespace

extern "C" {

int fsync(int fd)
{
    static const auto next = real<int (*)(int)>("fsync");
    return note("fsync\n", next(fd), kSlowSyncNs);
}

int fdatasync(int fd)
{
    static const auto next = real<int (*)(int)>("fdatasync");
    return note("fsync\n", next(fd), kSlowSyncNs);
}

int mkostemp(char *pattern, int flags)
{
    static const auto next = real<int (*)(char *, int)>("mkostemp");
    return note("temp\n", next(pattern, flags));
}

int rename(const char *from, const char *to)
{
    static const auto next = real<int (*)(const char *, const char *)>("rename");
    return note("rename\n", next(from, to));
}

int renameat2(int fromDir, const char *from, int toDir, const char *to, unsigned flags)
{
    static const auto next =
        real<int (*)(int, const char *, int, const char *, unsigned)>("renameat2");
    return note("rename\n", next(fromDir, from, toDir, to, flags));
}

} // extern "C"
