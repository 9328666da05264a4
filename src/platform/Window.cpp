#include "Window.h"

#include "FrameExtents.h"
#include "Twips.h"

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <algorithm>

namespace platform {

namespace {

QMargins drawnFrameMargins(const QWidget *window)
{
    const QRect outer = window->frameGeometry();
    const QRect inner = window->geometry();
    return QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                    outer.right() - inner.right(), outer.bottom() - inner.bottom());
}

QMargins frameMargins(const QWidget *window)
{
    // Before the frame is drawn, it is the one the window manager announces, if any.
    const QMargins drawn = drawnFrameMargins(window);
    if (!drawn.isNull() || window->isVisible())
        return drawn;
    return announcedFrameMargins(window).value_or(QMargins());
}

} // namespace

float innerWidthTwips(const QWidget *window)
{
    return pixelsToTwips(window->width());
}

float innerHeightTwips(const QWidget *window)
{
    return pixelsToTwips(window->height());
}

float outerLeftTwips(const QWidget *window)
{
    return pixelsToTwips(window->frameGeometry().left());
}

float outerTopTwips(const QWidget *window)
{
    return pixelsToTwips(window->frameGeometry().top());
}

float outerWidthTwips(const QWidget *window)
{
    return pixelsToTwips(window->frameGeometry().width());
}

float outerHeightTwips(const QWidget *window)
{
    return pixelsToTwips(window->frameGeometry().height());
}

float frameWidthTwips(const QWidget *window)
{
    const QMargins m = frameMargins(window);
    return pixelsToTwips(m.left() + m.right());
}

float frameHeightTwips(const QWidget *window)
{
    const QMargins m = frameMargins(window);
    return pixelsToTwips(m.top() + m.bottom());
}

void moveOuterTwips(QWidget *window, float left, float top, float width, float height)
{
    // A window's position is that of its frame, its size that of its inner area; until the
    // window manager has framed it the frame is taken as nothing.
    const QMargins m = frameMargins(window);
    window->resize(std::max(1, twipsToPixels(width) - m.left() - m.right()),
                   std::max(1, twipsToPixels(height) - m.top() - m.bottom()));
    // Moving a framed window to where it stands would shift it on a screen whose device pixels
    // are finer than ours, when the frame is an odd number of them wide.
    const QPoint place(twipsToPixels(left), twipsToPixels(top));
    if (window->frameGeometry().topLeft() != place || !window->testAttribute(Qt::WA_Moved))
        window->move(place);
}

bool hasFrame(const QWidget *window)
{
    return !drawnFrameMargins(window).isNull();
}

WindowState windowState(const QWidget *window)
{
    const Qt::WindowStates state = window->windowState();
    if (state & Qt::WindowMinimized)
        return WindowState::Minimized;
    if (state & Qt::WindowMaximized)
        return WindowState::Maximized;
    return WindowState::Normal;
}

} // namespace platform
