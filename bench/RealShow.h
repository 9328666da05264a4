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
