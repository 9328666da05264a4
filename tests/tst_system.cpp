// System services: numbers, twips, directory search, the desktop's screen saver and monitor
// profiles.
#include "TestSupport.h"
#include "system/DirSearch.h"
#include "system/Memory.h"
#include "system/MonitorProfiles.h"
#include "system/Numbers.h"
#include "system/ScreenSaver.h"
#include "system/TerminationSignals.h"
#include "system/Twips.h"

#include <QColorSpace>
#include <QColorTransform>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QElapsedTimer>
#include <QFrame>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <ctime>
#include <optional>

// The colour manager as its clients see it, on the test's bus: devices made with their output's
// name, profiles made from their files, a device's default profile chosen.
class ColourManagerDouble : public QDBusVirtualObject {
public:
    explicit ColourManagerDouble(const QString &address)
        : m_bus(QDBusConnection::connectToBus(address, QStringLiteral("colour manager")))
    {
        m_bus.registerVirtualObject(QStringLiteral("/org/freedesktop/ColorManager"), this,
                                    QDBusConnection::SubPath);
        m_bus.registerService(QStringLiteral("org.freedesktop.ColorManager"));
    }
    ~ColourManagerDouble() override { QDBusConnection::disconnectFromBus(m_bus.name()); }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &bus) override;
    QString introspect(const QString &) const override { return QString(); }

private:
    QDBusConnection m_bus;
    QHash<QString, QVariant> m_properties; // by object path: a device's profiles, a profile's file
    QHash<QString, QString> m_devices;     // device paths by output name
};

bool ColourManagerDouble::handleMessage(const QDBusMessage &message, const QDBusConnection &bus)
{
    const QVariantList args = message.arguments();
    const QString member = message.member(), at = message.path();
    const auto objectPath = [](const QString &path) {
        return QVariant::fromValue(QDBusObjectPath(path));
    };
    QVariant handed;
    if (member == QLatin1String("CreateProfile") || member == QLatin1String("CreateDevice")) {
        const auto fields = qdbus_cast<QMap<QString, QString>>(args.value(2));
        const QString made = at + '/' + args.value(0).toString();
        m_properties[made] = fields.value("Filename");
        m_devices[fields.value("XRANDR_name")] = made;
        handed = objectPath(made);
    } else if (member.contains(QLatin1String("Profile"))) { // the profile added or chosen is first
        auto profiles = m_properties.value(at).value<QList<QDBusObjectPath>>();
        const auto profile = args.last().value<QDBusObjectPath>();
        profiles.removeAll(profile);
        m_properties[at] = QVariant::fromValue(QList{profile} + profiles);
        bus.send(QDBusMessage::createSignal(at, message.interface(), "Changed"));
    } else if (member == QLatin1String("FindDeviceByProperty")) {
        const QString device = m_devices.value(args.value(1).toString());
        if (device.isEmpty())
            return bus.send(message.createErrorReply(message.interface() + ".NotFound", "none"));
        handed = objectPath(device);
    } else if (member == QLatin1String("Get")) {
        handed = QVariant::fromValue(QDBusVariant(m_properties.value(at)));
    } else {
        return false;
    }
    return bus.send(handed.isValid() ? message.createReply(handed) : message.createReply());
}

class SystemTest : public QObject {
    Q_OBJECT

private slots:
    void roundHalfEven_data();
    void roundHalfEven();
    void singleToText_data();
    void singleToText();
    void twips();
    void dirSearch_data();
    void dirSearch();
    void dirSearchSkipsSpecialFiles();
    void secondTerminationSignalEndsAtOnce();
    void screenKeptOnByTheDesktop_data();
    void screenKeptOnByTheDesktop();
    void memoryLimitOfTheControlGroup();
    void monitorProfilesFromTheColourManager_data();
    void monitorProfilesFromTheColourManager();

    void cleanupTestCase()
    {
        m_bus.kill();
        m_bus.waitForFinished();
    }

private:
    // One private bus serves every test that needs one.
    QString privateBus()
    {
        if (m_bus.state() == QProcess::NotRunning)
            m_busAddress = requireSessionBus(m_bus);
        return m_busAddress;
    }

    QProcess m_bus;
    QString m_busAddress;
};

void SystemTest::memoryLimitOfTheControlGroup()
{
    QCOMPARE(sys::parseCgroupLimit("max\n"), -1);
    QCOMPARE(sys::parseCgroupLimit("9223372036854771712\n"), -1); // version 1's "unlimited"
    QCOMPARE(sys::parseCgroupLimit("314572800\n"), 314572800);
    // This process, moved into a child group of its own with a limit, sees that limit.
    QString group, limitFile;
    const QString self = QString::fromLatin1(readAll("/proc/self/cgroup"));
    for (const QString &line : self.split('\n')) {
        if (line.section(':', 1, 1).split(',').contains("memory"))
            group = "/sys/fs/cgroup/memory" + line.section(':', 2),
            limitFile = "memory.limit_in_bytes";
        else if (line.startsWith("0::") && group.isEmpty())
            group = "/sys/fs/cgroup" + line.section(':', 2), limitFile = "memory.max";
    }
    const QString child = group + QStringLiteral("/pelmora-test-%1").arg(::getpid());
    const QByteArray pid = QByteArray::number(::getpid());
    if (group.isEmpty() || !QDir().mkdir(child))
        QSKIP("no memory control group can be made here");
    const bool limited =
        writeAll(child + '/' + limitFile, "314572800") && writeAll(child + "/cgroup.procs", pid);
    const qint64 seen = sys::memoryLimitBytes();
    writeAll(group + "/cgroup.procs", pid);
    QDir().rmdir(child);
    if (!limited)
        QSKIP("the control group takes no limit or no process here");
    QCOMPARE(seen, 314572800);
    QVERIFY(sys::memoryLimitBytes() > seen);
    QVERIFY(sys::residentBytes() > 0);
}

void SystemTest::roundHalfEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("expected");
    QTest::newRow("2.5") << 2.5 << 2.0;
    QTest::newRow("3.5") << 3.5 << 4.0;
    QTest::newRow("-2.5") << -2.5 << -2.0;
    QTest::newRow("20.5") << 20.5 << 20.0;
    QTest::newRow("21.5") << 21.5 << 22.0;
    QTest::newRow("2.51") << 2.51 << 3.0;
    QTest::newRow("-0.49") << -0.49 << 0.0;
}

void SystemTest::roundHalfEven()
{
    QFETCH(double, value);
    QFETCH(double, expected);
    QCOMPARE(sys::roundHalfEven(value), expected);
}

void SystemTest::singleToText_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("expected");
    QTest::newRow("whole") << 1200.0f << "C"
                           << "1200";
    QTest::newRow("negative") << -45.0f << "C"
                              << "-45";
    QTest::newRow("tenths") << 3.5f << "C"
                            << "3.5";
    QTest::newRow("below one") << 0.5f << "C"
                               << "0.5";
    QTest::newRow("no trailing zero") << 2.0f << "C"
                                      << "2";
    QTest::newRow("seven digits") << 1234567.0f << "C"
                                  << "1234567";
    QTest::newRow("rounded to seven") << 1.23456789f << "C"
                                      << "1.234568";
    QTest::newRow("inexact tenth") << 0.1f << "C"
                                   << "0.1";
    QTest::newRow("no grouping") << 98765.5f << "en_IN"
                                 << "98765.5";
    QTest::newRow("decimal comma") << -1507.5f << "de_DE"
                                   << "-1507,5";
    QTest::newRow("Arabic-Indic digits") << 1500.0f << "ar_EG"
                                         << "١٥٠٠";
    QTest::newRow("Persian digits") << 3562.5f << "fa_IR"
                                    << "۳۵۶۲٫۵";
    QTest::newRow("Devanagari digits") << 1500.0f << "mr_IN"
                                       << "१५००";
}

void SystemTest::singleToText()
{
    QFETCH(float, value);
    QFETCH(QString, locale);
    QFETCH(QString, expected);
    const QLocale shown(locale);
    QCOMPARE(sys::singleToText(value, shown), expected);
    // What is stored reads back alike in every locale, and as what the locale shows.
    const QString stored = sys::singleToText(value, QLocale::c());
    const std::optional<float> read = sys::parseSingle(stored, shown);
    QVERIFY(read);
    QCOMPARE(read, sys::parseSingle(stored, QLocale::c()));
    QCOMPARE(read, sys::parseSingle(expected, shown));
    QCOMPARE(sys::twoDigits(7), QStringLiteral("07"));
}

void SystemTest::twips()
{
    const auto doubled = overrideHook(sys::setDpiSource, std::make_unique<FixedDpi>(192));
    QCOMPARE(sys::twipsPerPixel(), 7.5f);
    QCOMPARE(sys::twipsToPixels(3900), 520);
    {
        const auto plain = overrideHook(sys::setDpiSource, std::make_unique<FixedDpi>(96));
        QCOMPARE(sys::twipsPerPixel(), 15.0f);
        QCOMPARE(sys::twipsToPixels(3900), 260);
        QCOMPARE(sys::pixelsToTwips(7), 105.0f);
    }
    QCOMPARE(sys::twipsPerPixel(), 7.5f); // the source it replaced is back, not the screen's
}

void SystemTest::dirSearch_data()
{
    QTest::addColumn<QString>("pattern"); // relative to the tree; "" is the tree itself
    QTest::addColumn<int>("attributes");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("folders and files")
        << "*.*" << 16 << QStringList{".", "..", "a.jpg", "B", "c.txt", "sub"};
    QTest::newRow("files only") << "*.*" << 0 << QStringList{"a.jpg", "c.txt"};
    QTest::newRow("wildcard") << "*.JPG" << 16 << QStringList{"a.jpg"};
    QTest::newRow("exact folder") << "sub" << 16 << QStringList{"sub"};
    QTest::newRow("exact folder, files only") << "sub" << 0 << QStringList{};
    QTest::newRow("exact file") << "a.jpg" << 0 << QStringList{"a.jpg"};
    QTest::newRow("hidden folder") << ".hid" << 16 << QStringList{};
    QTest::newRow("missing") << "nothing" << 16 << QStringList{};
    QTest::newRow("trailing separator") << "sub/" << 16 << QStringList{".", "..", "x.jpg"};
}

void SystemTest::dirSearch()
{
    QFETCH(QString, pattern);
    QFETCH(int, attributes);
    QFETCH(QStringList, expected);
    const TestTree tree({"a.jpg", "c.txt", "B/", "sub/x.jpg", ".hid/y.jpg", ".h.jpg"});

    sys::DirSearch search;
    QStringList found;
    for (QString name = search.first(tree.path(pattern), attributes); !name.isEmpty();
         name = search.next())
        found << name;
    QCOMPARE(found, expected);
}

void SystemTest::dirSearchSkipsSpecialFiles()
{
    const TestTree tree({"a.jpg"});
    QCOMPARE(::mkfifo(QFile::encodeName(tree.path("pipe.jpg")).constData(), 0600), 0);
    QVERIFY(QFile::link(tree.path("a.jpg"), tree.path("link.jpg")));
    QVERIFY(QFile::link(tree.path("gone.jpg"), tree.path("dangling.jpg")));

    sys::DirSearch search;
    QStringList found;
    for (QString n = search.first(tree.path("*.jpg"), 16); !n.isEmpty(); n = search.next())
        found << n;
    QCOMPARE(found, (QStringList{"a.jpg", "link.jpg"}));
    QVERIFY(sys::existingName(tree.path("pipe.jpg"), 0).isEmpty());
    QVERIFY(sys::DirSearch().first(QStringLiteral("/*.*"), 16) != QStringLiteral("."));
}

void SystemTest::secondTerminationSignalEndsAtOnce()
{
    // The first signal only asks for a close; a second one before the end ends the program.
    sys::TerminationSignals termination;
    const pid_t child = ::fork();
    if (child == 0) {
        ::raise(SIGTERM);
        ::raise(SIGTERM);
        ::_exit(0);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 128 + SIGTERM);
}

QTEST_MAIN(SystemTest)
#include "tst_system.moc"

void SystemTest::screenKeptOnByTheDesktop_data()
{
    QTest::addColumn<QString>("service");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>(
        "steps"); // inhibit, release, wait for the desktop, settle, program gone
    QTest::addColumn<QStringList>("expected");
    const QString saver = QStringLiteral("org.freedesktop.ScreenSaver");
    const QString inhibit =
        QStringLiteral("Inhibit(%1, Slide show)").arg(QCoreApplication::applicationName());
    QTest::newRow("screen saver service") << saver << "/org/freedesktop/ScreenSaver"
                                          << "iwir" << QStringList{inhibit, "UnInhibit"};
    QTest::newRow("older path") << saver << "/ScreenSaver"
                                << "iwr" << QStringList{inhibit, "UnInhibit"};
    QTest::newRow("portal") << "org.freedesktop.portal.Desktop"
                            << "/org/freedesktop/portal/desktop"
                            << "iwr" << QStringList{"portal Inhibit(8, Slide show)", "Close"};
    QTest::newRow("released before the answer") << saver << "/org/freedesktop/ScreenSaver"
                                                << "ir" << QStringList{inhibit, "UnInhibit"};
    QTest::newRow("program gone") << saver << "/org/freedesktop/ScreenSaver"
                                  << "iwg" << QStringList{inhibit, "left the bus holding 1"};
    QTest::newRow("no desktop service") << "org.example.Nothing"
                                        << "/"
                                        << "isr" << QStringList();
}

void SystemTest::screenKeptOnByTheDesktop()
{
    QFETCH(QString, service);
    QFETCH(QString, path);
    QFETCH(QString, steps);
    QFETCH(QStringList, expected);
    const QString address = privateBus();
    if (address.isEmpty())
        return;
    DesktopDouble desktop(address, service, path);
    const QString client = QStringLiteral("program ") + QTest::currentDataTag();
    auto inhibitor =
        sys::desktopScreenSaverInhibitor(QDBusConnection::connectToBus(address, client));
    QElapsedTimer asking;
    asking.start();
    for (const QChar step : steps) {
        if (step == QLatin1Char('i'))
            inhibitor->inhibit(QStringLiteral("Slide show"));
        else if (step == QLatin1Char('r'))
            inhibitor->release();
        else if (step == QLatin1Char('w'))
            QTRY_COMPARE(desktop.held(), 1);
        else if (step == QLatin1Char('s'))
            QTest::qWait(300);
        else
            inhibitor.reset();
        if (step == QLatin1Char('g') || step == steps.back())
            QDBusConnection::disconnectFromBus(client);
    }
    QVERIFY(asking.elapsed() < 2000); // the window never waits for an answer
    QTRY_COMPARE(desktop.record, expected);
    QTest::qWait(200); // and nothing more
    QCOMPARE(desktop.record, expected);
    QCOMPARE(desktop.held(), 0);
}

void SystemTest::monitorProfilesFromTheColourManager_data()
{
    QTest::addColumn<QString>("manager"); // the stand-in, Debian's own, or none
    QTest::addColumn<bool>("named");      // the devices are the screens' outputs
    QTest::newRow("outputs A and B") << "double" << true;
    QTest::newRow("unknown outputs") << "double" << false;
    QTest::newRow("no service") << "" << false;
    QTest::newRow("the real daemon") << "colord" << true;
}

void SystemTest::monitorProfilesFromTheColourManager()
{
    QFETCH(QString, manager);
    QFETCH(bool, named);
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (screens.size() < 2 || screens[1]->name().isEmpty())
        QSKIP("needs two named screens, as ctest's offscreen configuration gives");
    const QString address = privateBus();
    if (address.isEmpty())
        return;
    const QString service = QStringLiteral("org.freedesktop.ColorManager");
    const QString root = QStringLiteral("/org/freedesktop/ColorManager");
    const QString tag = QTest::currentDataTag();
    QDBusConnection setup = QDBusConnection::connectToBus(address, "setup " + tag);
    std::optional<ColourManagerDouble> stand;
    QProcess colord;
    if (manager == QLatin1String("double"))
        stand.emplace(address);
    if (manager == QLatin1String("colord")) {
        if (!QFile::exists("/usr/libexec/colord"))
            QSKIP("colord is not installed");
        // Its state folder is the system's: it gets an empty one of its own.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SYSTEM_BUS_ADDRESS", address);
        colord.setProcessEnvironment(env);
        colord.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        colord.start("unshare",
                     {"--mount", "sh", "-c",
                      "mount -t tmpfs colord /var/lib/colord && exec /usr/libexec/colord"});
        QTRY_VERIFY_WITH_TIMEOUT(setup.interface()->isServiceRegistered(service) ||
                                     colord.state() == QProcess::NotRunning,
                                 20000);
        if (colord.state() == QProcess::NotRunning)
            QSKIP("colord cannot be given a state folder of its own here: that takes root");
    }
    qDBusRegisterMetaType<QMap<QString, QString>>();
    QStringList errors;
    QVariantList profilePaths, devicePaths; // as the manager made them
    const auto call = [&](const QString &path, const QString &member, const QVariantList &args) {
        QDBusMessage message = QDBusMessage::createMethodCall(
            service, path, path == root ? service : service + ".Device", member);
        message.setArguments(args);
        const QDBusMessage reply = setup.call(message, QDBus::BlockWithGui);
        if (reply.type() != QDBusMessage::ReplyMessage)
            errors << member + ": " + reply.errorMessage();
        return QVariant::fromValue(reply.arguments().value(0).value<QDBusObjectPath>());
    };
    const QTemporaryDir files;
    const QByteArrayList icc{QColorSpace(QColorSpace::AdobeRgb).iccProfile(),
                             QColorSpace(QColorSpace::DisplayP3).iccProfile()};
    for (int i = 0; i < 2 && !manager.isEmpty(); ++i) {
        const QString file = files.filePath(QString::number(i)), id = file.right(1);
        QVERIFY(writeAll(file, icc[i]));
        const QMap<QString, QString> output{{"Kind", "display"},
                                            {"XRANDR_name", named ? screens[i]->name() : "DP-9"}};
        profilePaths << call(
            root, "CreateProfile",
            {"p" + id, "temp", QVariant::fromValue(QMap<QString, QString>{{"Filename", file}})});
        devicePaths << call(root, "CreateDevice", {"d" + id, "temp", QVariant::fromValue(output)});
        call(devicePaths[i].value<QDBusObjectPath>().path(), "AddProfile",
             {"hard", profilePaths[i]});
    }
    QCOMPARE(errors, QStringList());

    QVERIFY(sys::monitorProfiles().profileFor(screens[0]).isEmpty()); // none installed: sRGB
    const auto installed =
        overrideHook(sys::setMonitorProfiles,
                     sys::colourManagerProfiles(QDBusConnection::connectToBus(address, tag)));
    sys::MonitorProfiles &profiles = sys::monitorProfiles();
    QSignalSpy changed(&profiles, &sys::MonitorProfiles::changed);
    const auto seen = [&] {
        return QByteArrayList{profiles.profileFor(screens[0]), profiles.profileFor(screens[1])};
    };
    const QByteArrayList none{QByteArray(), QByteArray()};
    QCOMPARE(seen(), none); // asked, not yet answered
    if (!named) {
        QTest::qWait(300);
        QCOMPARE(seen(), none);
        QCOMPARE(changed.count(), 0);
        return;
    }
    QTRY_COMPARE(seen(), icc);
    QCOMPARE(changed.count(), 2);
    // B's profile made the default of A's output too.
    const QString outputA = devicePaths[0].value<QDBusObjectPath>().path();
    call(outputA, "AddProfile", {"hard", profilePaths[1]});
    call(outputA, "MakeProfileDefault", {profilePaths[1]});
    QTRY_COMPARE(seen(), (QByteArrayList{icc[1], icc[1]}));
    QCOMPARE(changed.count(), 3);
    QCOMPARE(errors, QStringList());
    // The manager leaves the bus: sRGB again.
    stand.reset();
    colord.kill();
    QTRY_COMPARE(seen(), none);
    QCOMPARE(changed.count(), 5);
}
