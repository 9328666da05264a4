#pragma once

// What the tests, the benchmark and the fuzzers share: scratch files and pictures, a private X
// server, and process-wide hooks put back when a test is done with them.

#include "system/Random.h"
#include "system/ScreenSaver.h"
#include "system/Twips.h"

#include <QColor>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QHash>
#include <QList>
#include <QProcessEnvironment>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

/// Puts a process-wide hook back as it was when it goes out of scope. Not assignable: the new
/// guard's hook would be installed before the old one is put back, and so undone at once. A
/// guard that lasts from init() to cleanup() is a std::optional member, reset in cleanup().
class HookGuard {
public:
    explicit HookGuard(std::function<void()> restore)
        : m_restore(std::move(restore))
    {
    }
    HookGuard(HookGuard &&other) noexcept
        : m_restore(std::exchange(other.m_restore, nullptr))
    {
    }
    HookGuard &operator=(HookGuard &&) = delete;
    ~HookGuard()
    {
        if (m_restore)
            m_restore();
    }

private:
    std::function<void()> m_restore;
};

/// Installs `value` with a hook's setter, which hands back what it replaced; the guard gives
/// that back to the setter. A test function or fixture member owns the guard:
/// `const auto random = overrideHook(sys::setRandomSource, std::make_unique<ScriptedRandom>(...));`
template <typename Previous, typename Parameter>
[[nodiscard]] HookGuard overrideHook(Previous (*setter)(Parameter), std::decay_t<Parameter> value)
{
    // Shared, since a function held by std::function must be copyable and a unique_ptr is not.
    auto previous = std::make_shared<Previous>(setter(std::move(value)));
    return HookGuard([setter, previous] { setter(std::move(*previous)); });
}

/// A temporary folder tree built from relative names: a name ending in "/" is a folder, any
/// other name an empty file (its folders made as needed).
class TestTree {
public:
    explicit TestTree(const QStringList &names = {});
    /// Gives the owner back its rights everywhere in the tree first, so a test may take them.
    ~TestTree();

    /// Full path of a name in the tree (the tree's root for the empty name), without a
    /// trailing separator.
    QString path(const QString &name = QString()) const;
    void add(const QStringList &names);

private:
    QTemporaryDir m_dir;
};

/// A file's bytes; "<missing>" when it cannot be read.
QByteArray readAll(const QString &path);
/// Replaces a file's bytes; false when it cannot be written.
bool writeAll(const QString &path, const QByteArray &bytes);

class QWidget;
/// Presses and lets go of a key in a shown window as a keyboard would: the window's toolkit
/// window gets it first and hands it to the focused control.
void pressKey(QWidget *window, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

/// Lets the event loop run until a main window has the pictures its show asked for on screen (a
/// tick or a step waits for its picture to decode on the worker); false when that took longer
/// than `timeoutMs`.
template <typename Window> bool waitForPictures(Window &window, int timeoutMs)
{
    const bool shown = QTest::qWaitFor([&window] { return !window.isLoading(); }, timeoutMs);
    // Outside an event loop, what was left to be deleted later would pile up.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return shown;
}

/// The same in a test, which fails when the pictures take more than ten seconds.
template <typename Window> void waitForPictures(Window &window)
{
    QVERIFY2(waitForPictures(window, 10000), "the pictures did not come within ten seconds");
}

/// One tick of a show, to its end: the tick waits for its picture to decode.
template <typename Window> void runTick(Window &window)
{
    window.Timer1_Timer();
    waitForPictures(window);
}

class QComboBox;
/// The entries of a drop-down list, first to last.
QStringList comboEntries(const QComboBox *combo);

/// Writes a JPEG of the given size whose left half is `left` and right half `right`.
/// @param exifOrientation 1..8 adds an EXIF orientation tag; 0 adds none.
/// An sRGB colour as a monitor of the ICC profile shows it, by Little CMS, perceptually.
QColor asOnMonitor(QColor colour, const QByteArray &profile);

bool writeJpeg(const QString &path, QSize size, QColor left = Qt::red, QColor right = Qt::blue,
               int exifOrientation = 0);

/// A CMYK JPEG of equal stripes of inks, left to right, as print workflows write it: inverted,
/// with an Adobe segment; `adobe` false writes plain CMYK without one.
QByteArray cmykJpeg(QSize size, const QList<QColor> &inks = {QColor::fromCmyk(255, 0, 0, 0)},
                    bool adobe = true);

/// A main window kept away from the real settings file and the real process, for as long as
/// this lives.
struct IsolatedViewer {
    QString settingsFile; ///< the settings file the window will use
    HookGuard applicationFile;
    HookGuard processEnder;
};

/// Lets the program seem to run as "pelmora" in a fresh folder, where ending it only counts
/// (in `endings`, when given).
[[nodiscard]] IsolatedViewer isolateViewer(int *endings = nullptr);

class QProcess;
/// Starts an X server of the test's own (Xvfb) on a display it picks, one screen of the given
/// size at 96 dots per inch. It does not listen on the network, does not reset when a program
/// leaves (one that connects meanwhile would find no server), and ends with the test process
/// however that ends. Its standard error is thrown away: a full pipe would stop it.
/// @return the display's name (":5"), empty when the server did not come up.
QString startXServer(QProcess &server, QSize screen);

/// Ends a test that cannot run without an X server (or a session bus): skipped, but failed where
/// the environment variable CI is "true", since a CI machine is set up to run it. The caller
/// returns.
void xServerMissing(const char *why);

/// startXServer for a test that cannot run without the server or the given tools; when one of
/// them is missing or the server does not start, see xServerMissing.
/// @return the display's name; empty when the test was skipped or failed, and the caller returns.
QString requireXServer(QProcess &server, QSize screen, const QStringList &tools = {});

/// Starts a private session bus (dbus-daemon) that ends with the test process.
/// @return its address; empty when dbus-daemon is missing or did not start (see
/// xServerMissing), and the caller returns.
QString requireSessionBus(QProcess &bus);

/// The desktop's screen saver services as a bus client sees them, played on a bus of the test's
/// own: `org.freedesktop.ScreenSaver` at `path`, or, when `service` is the portal's, its idle
/// inhibition and the request it hands out. Records every Inhibit, every give-back of what it
/// handed out, and every client that leaves the bus still holding some, as a desktop drops them.
class QDBusServiceWatcher;
class DesktopDouble : public QDBusVirtualObject {
public:
    DesktopDouble(const QString &address, const QString &service, const QString &path);
    ~DesktopDouble() override;
    QStringList record;
    int held() const { return int(m_held.size()); }

    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;
    QString introspect(const QString &) const override { return QString(); }

private:
    QDBusConnection m_bus;
    QString m_path;
    QDBusServiceWatcher *m_watcher;
    QHash<QString, QString> m_held; // what was handed out (cookie or request), by whom
};

/// The system's environment for a program that talks to the given display.
QProcessEnvironment displayEnvironment(const QString &display);

/// Runs a program to its end (killed after ten seconds) and gives its standard output.
/// @param exitCode where given, the exit code; -1 when it did not end normally
QByteArray runTool(const QProcessEnvironment &env, const QString &program, const QStringList &args,
                   int *exitCode = nullptr);

/// Starts openbox on the environment's display, as a desktop has a window manager, and waits
/// until it manages the screen.
bool startWindowManager(QProcess &manager, const QProcessEnvironment &env);

/// The first visible window whose name matches the regular expression, looked for until it
/// shows; empty when none did in time.
QString findWindow(const QProcessEnvironment &env, const QString &name, int timeoutMs);

/// Runs `check` in a child process without root's rights (as "nobody" when we are root, as
/// ourselves otherwise), so that permissions bite; true when the check returned true. A test
/// that shuts something takes the owner's rights away too, so it holds for any user.
bool inUnprivilegedChild(const std::function<bool()> &check);

/// A random generator that hands out scripted numbers and counts its re-seeds.
class ScriptedRandom : public sys::RandomSource {
public:
    explicit ScriptedRandom(QList<float> values, int *reseeds = nullptr)
        : m_values(std::move(values))
        , m_reseeds(reseeds)
    {
    }
    void randomize() override
    {
        if (m_reseeds)
            ++*m_reseeds;
    }
    float rnd() override { return m_values.isEmpty() ? 0.0f : m_values.takeFirst(); }

private:
    QList<float> m_values;
    int *m_reseeds;
};

/// An inhibitor that writes down what it is asked: "inhibit: <reason>", "release".
class RecordingInhibitor : public sys::ScreenSaverInhibitor {
public:
    explicit RecordingInhibitor(QStringList *calls)
        : m_calls(calls)
    {
    }
    void inhibit(const QString &reason) override { *m_calls << "inhibit: " + reason; }
    void release() override { *m_calls << QStringLiteral("release"); }

private:
    QStringList *m_calls;
};

/// A screen of a fixed logical resolution.
class FixedDpi : public sys::DpiSource {
public:
    explicit FixedDpi(double dpi)
        : m_dpi(dpi)
    {
    }
    double logicalDpi() const override { return m_dpi; }

private:
    double m_dpi;
};
