#include "RealShow.h"

#include "BenchSupport.h"
#include "TestSupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr int kIntervalTenths = 5; // the shortest interval there is
constexpr int kWidth = 1280, kHeight = 800;
constexpr int kWarmUp = 4; // pictures before the steady state is measured

// CPU time in milliseconds of a process (or of one of its threads) so far.
double cpuMs(const QString &statFile)
{
    QFile stat(statFile);
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // Fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> f = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const double ticks = f.value(11).toDouble() + f.value(12).toDouble(); // utime, stime
    return ticks * 1000.0 / double(::sysconf(_SC_CLK_TCK));
}

void clickIn(const QProcessEnvironment &env, const QString &window, int x, int y)
{
    runTool(env, QStringLiteral("xdotool"),
            {QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(x),
             QString::number(y), QStringLiteral("click"), QStringLiteral("1")});
}

// At random, a title that did not change hides a tick that drew the same picture again: a gap
// within a quarter interval of two intervals counts as two pictures. Any other gap, however
// long, is one: a stall must show.
void countGaps(const std::vector<double> &changes, int order, std::vector<double> &gaps,
               RealShowFigures &figures)
{
    const double interval = kIntervalTenths * 100.0;
    for (size_t i = 1; i < changes.size(); ++i) {
        const double gap = changes[i] - changes[i - 1];
        const bool repeat = order == 1 && std::abs(gap - 2 * interval) < interval / 4;
        figures.repeats += repeat ? 1 : 0;
        figures.pictures += repeat ? 2 : 1;
        gaps.insert(gaps.end(), repeat ? 2 : 1, repeat ? gap / 2 : gap);
    }
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

bool runRealShow(const QString &program, const QString &photos, const QString &work, int order,
                 int pictures, RealShowFigures &figures)
{
    XServer server;
    if (!server.start())
        return false;
    const QProcessEnvironment env = server.environment();
    const QString bin = work + QStringLiteral("/show%1").arg(order);
    QDir().mkpath(bin);
    QFile::remove(bin + QStringLiteral("/pelmora"));
    QFile::copy(program, bin + QStringLiteral("/pelmora"));
    QFile::setPermissions(bin + QStringLiteral("/pelmora"), QFile::ReadOwner | QFile::ExeOwner);
    writeAll(bin + QStringLiteral("/pelmora.ini"),
             QStringLiteral("[Position]\nLeft=0\nTop=0\nWidth=%1\nHeight=%2\n[Display]\nTime=%3\n"
                            "[Folders]\n00=%4\n")
                 .arg(kWidth * 15)
                 .arg(kHeight * 15)
                 .arg(kIntervalTenths)
                 .arg(photos)
                 .toUtf8());

    QProcess viewer;
    viewer.setProcessEnvironment(env);
    viewer.setStandardErrorFile(QProcess::nullDevice());
    viewer.start(bin + QStringLiteral("/pelmora"), {});
    if (!viewer.waitForStarted(5000))
        return false;
    const QString window = findWindow(env, QStringLiteral("^Pelmora$"), 20000);
    if (window.isEmpty())
        return false;
    QThread::msleep(500);
    // The panel at its designed place in the window: Randomize, then Start.
    if (order == 1)
        clickIn(env, window, 160, 80);
    QProcess spy; // every change of the title, as it happens
    spy.setProcessEnvironment(env);
    spy.start(QStringLiteral("xprop"), {QStringLiteral("-spy"), QStringLiteral("-id"), window,
                                        QStringLiteral("_NET_WM_NAME")});
    spy.waitForStarted();
    spy.waitForReadyRead(2000);
    spy.readAll(); // the title as it stands
    clickIn(env, window, 82, 32);

    const QString processStat = QStringLiteral("/proc/%1/stat").arg(viewer.processId());
    const QString uiStat = QStringLiteral("/proc/%1/task/%1/stat").arg(viewer.processId());
    std::vector<double> changes;
    double cpuStart = 0, uiStart = 0, cpuEnd = 0, uiEnd = 0;
    QElapsedTimer clock;
    clock.start();
    while (int(changes.size()) < kWarmUp + pictures + 1 && clock.elapsed() < 120000) {
        if (!spy.canReadLine() && !spy.waitForReadyRead(100))
            continue;
        while (spy.canReadLine()) {
            spy.readLine();
            changes.push_back(double(clock.nsecsElapsed()) / 1e6);
            if (int(changes.size()) == kWarmUp) {
                cpuStart = cpuMs(processStat);
                uiStart = cpuMs(uiStat);
            }
        }
    }
    cpuEnd = cpuMs(processStat);
    uiEnd = cpuMs(uiStat);
    spy.kill();
    viewer.kill();
    viewer.waitForFinished();
    spy.waitForFinished();
    if (int(changes.size()) <= kWarmUp + 1)
        return false;
    std::vector<double> gaps;
    figures = RealShowFigures();
    countGaps(std::vector<double>(changes.begin() + kWarmUp - 1, changes.end()), order, gaps,
              figures);
    figures.cpuPerPictureMs = (cpuEnd - cpuStart) / figures.pictures;
    figures.uiPerPictureMs = (uiEnd - uiStart) / figures.pictures;
    figures.medianGapMs = median(gaps);
    figures.largestGapMs = *std::max_element(gaps.begin(), gaps.end());
    return true;
}
