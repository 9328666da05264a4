#pragma once

#include "system/Random.h"
#include "system/Twips.h"

#include <QColor>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

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

/// Waits until a main window has the pictures its show asked for on screen.
template <typename Window> void waitForPictures(Window &window)
{
    QTRY_VERIFY_WITH_TIMEOUT(!window.isLoading(), 10000);
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
bool writeJpeg(const QString &path, QSize size, QColor left = Qt::red, QColor right = Qt::blue,
               int exifOrientation = 0);

/// A CMYK JPEG of equal stripes of inks, left to right, as print workflows write it: inverted,
/// with an Adobe segment; `adobe` false writes plain CMYK without one.
QByteArray cmykJpeg(QSize size, const QList<QColor> &inks = {QColor::fromCmyk(255, 0, 0, 0)},
                    bool adobe = true);

/// Keeps a main window made in a test away from the real settings file and the real process:
/// the program seems to run as "pelmora" in a fresh folder, and ending it only counts.
/// @return the settings file the window will use.
QString isolateViewer(int *endings = nullptr);

class QProcess;
/// Starts an X server of the test's own (Xvfb) on a display it picks, one screen of the given
/// size at 96 dots per inch. It does not listen on the network, does not reset when a program
/// leaves (one that connects meanwhile would find no server), and ends with the test process
/// however that ends. Its standard error is thrown away: a full pipe would stop it.
/// @return the display's name (":5"), empty when the server did not come up.
QString startXServer(QProcess &server, QSize screen);

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
