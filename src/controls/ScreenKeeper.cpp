#include "controls/ScreenKeeper.h"

#include "controls/X11Window.h"

namespace controls {

namespace {

class ScreenKeeper : public sys::ScreenSaverInhibitor {
public:
    void inhibit(const QString &reason) override
    {
        m_desktop->inhibit(reason);
        // The server counts suspensions: one at a time, so that one release ends it.
        if (!m_suspended)
            m_suspended = x11::suspendScreenSaver(true);
    }

    void release() override
    {
        m_desktop->release();
        if (m_suspended)
            x11::suspendScreenSaver(false);
        m_suspended = false;
    }

private:
    std::unique_ptr<sys::ScreenSaverInhibitor> m_desktop = sys::desktopScreenSaverInhibitor();
    bool m_suspended = false;
};

} // namespace

std::unique_ptr<sys::ScreenSaverInhibitor> screenKeeper()
{
    return std::make_unique<ScreenKeeper>();
}

} // namespace controls
