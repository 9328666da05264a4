#pragma once

class QWidget;

namespace controls {

enum class WindowState { Normal, Minimized, Maximized, FullScreen };

/// Width and height of a window's inner (client) area, in twips.
float innerWidthTwips(const QWidget *window);
float innerHeightTwips(const QWidget *window);

/// Outer place and size of a top-level window (frame and title bar included), in twips, to the
/// device pixel where the window system tells it.
float outerLeftTwips(const QWidget *window);
float outerTopTwips(const QWidget *window);
float outerWidthTwips(const QWidget *window);
float outerHeightTwips(const QWidget *window);

/// What the window manager's frame adds to the inner width and height, in twips: the frame drawn
/// or, before the window is shown, the one the window manager announces; 0 when there is none.
float frameWidthTwips(const QWidget *window);
float frameHeightTwips(const QWidget *window);

/// Moves and sizes a top-level window by its outer edges, in twips, in one operation.
void moveOuterTwips(QWidget *window, float left, float top, float width, float height);

/// Whether the window system tells a program where its windows stand. A Wayland client is
/// never told: its windows seem to stand at 0, 0 wherever they are.
bool windowPositionKnown();

/// Whether the window manager has put a frame around the window yet.
bool hasFrame(const QWidget *window);

WindowState windowState(const QWidget *window);

} // namespace controls
