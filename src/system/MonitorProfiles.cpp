#include "system/MonitorProfiles.h"
namespace sys {
namespace {
class NoProfiles : public MonitorProfiles {
public:
    QByteArray profileFor(const QScreen *) override { return QByteArray(); }
};
std::unique_ptr<MonitorProfiles> &installed()
{
    static std::unique_ptr<MonitorProfiles> profiles = std::make_unique<NoProfiles>();
    return profiles;
}
} // namespace
MonitorProfiles &monitorProfiles()
{
    return *installed();
}
std::unique_ptr<MonitorProfiles> setMonitorProfiles(std::unique_ptr<MonitorProfiles> profiles)
{
    std::unique_ptr<MonitorProfiles> old = std::move(installed());
    installed() = profiles ? std::move(profiles) : std::make_unique<NoProfiles>();
    return old;
}
std::unique_ptr<MonitorProfiles> colourManagerProfiles(const QDBusConnection &)
{
    return std::make_unique<NoProfiles>();
}
} // namespace sys
