#pragma once

#include <QSize>
#include <QString>

#include <vector>

// Xlib's own types, kept out of the benchmark's other files: its headers define macros (None,
// Status, Bool) that clash with Qt's.
struct _XDisplay;

/// A connection of the benchmark's own to an X server: keys pressed as a person presses them
/// (through the XTEST extension), a window sized as its frame's handle would size it, and what
/// the server shows in a window, read back from it.
class XScreen {
public:
    XScreen() = default;
    ~XScreen();
    XScreen(const XScreen &) = delete;
    XScreen &operator=(const XScreen &) = delete;

    /// False when the display cannot be opened or has no XTEST.
    bool open(const QString &display);

    /// Presses and releases a key, by its name ("Left", "space"), and waits until the server has
    /// taken both.
    bool key(const char *name);

    /// Asks for the window's inner size and waits until the server has taken the request.
    void resize(const QString &window, QSize inner);

    /// What the window shows along its middle row and its middle column, four bytes a pixel;
    /// empty when it cannot be read (unmapped, gone).
    std::vector<unsigned char> cross(const QString &window);

private:
    _XDisplay *m_display = nullptr;
};

/// How far apart two readings of the same place are: the mean difference of their colour
/// channels, 0 .. 255; 255 when they are of different sizes.
double difference(const std::vector<unsigned char> &a, const std::vector<unsigned char> &b);
