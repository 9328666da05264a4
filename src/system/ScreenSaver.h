#pragma once

#include <QDBusConnection>
#include <QString>

#include <memory>

namespace sys {

/// Keeps the screen on: asks the desktop not to blank, dim or lock it until released. Every
/// request may go unanswered (no desktop, no bus): the screen then behaves as it always does.
class ScreenSaverInhibitor {
public:
    virtual ~ScreenSaverInhibitor() = default;
    /// Asks for the screen to stay on, giving the desktop a short reason it may show; nothing
    /// more while already asked.
    virtual void inhibit(const QString &reason) = 0;
    /// Lets the screen saver work again; nothing when not asked.
    virtual void release() = 0;
};

/// The inhibitor in use: one that does nothing unless another was installed.
ScreenSaverInhibitor &screenSaverInhibitor();

/// Replaces the inhibitor; nullptr goes back to the one that does nothing.
/// @return the inhibitor it replaced, so that a test can put it back
std::unique_ptr<ScreenSaverInhibitor>
setScreenSaverInhibitor(std::unique_ptr<ScreenSaverInhibitor> inhibitor);

/// The desktop's screen saver over D-Bus: the `org.freedesktop.ScreenSaver` service where the
/// desktop offers it, else the desktop portal's idle inhibition. Asks without waiting; a
/// release waits a moment at most, so that it still reaches the desktop from a program that
/// ends right after it. Either way a desktop drops what a program asked when it leaves the bus.
std::unique_ptr<ScreenSaverInhibitor>
desktopScreenSaverInhibitor(const QDBusConnection &bus = QDBusConnection::sessionBus());

} // namespace sys
