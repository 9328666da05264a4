#pragma once

#include <QProcess>
#include <QSize>
#include <QString>

#include <functional>
#include <vector>

/// A private X server, on a display of its choosing, with openbox managing its windows.
class XServer {
public:
    ~XServer();
    bool start();
    /// The system's environment, talking to this server.
    QProcessEnvironment environment() const;

private:
    QProcess m_process;
    QProcess m_windowManager;
    QString m_display;
};

/// One stretch of a real show, from one picture to some pictures later.
struct ShowStretch {
    int pictures = 0;         ///< pictures shown
    double cpuMs = 0;         ///< the whole process
    double uiMs = 0;          ///< its user-interface thread alone
    std::vector<double> gaps; ///< between one picture and the next, one for each picture
};

/// A real show in stretches, each followed by a pause in which the show's process is stopped
/// and something else is measured, so that each stretch has its own measurement to compare with,
/// taken on the machine as it was then.
struct RealShowRun {
    std::vector<ShowStretch> stretches;
    double peakResidentMb = 0; ///< the show's process, from its start to its end
};

/// What a real show is made of: the real program in a private X server with a window manager,
/// showing a folder of pictures as a person would: its settings file set to the interval and
/// size, Randomize ticked or not, Start clicked.
struct RealShowPlan {
    QString program; ///< the pelmora to run, copied beside its own settings file
    /// The folder it shows. At random, a tree of many names for its photos, so that a picture
    /// drawn twice in a row, which leaves the title unchanged and two intervals between title
    /// changes, is rare.
    QString folder;
    int order = 0;           ///< 0 in order, 1 at random
    bool subFolders = false; ///< SubFolders ticked
    int stretches = 5;
    int picturesPerStretch = 6;
    int cores = 0;   ///< the show's process kept to the first `cores` processors; 0: all of them
    QString profile; ///< where perf records the show's process; empty: not profiled
    /// Runs while the show's process is stopped, after each stretch.
    std::function<void()> inPause;
};

constexpr int kShowIntervalMs = 500; // the shortest interval there is, where a late tick shows most
constexpr QSize kShowInner(1280, 800);

/// Runs a show; false when the program or the X server could not be run, or it stalled.
bool runRealShow(const RealShowPlan &plan, const QString &work, RealShowRun &run);

/// Steps through a paused show's history with Left and Right, as a person presses them, each
/// step timed from the key to the stepped-to picture on screen, read back from the X server.
struct StepPlan {
    /// A show in order over pictures that take turns, small and large, so that the steps onto
    /// either are taken turn about in one show.
    RealShowPlan show;
    /// Whether a picture the window's title names is one of the large ones.
    std::function<bool(const QString &title)> large;
    int cycles = 4;  ///< each two steps back, then two forward: one onto either kind each way
    int resizes = 4; ///< steps onto a large picture, each the first after a resize
    QSize resized;   ///< the inner size the window takes turns with kShowInner
};

struct StepRun {
    /// Pairs: the i-th step onto a small picture and the i-th onto a large one went the same way
    /// in the same cycle.
    std::vector<double> smallMs, largeMs;
    /// The first step after a resize: until something of the stepped-to picture is on screen,
    /// and until the screen stops changing (the picture sharp at the new size).
    std::vector<double> resizedFirstMs, resizedSharpMs;
};

/// Runs the steps; false when the program or the X server could not be run, or a step never
/// landed.
bool runSteps(const StepPlan &plan, const QString &work, StepRun &run);

/// A show run in a memory cgroup of its own, which the kernel holds to a limit.
struct LimitedRun {
    bool killed = false;      ///< by the kernel for want of memory, or ended otherwise
    int pictures = 0;         ///< title changes seen
    int skipped = 0;          ///< pictures the program's log says it did not show
    QString firstSkip;        ///< the first such line
    std::vector<double> gaps; ///< between pictures, past the first few
    double peakMb = -1;       ///< the cgroup's peak use; -1 when the kernel does not tell
};

enum class LimitedOutcome { Ran, NoCgroup, Failed };

/// Runs a show for `seconds` with its process in a memory cgroup limited to `limitBytes`.
/// NoCgroup, with the reason in `why`, where no memory cgroup can be made on this machine.
LimitedOutcome runLimitedShow(const RealShowPlan &plan, const QString &work, qint64 limitBytes,
                              int seconds, LimitedRun &run, QString &why);
