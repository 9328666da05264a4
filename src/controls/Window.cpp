#include "controls/Window.h"

#include "controls/X11Window.h"
#include "system/Twips.h"

#include <QGuiApplication>
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace controls {

namespace {

// All of this works in device pixels, which on a screen of twice the density are finer than
// the toolkit's: a frame an odd number of them wide would otherwise be rounded.

qreal ratio(const QWidget *window)
{
    return window->devicePixelRatioF();
}

float twipsPerDevicePixel(const QWidget *window)
{
    return float(sys::twipsPerPixel() / ratio(window));
}

int toDevice(int pixels, const QWidget *window)
{
    return int(std::lround(pixels * ratio(window)));
}

// The toolkit's own idea of the frame, where the window system tells nothing finer.
QMargins toolkitFrame(const QWidget *window)
{
    const QRect outer = window->frameGeometry();
    const QRect inner = window->geometry();
    const auto d = [window](int pixels) { return toDevice(pixels, window); };
    return QMargins(d(inner.left() - outer.left()), d(inner.top() - outer.top()),
                    d(outer.right() - inner.right()), d(outer.bottom() - inner.bottom()));
}

// The frame around the window; before it is drawn, the one the window manager announces.
QMargins frame(const QWidget *window)
{
    if (const auto drawn = x11::drawnFrame(window))
        return *drawn;
    const QMargins toolkit = toolkitFrame(window);
    if (!toolkit.isNull() || window->isVisible())
        return toolkit;
    return x11::announcedFrame(window).value_or(QMargins());
}

// The inner area on the screen.
QRect innerArea(const QWidget *window)
{
    const QRect inner = window->geometry();
    const QPoint at = x11::innerPosition(window).value_or(
        QPoint(toDevice(inner.x(), window), toDevice(inner.y(), window)));
    return QRect(at, QSize(toDevice(inner.width(), window), toDevice(inner.height(), window)));
}

QRect outerArea(const QWidget *window)
{
    return innerArea(window).marginsAdded(frame(window));
}

} // namespace

float innerWidthTwips(const QWidget *window)
{
    return sys::pixelsToTwips(window->width());
}

float innerHeightTwips(const QWidget *window)
{
    return sys::pixelsToTwips(window->height());
}

float outerLeftTwips(const QWidget *window)
{
    return float(outerArea(window).left()) * twipsPerDevicePixel(window);
}

float outerTopTwips(const QWidget *window)
{
    return float(outerArea(window).top()) * twipsPerDevicePixel(window);
}

float outerWidthTwips(const QWidget *window)
{
    return float(outerArea(window).width()) * twipsPerDevicePixel(window);
}

float outerHeightTwips(const QWidget *window)
{
    return float(outerArea(window).height()) * twipsPerDevicePixel(window);
}

float frameWidthTwips(const QWidget *window)
{
    const QMargins m = frame(window);
    return float(m.left() + m.right()) * twipsPerDevicePixel(window);
}

float frameHeightTwips(const QWidget *window)
{
    const QMargins m = frame(window);
    return float(m.top() + m.bottom()) * twipsPerDevicePixel(window);
}

void moveOuterTwips(QWidget *window, float left, float top, float width, float height)
{
    // A window's position is that of its frame, its size that of its inner area.
    const float perDevicePixel = twipsPerDevicePixel(window);
    const auto toPixels = [window, perDevicePixel](float twips) {
        return int(std::lround(twips / perDevicePixel / ratio(window)));
    };
    const QMargins m = frame(window);
    const float frameWidth = float(m.left() + m.right()) * perDevicePixel;
    const float frameHeight = float(m.top() + m.bottom()) * perDevicePixel;
    window->resize(std::max(1, toPixels(width - frameWidth)),
                   std::max(1, toPixels(height - frameHeight)));
    // Moving a framed window to where it stands could shift it by a rounded device pixel.
    const QPoint place(toPixels(left), toPixels(top));
    if (window->frameGeometry().topLeft() != place || !window->testAttribute(Qt::WA_Moved))
        window->move(place);
}

bool windowPositionKnown()
{
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

bool hasFrame(const QWidget *window)
{
    return x11::drawnFrame(window).has_value() || !toolkitFrame(window).isNull();
}

WindowState windowState(const QWidget *window)
{
    const Qt::WindowStates state = window->windowState();
    if (state & Qt::WindowMinimized)
        return WindowState::Minimized;
    if (state & Qt::WindowFullScreen) // a maximised window may be full screen too
        return WindowState::FullScreen;
    if (state & Qt::WindowMaximized)
        return WindowState::Maximized;
    return WindowState::Normal;
}

} // namespace controls
