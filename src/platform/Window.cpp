#include "Window.h"

#include "Twips.h"

#include <QMargins>
#include <QRect>
#include <QWidget>

#include <algorithm>

namespace platform {

namespace {

QMargins frameMargins(const QWidget *window)
{
    const QRect outer = window->frameGeometry();
    const QRect inner = window->geometry();
    return QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                    outer.right() - inner.right(), outer.bottom() - inner.bottom());
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

void moveOuterTwips(QWidget *window, float left, float top, float width, float height)
{
    // A window's position is that of its frame, its size that of its inner area; until the
    // window manager has framed it the frame is taken as nothing.
    const QMargins m = frameMargins(window);
    window->resize(std::max(1, twipsToPixels(width) - m.left() - m.right()),
                   std::max(1, twipsToPixels(height) - m.top() - m.bottom()));
    window->move(twipsToPixels(left), twipsToPixels(top));
}

bool hasFrame(const QWidget *window)
{
    return !frameMargins(window).isNull();
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
