#include "RealShow.h"

#include "BenchSupport.h"
#include "TestSupport.h"
#include "Verdict.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
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
        m_spy.readLine();
        return double(m_clock.nsecsElapsed()) / 1e6;
    }

private:
    QProcess m_spy;
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

void startViewer(QProcess &viewer, const QString &program, int cores)
{
    viewer.setStandardErrorFile(QProcess::nullDevice());
    viewer.setChildProcessModifier([cores] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL); // not left behind, stopped, should we end first
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

// The stretches of a running show, each from a picture to some pictures later, and the pauses
// after them. Each pause stops the show's process; the gap across it is no stretch's.
bool measureStretches(const RealShowPlan &plan, qint64 pid, TitleSpy &spy, RealShowRun &run)
{
    for (int s = 0; s < plan.stretches; ++s) {
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
    XServer server;
    if (!server.start())
        return false;
    const QProcessEnvironment env = server.environment();
    QProcess viewer;
    viewer.setProcessEnvironment(env);
    startViewer(viewer, placeProgram(plan, work), plan.cores);
    if (!viewer.waitForStarted(5000))
        return false;
    const QString window = findWindow(env, QStringLiteral("^Pelmora$"), 20000);
    if (window.isEmpty())
        return false;
    QThread::msleep(500);
    // The panel at its designed place in the window: Randomize, SubFolders (which scans the
    // folder again before the next click is taken), then Start.
    if (plan.order == 1)
        clickIn(env, window, 160, 80);
    if (plan.subFolders)
        clickIn(env, window, 160, 100);
    TitleSpy spy;
    if (!spy.start(env, window))
        return false;
    clickIn(env, window, 82, 32);

    const qint64 pid = viewer.processId();
    bool measured = true;
    {
        const Profiler profiler(plan.profile, pid);
        for (int p = 0; p < kWarmUp && measured; ++p)
            measured = spy.next(kPictureWaitMs).has_value();
        measured = measured && measureStretches(plan, pid, spy, run);
    }
    if (viewer.waitForFinished(0)) {
        bench::note("the show's process ended on its own: exit status %d, %s", viewer.exitCode(),
                    viewer.exitStatus() == QProcess::CrashExit ? "crashed" : "exited");
        return false;
    }
    viewer.kill();
    viewer.waitForFinished();
    return measured;
}
