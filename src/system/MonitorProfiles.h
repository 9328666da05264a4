#pragma once

#include <QByteArray>
#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <memory>

class QScreen;

namespace sys {

/// Where the desktop keeps each monitor's colour profile. Asking never waits on the desktop:
/// what is not known yet is empty, and changed() tells when it comes.
class MonitorProfiles : public QObject {
    Q_OBJECT
public:
    /// The ICC profile of the monitor `screen` is, as its file holds it; empty where none is
    /// known, which means sRGB.
    virtual QByteArray profileFor(const QScreen *screen) = 0;

signals:
    /// A monitor's profile may have changed, or come to be known.
    void changed();
};

/// The profiles in use: none (every monitor sRGB) unless others were installed.
MonitorProfiles &monitorProfiles();

/// Replaces the profiles in use; nullptr goes back to none.
/// @return the profiles it replaced, so that a test can put them back
std::unique_ptr<MonitorProfiles> setMonitorProfiles(std::unique_ptr<MonitorProfiles> profiles);

/// The colour manager's over D-Bus (`org.freedesktop.ColorManager`, on the system bus where
/// desktops keep it): the device of the screen's output, found by its output name, and that
/// device's default profile. Answers come asynchronously; the service's signals ask again.
std::unique_ptr<MonitorProfiles>
colourManagerProfiles(const QDBusConnection &bus = QDBusConnection::systemBus());

} // namespace sys
