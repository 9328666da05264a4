#include "system/ScreenSaver.h"

#include "system/Logging.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QVariantMap>

#include <optional>
#include <utility>

namespace sys {

namespace {

class NoInhibitor : public ScreenSaverInhibitor {
public:
    void inhibit(const QString &) override {}
    void release() override {}
};

std::unique_ptr<ScreenSaverInhibitor> &installed()
{
    static std::unique_ptr<ScreenSaverInhibitor> inhibitor = std::make_unique<NoInhibitor>();
    return inhibitor;
}

// A desktop answers at once or not at all; a show must not wait for it.
constexpr int kAskTimeoutMs = 3000;
// A release at close holds the window this long at most.
constexpr int kReleaseTimeoutMs = 250;

const QString kScreenSaverService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
constexpr uint kPortalIdle = 8;

// Where the screen may be kept on, in the order they are asked: the screen saver service at
// its path, at the older path some desktops still use, then the portal.
QDBusMessage request(int where, const QString &reason)
{
    if (where < 2) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            kScreenSaverService,
            where == 0 ? QStringLiteral("/org/freedesktop/ScreenSaver")
                       : QStringLiteral("/ScreenSaver"),
            kScreenSaverService, QStringLiteral("Inhibit"));
        message << QCoreApplication::applicationName() << reason;
        return message;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(
        kPortalService, QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"));
    message << QString() << kPortalIdle << QVariantMap{{QStringLiteral("reason"), reason}};
    return message;
}
constexpr int kPlaces = 3; // the places request() knows

class DesktopInhibitor : public ScreenSaverInhibitor {
public:
    explicit DesktopInhibitor(const QDBusConnection &bus)
        : m_bus(bus)
    {
    }

    void inhibit(const QString &reason) override
    {
        if (m_wanted)
            return;
        m_wanted = true;
        // A request still on its way, or one granted and not released, serves again.
        if (m_asking || m_held)
            return;
        if (!m_bus.isConnected()) {
            qCDebug(logging::desktop) << "no session bus: the screen is not kept on by the desktop";
            return;
        }
        ask(0, reason);
    }

    void release() override
    {
        m_wanted = false;
        if (m_held)
            giveBack(QDBus::Block);
    }

private:
    void ask(int where, const QString &reason)
    {
        m_asking = true;
        auto *watcher = new QDBusPendingCallWatcher(
            m_bus.asyncCall(request(where, reason), kAskTimeoutMs), &m_context);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &m_context,
                         [this, watcher, where, reason] {
                             watcher->deleteLater();
                             answered(where, reason, watcher->reply());
                         });
    }

    void answered(int where, const QString &reason, const QDBusMessage &reply)
    {
        m_asking = false;
        const QDBusMessage asked = request(where, reason);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            qCDebug(logging::desktop).noquote() << "not kept on by" << asked.service()
                                                << asked.path() << ":" << reply.errorMessage();
            if (where + 1 < kPlaces && m_wanted)
                ask(where + 1, reason);
            return;
        }
        const QVariant handed = reply.arguments().first();
        if (where < 2) {
            QDBusMessage back =
                QDBusMessage::createMethodCall(kScreenSaverService, asked.path(),
                                               kScreenSaverService, QStringLiteral("UnInhibit"));
            back << handed.toUInt();
            m_held = back;
        } else {
            m_held = QDBusMessage::createMethodCall(
                kPortalService, handed.value<QDBusObjectPath>().path(),
                QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Close"));
        }
        qCDebug(logging::desktop).noquote()
            << "the screen is kept on by" << reply.service() << asked.path();
        // Released while the desktop was still deciding.
        if (!m_wanted)
            giveBack(QDBus::NoBlock);
    }

    void giveBack(QDBus::CallMode mode)
    {
        const QDBusMessage back = *std::exchange(m_held, std::nullopt);
        if (mode == QDBus::Block)
            m_bus.call(back, QDBus::Block, kReleaseTimeoutMs);
        else
            m_bus.asyncCall(back, kAskTimeoutMs);
    }

    QDBusConnection m_bus;
    QObject m_context; // the answers still awaited go with the inhibitor
    bool m_wanted = false;
    bool m_asking = false;
    std::optional<QDBusMessage> m_held; // gives back what the desktop granted
};

} // namespace

ScreenSaverInhibitor &screenSaverInhibitor()
{
    return *installed();
}

std::unique_ptr<ScreenSaverInhibitor>
setScreenSaverInhibitor(std::unique_ptr<ScreenSaverInhibitor> inhibitor)
{
    return std::exchange(installed(),
                         inhibitor ? std::move(inhibitor) : std::make_unique<NoInhibitor>());
}

std::unique_ptr<ScreenSaverInhibitor> desktopScreenSaverInhibitor(const QDBusConnection &bus)
{
    return std::make_unique<DesktopInhibitor>(bus);
}

} // namespace sys
