#pragma once

#include <QByteArray>
#include <QMargins>
#include <QPoint>

#include <optional>

class QScreen;
class QWidget;

/// What the X11 window system knows of a top-level window in device pixels, finer than the
/// toolkit's device-independent ones on a screen of twice the density. No value where the
/// program does not run on X11 or nobody can tell.
namespace controls::x11 {

/// The frame the window manager says it will draw around a top-level window that is not shown
/// yet. Knowing it before the window appears lets the window open at its final outer size.
/// Asked once per run: the window manager draws the same frame around every window of ours.
std::optional<QMargins> announcedFrame(const QWidget *window);

/// The frame the window manager has drawn around a shown window.
std::optional<QMargins> drawnFrame(const QWidget *window);

/// Where a shown window's inner area begins on the screen.
std::optional<QPoint> innerPosition(const QWidget *window);

/// Suspends the X server's own screen saver (true) or lets it run again (false). The server
/// counts suspensions, so each true wants exactly one false; it drops them all when the program
/// leaves. False where the program does not run on X11 or the server cannot suspend it.
bool suspendScreenSaver(bool suspend);

/// The colour profile a desktop set on the X server for the monitor `screen` is: the root
/// window's _ICC_PROFILE for the first in Xinerama's order, _ICC_PROFILE_n for the n-th after
/// it. Empty where none is set or the program does not run on X11.
QByteArray iccProfile(const QScreen *screen);

/// Asks the X server to tell of changes to the root window's properties. False where the
/// program does not run on X11.
bool watchRootProperties();

/// Whether an event the X connection delivered says that a monitor's profile was set, changed
/// or removed.
bool changesIccProfile(const void *event);

} // namespace controls::x11
