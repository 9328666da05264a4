#pragma once

#include <QProcess>
#include <QString>

/// The real program in a private X server with a window manager, showing a folder of pictures as
/// a person would: its settings file set to the interval and size, Randomize ticked or not,
/// Start clicked.
struct RealShowFigures {
    int pictures = 0;           ///< pictures shown after warming up, repeats included
    int repeats = 0;            ///< gaps of two intervals taken for a picture drawn twice
    double cpuPerPictureMs = 0; ///< whole process, steady state
    double uiPerPictureMs = 0;  ///< its user-interface thread alone
    double medianGapMs = 0;     ///< between one picture and the next
    double largestGapMs = 0;
};

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

/// Runs a show of `pictures` pictures; false when the program or the X server could not be run.
/// @param program the pelmora executable to run (copied beside its own settings file)
/// @param photos the folder it shows; at random, a folder of many names for its photos, so
///        that a picture drawn twice in a row (its title unchanged) is rare
/// @param order 0 in order, 1 at random
bool runRealShow(const QString &program, const QString &photos, const QString &work, int order,
                 int pictures, RealShowFigures &figures);
