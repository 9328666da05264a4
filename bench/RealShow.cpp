#include "RealShow.h"

#include "BenchSupport.h"
#include "TestSupport.h"
#include "Verdict.h"
#include "XScreen.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <fcntl.h>

#include <algorithm>
#include <map>
#include <optional>
#include <vector>

namespace {

constexpr int kWarmUp = 2;            // pictures before the steady state is measured
constexpr int kPictureWaitMs = 60000; // beyond the show's own give-up: the show stalled

// CPU time in milliseconds of a process so far, dead threads included.
double processCpuMs(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // Fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> f = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const double ticks = f.value(11).toDouble() + f.value(12).toDouble(); // utime, stime
    return ticks * 1000.0 / double(::sysconf(_SC_CLK_TCK));
}

// CPU time in milliseconds of a process's first thread, to the nanosecond: its share of a few
// pictures is too small for the clock ticks of its stat file.
double mainThreadCpuMs(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/task/%1/schedstat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    return stat.readAll().split(' ').value(0).toDouble() / 1e6;
}

void clickIn(const QProcessEnvironment &env, const QString &window, int x, int y)
{
    runTool(env, QStringLiteral("xdotool"),
            {QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(x),
             QString::number(y), QStringLiteral("click"), QStringLiteral("1")});
}

// Every change of a window's title, as it happens, timed from the spy's start.
class TitleSpy {
public:
    bool start(const QProcessEnvironment &env, const QString &window)
    {
        m_spy.setProcessEnvironment(env);
        m_spy.start(QStringLiteral("xprop"), {QStringLiteral("-spy"), QStringLiteral("-id"), window,
                                              QStringLiteral("_NET_WM_NAME")});
        if (!m_spy.waitForStarted())
            return false;
        m_spy.waitForReadyRead(2000);
        m_spy.readAll(); // the title as it stands
        m_clock.start();
        return true;
    }
    ~TitleSpy()
    {
        m_spy.kill();
        m_spy.waitForFinished();
    }
    /// When the title changed next, in milliseconds; nothing when it did not within `waitMs`.
    std::optional<double> next(int waitMs)
    {
        QElapsedTimer waiting;
        waiting.start();
        while (!m_spy.canReadLine()) {
            if (waiting.elapsed() > waitMs)
                return std::nullopt;
            m_spy.waitForReadyRead(100);
        }
        m_titles.append(QString::fromUtf8(m_spy.readLine()).trimmed());
        return double(m_clock.nsecsElapsed()) / 1e6;
    }
    /// Every title seen, the last the newest.
    const QStringList &titles() const { return m_titles; }

private:
    QProcess m_spy;
    QStringList m_titles;
    QElapsedTimer m_clock;
};

// perf's call-graph record of one process, from now until this ends.
class Profiler {
public:
    Profiler(const QString &output, qint64 pid)
    {
        if (output.isEmpty())
            return;
        m_perf.setStandardOutputFile(QProcess::nullDevice());
        m_perf.setStandardErrorFile(output + QStringLiteral(".log"));
        m_perf.start(QStringLiteral("perf"),
                     {QStringLiteral("record"), QStringLiteral("-g"), QStringLiteral("-o"), output,
                      QStringLiteral("-p"), QString::number(pid)});
        m_perf.waitForStarted();
    }
    ~Profiler()
    {
        if (m_perf.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(m_perf.processId()), SIGINT); // it writes its file out and ends
        if (!m_perf.waitForFinished(60000))
            m_perf.kill();
    }

private:
    QProcess m_perf;
};

QString placeProgram(const RealShowPlan &plan, const QString &work)
{
    const QString bin = work + QStringLiteral("/show%1").arg(plan.order);
    QDir().mkpath(bin);
    const QString program = bin + QStringLiteral("/pelmora");
    QFile::remove(program);
    QFile::copy(plan.program, program);
    QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner);
    writeAll(bin + QStringLiteral("/pelmora.ini"),
             QStringLiteral("[Position]\nLeft=0\nTop=0\nWidth=%1\nHeight=%2\n[Display]\nTime=%3\n"
                            "[Folders]\n00=%4\n")
                 .arg(kShowInner.width() * 15)
                 .arg(kShowInner.height() * 15)
                 .arg(kShowIntervalMs / 100)
                 .arg(plan.folder)
                 .toUtf8());
    return program;
}

// Joins the cgroup whose process list is `procs` (none when empty): called in the child between
// fork and exec, where only async-signal-safe calls may be made.
void joinCgroup(const QByteArray &procs)
{
    if (procs.isEmpty())
        return;
    const int fd = ::open(procs.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    char digits[24];
    int n = 0;
    for (pid_t pid = ::getpid(); pid > 0 && n < 23; pid /= 10)
        digits[n++] = char('0' + pid % 10);
    char text[24];
    for (int i = 0; i < n; ++i)
        text[i] = digits[n - 1 - i];
    [[maybe_unused]] const ssize_t written = ::write(fd, text, size_t(n));
    ::close(fd);
}

void startViewer(QProcess &viewer, const QString &program, int cores, const QByteArray &cgroupProcs)
{
    viewer.setChildProcessModifier([cores, cgroupProcs] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL); // not left behind, stopped, should we end first
        joinCgroup(cgroupProcs);
        if (cores <= 0)
            return;
        cpu_set_t set;
        CPU_ZERO(&set);
        for (int cpu = 0; cpu < cores; ++cpu)
            CPU_SET(cpu, &set);
        ::sched_setaffinity(0, sizeof set, &set);
    });
    viewer.start(program, {});
}

// The real program in a private X server with its show started, as a person starts it.
struct StartedShow {
    XServer server;
    QProcess viewer;
    QString window;
    TitleSpy spy;
    qint64 pid = 0;

    /// `cgroupProcs` names the process list of a cgroup to start in; `log`, a file for the
    /// program's log, which is on then.
    bool start(const RealShowPlan &plan, const QString &work, const QByteArray &cgroupProcs = {},
               const QString &log = {})
    {
        if (!server.start())
            return false;
        QProcessEnvironment env = server.environment();
        if (log.isEmpty()) {
            viewer.setStandardErrorFile(QProcess::nullDevice());
        } else {
            env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("pelmora.*=true"));
            viewer.setStandardErrorFile(log);
        }
        viewer.setProcessEnvironment(env);
        startViewer(viewer, placeProgram(plan, work), plan.cores, cgroupProcs);
        if (!viewer.waitForStarted(5000))
            return false;
        window = findWindow(env, QStringLiteral("^Pelmora$"), 20000);
        if (window.isEmpty())
            return false;
        QThread::msleep(500);
        // The panel at its designed place in the window: Randomize, SubFolders (which scans the
        // folder again before the next click is taken), then Start.
        if (plan.order == 1)
            clickIn(env, window, 160, 80);
        if (plan.subFolders)
            clickIn(env, window, 160, 100);
        if (!spy.start(env, window))
            return false;
        clickIn(env, window, 82, 32);
        pid = viewer.processId();
        return true;
    }

    /// Whether the program ended before we ended it, which is noted.
    bool endedOnItsOwn()
    {
        if (!viewer.waitForFinished(0))
            return false;
        bench::note("the show's process ended on its own: exit status %d, %s", viewer.exitCode(),
                    viewer.exitStatus() == QProcess::CrashExit ? "crashed" : "exited");
        return true;
    }

    void end()
    {
        viewer.kill();
        viewer.waitForFinished();
    }
};

// The stretches of a running show, each from a picture to some pictures later, and the pauses
// after them. Each pause stops the show's process; the gap across it is no stretch's.
bool measureStretches(const RealShowPlan &plan, qint64 pid, TitleSpy &spy, RealShowRun &run)
{
    for (int s = 0; s < plan.stretches; ++s) {
        // After a pause, one picture more before the stretch starts: the show's clock ran on while
        // it was stopped, so to it the pause was idle time, after which it gives its kept memory
        // back and its next decode pays for fresh pages, as a show paused that long does once. A
        // show that runs on never pays that, and the stretch is to measure what it pays.
        if (s > 0 && !spy.next(kPictureWaitMs))
            return false;
        std::optional<double> at = spy.next(kPictureWaitMs);
        if (!at)
            return false;
        ShowStretch stretch;
        const double cpu = processCpuMs(pid), ui = mainThreadCpuMs(pid);
        for (int p = 0; p < plan.picturesPerStretch; ++p) {
            const std::optional<double> next = spy.next(kPictureWaitMs);
            if (!next)
                return false;
            stretch.gaps.push_back(*next - *at);
            at = next;
        }
        stretch.pictures = int(stretch.gaps.size());
        stretch.cpuMs = processCpuMs(pid) - cpu;
        stretch.uiMs = mainThreadCpuMs(pid) - ui;
        run.stretches.push_back(stretch);
        run.peakResidentMb =
            std::max(run.peakResidentMb,
                     statusKb("VmHWM:", QStringLiteral("/proc/%1/status").arg(pid)) / 1024.0);
        ::kill(pid_t(pid), SIGSTOP);
        if (plan.inPause)
            plan.inPause();
        ::kill(pid_t(pid), SIGCONT);
    }
    return true;
}

} // namespace

XServer::~XServer()
{
    m_windowManager.kill();
    m_windowManager.waitForFinished();
    m_process.kill();
    m_process.waitForFinished();
}

bool XServer::start()
{
    m_display = startXServer(m_process, QSize(1600, 1200));
    // A desktop has a window manager: the show runs in a framed window, as a person sees it.
    return !m_display.isEmpty() && startWindowManager(m_windowManager, environment());
}

QProcessEnvironment XServer::environment() const
{
    return displayEnvironment(m_display);
}

bool runRealShow(const RealShowPlan &plan, const QString &work, RealShowRun &run)
{
    run = RealShowRun();
    StartedShow show;
    if (!show.start(plan, work))
        return false;
    bool measured = true;
    {
        const Profiler profiler(plan.profile, show.pid);
        for (int p = 0; p < kWarmUp && measured; ++p)
            measured = show.spy.next(kPictureWaitMs).has_value();
        measured = measured && measureStretches(plan, show.pid, show.spy, run);
    }
    if (show.endedOnItsOwn())
        return false;
    show.end();
    return measured;
}

namespace {

constexpr int kPollMs = 2;         // how often the screen is read back while a step lands
constexpr double kSame = 1.0;      // readings closer than this show the same picture
constexpr double kDifferent = 8.0; // readings farther apart than this show another
constexpr int kStepWaitMs = 30000; // beyond any decode of one picture: the step never landed
constexpr int kQuietMs = 1500;     // unchanged this long: nothing more is coming
constexpr int kPicturesBeforePause = 4;

using Reading = std::vector<unsigned char>;

double since(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

// The window's reading once it stops changing.
Reading settled(XScreen &x, const QString &window, int quietMs = kQuietMs)
{
    QElapsedTimer clock, quiet;
    clock.start();
    quiet.start();
    Reading last = x.cross(window);
    while (quiet.elapsed() < quietMs && clock.elapsed() < kStepWaitMs) {
        QThread::msleep(10);
        Reading now = x.cross(window);
        if (difference(now, last) > 0) {
            last = std::move(now);
            quiet.restart();
        }
    }
    return last;
}

// Presses a key and reads the window back every few milliseconds until it shows `wanted`: the
// milliseconds from the key; nothing when it did not come.
std::optional<double> stepTo(XScreen &x, const QString &window, const char *key,
                             const Reading &wanted)
{
    QElapsedTimer clock;
    clock.start();
    if (!x.key(key))
        return std::nullopt;
    while (clock.elapsed() < kStepWaitMs) {
        if (difference(x.cross(window), wanted) < kSame)
            return since(clock);
        QThread::usleep(kPollMs * 1000);
    }
    return std::nullopt;
}

// The first step after a resize: until the window first shows another picture than `before`,
// and until it last changed, once it has stayed unchanged a while.
bool stepAfterResize(XScreen &x, const QString &window, const char *key, const Reading &before,
                     StepRun &run)
{
    QElapsedTimer clock;
    clock.start();
    if (!x.key(key))
        return false;
    std::optional<double> first;
    double last = 0;
    Reading previous = before;
    while (clock.elapsed() < kStepWaitMs && (!first || since(clock) - last < kQuietMs)) {
        Reading now = x.cross(window);
        const double at = since(clock);
        if (!first && difference(now, before) > kDifferent)
            first = at;
        if (difference(now, previous) > 0) {
            last = at;
            previous = std::move(now);
        }
        QThread::usleep(kPollMs * 1000);
    }
    if (!first)
        return false;
    run.resizedFirstMs.push_back(*first);
    run.resizedSharpMs.push_back(last);
    return true;
}

// Pauses the show once it has shown a few pictures; the titles of those on screen, the newest
// last.
bool pauseShow(StartedShow &show, XScreen &x)
{
    for (int p = 0; p < kPicturesBeforePause; ++p) {
        if (!show.spy.next(kPictureWaitMs))
            return false;
    }
    if (!x.key("space"))
        return false;
    while (show.spy.next(kQuietMs)) {
        // a tick that came before the pause took; the newest title is the picture on screen
    }
    return show.spy.titles().size() >= 3;
}

bool measureSteps(const StepPlan &plan, StartedShow &show, XScreen &x, StepRun &run)
{
    const QStringList &titles = show.spy.titles();
    const int n = int(titles.size()) - 1;
    // The newest three pictures, the newest on screen: their readings, each taken once it has
    // settled.
    std::map<int, Reading> shows;
    shows[n] = settled(x, show.window);
    for (const auto &[key, to] :
         {std::pair("Left", n - 1), {"Left", n - 2}, {"Right", n - 1}, {"Right", n}}) {
        x.key(key);
        shows[to] = settled(x, show.window);
    }
    if (difference(shows[n], shows[n - 1]) < kDifferent ||
        difference(shows[n - 1], shows[n - 2]) < kDifferent) {
        bench::note("the steps did not change the picture on screen");
        return false;
    }
    for (int cycle = 0; cycle < plan.cycles; ++cycle) {
        for (const auto &[key, to] :
             {std::pair("Left", n - 1), {"Left", n - 2}, {"Right", n - 1}, {"Right", n}}) {
            const std::optional<double> ms = stepTo(x, show.window, key, shows[to]);
            if (!ms)
                return false;
            (plan.large(titles[to]) ? run.largeMs : run.smallMs).push_back(*ms);
            settled(x, show.window, 300);
        }
    }
    // A small picture on screen with a large one next to it: each resize refits the small one,
    // then the step onto the large one is timed.
    const bool newestLarge = plan.large(titles[n]);
    const char *onto = newestLarge ? "Right" : "Left";
    const char *back = newestLarge ? "Left" : "Right";
    if (newestLarge) {
        x.key(back);
        settled(x, show.window);
    }
    for (int r = 0; r < plan.resizes; ++r) {
        x.resize(show.window, r % 2 == 0 ? plan.resized : kShowInner);
        const Reading before = settled(x, show.window);
        if (!stepAfterResize(x, show.window, onto, before, run))
            return false;
        x.key(back);
        settled(x, show.window);
    }
    return true;
}

// A memory cgroup of our own beneath the one this process is in, for the version of cgroups the
// kernel has mounted: its files' names differ.
class MemoryCgroup {
public:
    ~MemoryCgroup()
    {
        if (m_path.isEmpty())
            return;
        for (int tries = 0; tries < 100 && ::rmdir(QFile::encodeName(m_path).constData()) != 0;
             ++tries)
            QThread::msleep(50); // the killed process leaves it a moment later
    }

    bool make(qint64 limitBytes, QString &why)
    {
        QString parent;
        const QString v2 = mountOf("cgroup2", {}), v1 = mountOf("cgroup", "memory");
        const QString mine = cgroupOf(v1.isEmpty() ? QByteArray("0::") : QByteArray("memory"));
        if (!v1.isEmpty()) {
            parent = v1 + mine;
        } else if (!v2.isEmpty()) {
            m_v2 = true;
            parent = v2 + mine;
        } else {
            why = QStringLiteral("no memory cgroup is mounted");
            return false;
        }
        const QString path = parent + QStringLiteral("/pelmora-bench-%1").arg(::getpid());
        if (!QDir().mkpath(path)) {
            why = QStringLiteral("cannot make %1").arg(path);
            return false;
        }
        m_path = path;
        if (m_v2 && !QFile::exists(file("memory.max")))
            writeTo(parent + QStringLiteral("/cgroup.subtree_control"), "+memory");
        if (!writeTo(file(m_v2 ? "memory.max" : "memory.limit_in_bytes"),
                     QByteArray::number(limitBytes))) {
            why = QStringLiteral("cannot limit the memory of %1").arg(path);
            return false;
        }
        return true;
    }

    QByteArray procs() const { return QFile::encodeName(file("cgroup.procs")); }

    bool oomKilled() const
    {
        const QByteArray text = readAll(file(m_v2 ? "memory.events" : "memory.oom_control"));
        for (const QByteArray &line : text.split('\n')) {
            if (line.startsWith("oom_kill "))
                return line.mid(9).trimmed().toLongLong() > 0;
        }
        return false;
    }

    double peakMb() const
    {
        const QByteArray text = readAll(file(m_v2 ? "memory.peak" : "memory.max_usage_in_bytes"));
        return text.isEmpty() ? -1 : text.trimmed().toDouble() / (1024.0 * 1024.0);
    }

private:
    QString file(const char *name) const { return m_path + QLatin1Char('/') + QLatin1String(name); }

    static bool writeTo(const QString &path, const QByteArray &text)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
    }

    // Where a cgroup file system is mounted; for the first version, the one with `controller`.
    static QString mountOf(const QByteArray &type, const QByteArray &controller)
    {
        for (const QByteArray &line : readAll(QStringLiteral("/proc/self/mountinfo")).split('\n')) {
            const int dash = int(line.indexOf(" - "));
            if (dash < 0)
                continue;
            const QList<QByteArray> before = line.left(dash).split(' ');
            const QList<QByteArray> after = line.mid(dash + 3).split(' ');
            if (before.size() < 5 || after.size() < 3 || after[0] != type)
                continue;
            if (controller.isEmpty() || after[2].split(',').contains(controller))
                return QString::fromLocal8Bit(before[4]);
        }
        return QString();
    }

    // This process's cgroup in the hierarchy whose controllers field is `controllers` ("0::" for
    // the second version's).
    static QString cgroupOf(const QByteArray &controllers)
    {
        for (const QByteArray &line : readAll(QStringLiteral("/proc/self/cgroup")).split('\n')) {
            const QList<QByteArray> f = line.split(':');
            if (f.size() < 3)
                continue;
            if ((controllers == "0::" && f[0] == "0" && f[1].isEmpty()) ||
                f[1].split(',').contains(controllers))
                return QString::fromLocal8Bit(f.mid(2).join(':'));
        }
        return QString();
    }

    QString m_path;
    bool m_v2 = false;
};

// The lines of the program's log that say a picture was not shown.
void countSkips(const QString &log, LimitedRun &run)
{
    for (const QByteArray &line : readAll(log).split('\n')) {
        if (line.startsWith("pelmora.picture:") || line.startsWith("pelmora.show:")) {
            if (run.skipped++ == 0)
                run.firstSkip = QString::fromLocal8Bit(line);
        }
    }
}

} // namespace

bool runSteps(const StepPlan &plan, const QString &work, StepRun &run)
{
    run = StepRun();
    StartedShow show;
    if (!show.start(plan.show, work))
        return false;
    XScreen x;
    if (!x.open(show.server.environment().value(QStringLiteral("DISPLAY")))) {
        bench::note("the X server cannot be read back, or has no XTEST");
        return false;
    }
    const bool measured = pauseShow(show, x) && measureSteps(plan, show, x, run);
    if (show.endedOnItsOwn())
        return false;
    show.end();
    return measured;
}

LimitedOutcome runLimitedShow(const RealShowPlan &plan, const QString &work, qint64 limitBytes,
                              int seconds, LimitedRun &run, QString &why)
{
    run = LimitedRun();
    MemoryCgroup cgroup;
    if (!cgroup.make(limitBytes, why))
        return LimitedOutcome::NoCgroup;
    const QString log = work + QStringLiteral("/limited.log");
    QFile::remove(log);
    StartedShow show;
    if (!show.start(plan, work, cgroup.procs(), log))
        return LimitedOutcome::Failed;
    QElapsedTimer clock;
    clock.start();
    std::optional<double> at;
    while (clock.elapsed() < seconds * 1000) {
        const std::optional<double> next =
            show.spy.next(int(std::max<qint64>(1, seconds * 1000 - clock.elapsed())));
        if (show.viewer.waitForFinished(0))
            break;
        if (!next)
            continue;
        if (++run.pictures > kWarmUp)
            run.gaps.push_back(*next - *at);
        at = next;
    }
    run.killed = cgroup.oomKilled() || show.endedOnItsOwn();
    run.peakMb = cgroup.peakMb();
    show.end();
    countSkips(log, run);
    return LimitedOutcome::Ran;
}
