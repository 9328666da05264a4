#include "system/MonitorProfiles.h"

#include "system/Logging.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QFile>
#include <QHash>
#include <QScreen>
#include <QTimer>

#include <functional>
#include <utility>

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

const QString kService = QStringLiteral("org.freedesktop.ColorManager");
const QString kPath = QStringLiteral("/org/freedesktop/ColorManager");
const QString kDevice = QStringLiteral("org.freedesktop.ColorManager.Device");
const QString kProfile = QStringLiteral("org.freedesktop.ColorManager.Profile");
// The daemon answers from memory; one that takes longer is stuck, and the screen stays sRGB.
constexpr int kAskTimeoutMs = 5000;
// A profile is a few kilobytes; anything near this is not one.
constexpr qint64 kMaxProfileBytes = 16 << 20;
// A profile made default comes with a burst of signals; one look after them is enough.
constexpr int kSettleMs = 50;

QDBusMessage propertyOf(const QString &path, const QString &interface, const QString &name)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        kService, path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    message << interface << name;
    return message;
}

QVariant firstArgument(const QDBusMessage &reply)
{
    const QVariant value = reply.arguments().value(0);
    return value.userType() == qMetaTypeId<QDBusVariant>() ? value.value<QDBusVariant>().variant()
                                                           : value;
}

QByteArray readProfile(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    const QByteArray bytes = file.read(kMaxProfileBytes + 1);
    return bytes.size() > kMaxProfileBytes ? QByteArray() : bytes;
}

class ColourManagerProfiles : public MonitorProfiles {
    Q_OBJECT
public:
    explicit ColourManagerProfiles(const QDBusConnection &bus)
        : m_bus(bus)
    {
        m_settle.setSingleShot(true);
        m_settle.setInterval(kSettleMs);
        connect(&m_settle, &QTimer::timeout, this, &ColourManagerProfiles::lookAllUp);
        if (m_bus.isConnected())
            listen();
        else
            complain(QStringLiteral("no system bus"));
    }

    QByteArray profileFor(const QScreen *screen) override
    {
        // A screen without an output name has no device to look for.
        const QString name = screen ? screen->name() : QString();
        if (name.isEmpty() || !m_bus.isConnected())
            return QByteArray();
        const auto known = m_known.constFind(name);
        if (known != m_known.constEnd())
            return known->bytes;
        m_known.insert(name, Known());
        lookUp(name);
        return QByteArray();
    }

private slots:
    void somethingChanged() { m_settle.start(); }

private:
    struct Known {
        QByteArray bytes;
        int asking = 0; // the lookup whose answer counts; older ones are dropped
    };

    void listen()
    {
        const QStringList managerSignals{
            QStringLiteral("Changed"),       QStringLiteral("DeviceAdded"),
            QStringLiteral("DeviceRemoved"), QStringLiteral("DeviceChanged"),
            QStringLiteral("ProfileAdded"),  QStringLiteral("ProfileChanged"),
            QStringLiteral("ProfileRemoved")};
        for (const QString &name : managerSignals)
            m_bus.connect(kService, kPath, kService, name, this, SLOT(somethingChanged()));
        // Every device says so when its profiles change, at a path of its own.
        m_bus.connect(kService, QString(), kDevice, QStringLiteral("Changed"), this,
                      SLOT(somethingChanged()));
        auto *watcher = new QDBusServiceWatcher(kService, m_bus,
                                                QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
                &ColourManagerProfiles::somethingChanged);
    }

    void lookAllUp()
    {
        const QStringList names = m_known.keys();
        for (const QString &name : names)
            lookUp(name);
    }

    // Output name, then its device, its default profile, and that profile's file.
    void lookUp(const QString &name)
    {
        const int asking = ++m_known[name].asking;
        QDBusMessage find = QDBusMessage::createMethodCall(kService, kPath, kService,
                                                           QStringLiteral("FindDeviceByProperty"));
        find << QStringLiteral("XRANDR_name") << name;
        ask(find, name, asking, [this, name, asking](const QVariant &device) {
            const QString path = device.value<QDBusObjectPath>().path();
            ask(propertyOf(path, kDevice, QStringLiteral("Profiles")), name, asking,
                [this, name, asking](const QVariant &profiles) {
                    const auto paths = qdbus_cast<QList<QDBusObjectPath>>(profiles);
                    if (paths.isEmpty())
                        return answer(name, asking, QByteArray());
                    ask(propertyOf(paths.first().path(), kProfile, QStringLiteral("Filename")),
                        name, asking, [this, name, asking](const QVariant &fileName) {
                            const QByteArray bytes = readProfile(fileName.toString());
                            if (bytes.isEmpty())
                                complain(fileName.toString() + QStringLiteral(" not read"));
                            answer(name, asking, bytes);
                        });
                });
        });
    }

    void ask(const QDBusMessage &message, const QString &name, int asking,
             std::function<void(const QVariant &)> next)
    {
        auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, kAskTimeoutMs), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this, watcher, name, asking, next = std::move(next)] {
                    watcher->deleteLater();
                    const QDBusMessage reply = watcher->reply();
                    if (m_known.value(name).asking != asking)
                        return;
                    if (reply.type() == QDBusMessage::ReplyMessage)
                        return next(firstArgument(reply));
                    // An output without a device is the common case, not a failure.
                    if (reply.errorName() != kService + QStringLiteral(".NotFound"))
                        complain(reply.errorMessage());
                    answer(name, asking, QByteArray());
                });
    }

    void complain(const QString &why)
    {
        if (std::exchange(m_complained, true))
            return;
        qCDebug(logging::desktop).noquote()
            << "no monitor profiles from the colour manager:" << why;
    }

    void answer(const QString &name, int asking, const QByteArray &bytes)
    {
        Known &known = m_known[name];
        if (known.asking != asking || known.bytes == bytes)
            return;
        known.bytes = bytes;
        emit changed();
    }

    QDBusConnection m_bus;
    QHash<QString, Known> m_known; // by output name: every one asked for so far
    QTimer m_settle;
    bool m_complained = false; // one line says why, not one per lookup
};

} // namespace

MonitorProfiles &monitorProfiles()
{
    return *installed();
}

std::unique_ptr<MonitorProfiles> setMonitorProfiles(std::unique_ptr<MonitorProfiles> profiles)
{
    return std::exchange(installed(),
                         profiles ? std::move(profiles) : std::make_unique<NoProfiles>());
}

std::unique_ptr<MonitorProfiles> colourManagerProfiles(const QDBusConnection &bus)
{
    return std::make_unique<ColourManagerProfiles>(bus);
}

} // namespace sys

#include "MonitorProfiles.moc"
