#include "controls/MonitorColours.h"

#include "controls/X11Window.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

namespace controls {

namespace {

class MonitorColours : public sys::MonitorProfiles, public QAbstractNativeEventFilter {
public:
    MonitorColours()
    {
        connect(m_manager.get(), &sys::MonitorProfiles::changed, this,
                &sys::MonitorProfiles::changed);
        if (x11::watchRootProperties())
            QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~MonitorColours() override
    {
        if (QCoreApplication::instance())
            QCoreApplication::instance()->removeNativeEventFilter(this);
    }

    QByteArray profileFor(const QScreen *screen) override
    {
        const QByteArray managed = m_manager->profileFor(screen);
        return managed.isEmpty() ? x11::iccProfile(screen) : managed;
    }

    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override
    {
        if (type == "xcb_generic_event_t" && x11::changesIccProfile(message))
            emit changed();
        return false; // the toolkit still sees every event
    }

private:
    std::unique_ptr<sys::MonitorProfiles> m_manager = sys::colourManagerProfiles();
};

} // namespace

std::unique_ptr<sys::MonitorProfiles> monitorColours()
{
    return std::make_unique<MonitorColours>();
}

} // namespace controls
