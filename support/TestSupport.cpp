#include "TestSupport.h"

#include <QBuffer>
#include <QComboBox>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include "system/Process.h"

#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>
#include <lcms2.h>

TestTree::TestTree(const QStringList &names)
{
    add(names);
}

namespace {

void giveBackRights(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink())
        return;
    ::chmod(QFile::encodeName(path).constData(), info.isDir() ? 0700 : 0600);
    if (info.isDir()) {
        for (const QString &name : QDir(path).entryList(QDir::AllEntries | QDir::Hidden |
                                                        QDir::System | QDir::NoDotAndDotDot))
            giveBackRights(path + QLatin1Char('/') + name);
    }
}

} // namespace

TestTree::~TestTree()
{
    giveBackRights(m_dir.path());
}

QString TestTree::path(const QString &name) const
{
    return name.isEmpty() ? m_dir.path() : m_dir.path() + QLatin1Char('/') + name;
}

void TestTree::add(const QStringList &names)
{
    for (const QString &name : names) {
        const QString full = path(name);
        if (name.endsWith(QLatin1Char('/'))) {
            QDir().mkpath(full);
            continue;
        }
        QDir().mkpath(QFileInfo(full).path());
        QFile file(full);
        file.open(QIODevice::WriteOnly);
    }
}

namespace {

// An APP1 segment holding a big-endian TIFF block with one IFD entry: Orientation (0x0112).
QByteArray exifOrientationSegment(int orientation)
{
    QByteArray tiff("MM\0*\0\0\0\x08", 8);
    tiff += QByteArray("\0\x01", 2);                   // one entry
    tiff += QByteArray("\x01\x12\0\x03\0\0\0\x01", 8); // tag, SHORT, count 1
    tiff += char(0) + QByteArray(1, char(orientation)) + QByteArray(2, '\0');
    tiff += QByteArray(4, '\0'); // no next IFD
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    const int length = payload.size() + 2;
    return QByteArray("\xFF\xE1", 2) + char(length >> 8) + char(length & 0xFF) + payload;
}

} // namespace

QColor asOnMonitor(QColor colour, const QByteArray &profile)
{
    cmsHPROFILE from = cmsCreate_sRGBProfile();
    cmsHPROFILE to = cmsOpenProfileFromMem(profile.constData(), cmsUInt32Number(profile.size()));
    cmsHTRANSFORM transform =
        cmsCreateTransform(from, TYPE_RGB_8, to, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
    const quint8 in[3] = {quint8(colour.red()), quint8(colour.green()), quint8(colour.blue())};
    quint8 out[3] = {};
    cmsDoTransform(transform, in, out, 1);
    cmsDeleteTransform(transform);
    cmsCloseProfile(from);
    cmsCloseProfile(to);
    return QColor(out[0], out[1], out[2]);
}

bool writeJpeg(const QString &path, QSize size, QColor left, QColor right, int exifOrientation)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(right);
    QPainter(&image).fillRect(0, 0, size.width() / 2, size.height(), left);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPEG", 95))
        return false;
    if (exifOrientation > 0)
        data.insert(2, exifOrientationSegment(exifOrientation));
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

QByteArray cmykJpeg(QSize size, const QList<QColor> &inks, bool adobe)
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char *out = nullptr;
    unsigned long length = 0;
    jpeg_mem_dest(&cinfo, &out, &length);
    cinfo.image_width = JDIMENSION(size.width());
    cinfo.image_height = JDIMENSION(size.height());
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    cinfo.write_Adobe_marker = adobe;
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uchar> row(size_t(size.width()) * 4, 0);
    const int flip = adobe ? 255 : 0;
    for (int x = 0; x < size.width(); ++x) {
        const QColor ink = inks[x * inks.size() / size.width()];
        uchar *p = row.data() + size_t(x) * 4;
        p[0] = uchar(ink.cyan() ^ flip);
        p[1] = uchar(ink.magenta() ^ flip);
        p[2] = uchar(ink.yellow() ^ flip);
        p[3] = uchar(ink.black() ^ flip);
    }
    JSAMPROW rows[1] = {row.data()};
    while (cinfo.next_scanline < cinfo.image_height)
        jpeg_write_scanlines(&cinfo, rows, 1);
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray data(reinterpret_cast<const char *>(out), qsizetype(length));
    std::free(out);
    return data;
}

IsolatedViewer isolateViewer(int *endings)
{
    static QTemporaryDir home;
    static int counter = 0;
    const QString folder = home.path() + QStringLiteral("/run%1").arg(++counter);
    QDir().mkpath(folder);
    return {folder + QStringLiteral("/pelmora.ini"),
            overrideHook(sys::setApplicationFile, folder + QStringLiteral("/pelmora")),
            overrideHook(sys::setProcessEnder, [endings] {
                if (endings)
                    ++*endings;
            })};
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

void pressKey(QWidget *window, Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QTest::keyClick(window->windowHandle(), key, modifiers);
}

QStringList comboEntries(const QComboBox *combo)
{
    QStringList result;
    for (int i = 0; i < combo->count(); ++i)
        result << combo->itemText(i);
    return result;
}

bool inUnprivilegedChild(const std::function<bool()> &check)
{
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

QString startXServer(QProcess &server, QSize screen)
{
    server.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    server.setStandardErrorFile(QProcess::nullDevice());
    // It tells the display it picked on standard output, once it takes connections.
    server.start(QStringLiteral("Xvfb"),
                 {"-displayfd", "1", "-screen", "0",
                  QStringLiteral("%1x%2x24").arg(screen.width()).arg(screen.height()), "-dpi", "96",
                  "-nolisten", "tcp", "-noreset"});
    if (!server.waitForStarted(5000))
        return QString();
    QElapsedTimer waiting;
    waiting.start();
    while (!server.canReadLine() && server.state() == QProcess::Running &&
           waiting.elapsed() < 10000)
        server.waitForReadyRead(200);
    const QByteArray number = server.readLine().trimmed();
    return number.isEmpty() ? QString() : QStringLiteral(":") + QString::fromLatin1(number);
}

void xServerMissing(const char *why)
{
    if (qgetenv("CI") == "true")
        QTest::qFail(
            QByteArray(why).append(" (CI is \"true\": this machine must run it)").constData(),
            __FILE__, __LINE__);
    else
        QTest::qSkip(why, __FILE__, __LINE__);
}

QString requireXServer(QProcess &server, QSize screen, const QStringList &tools)
{
    for (const QString &tool : QStringList{QStringLiteral("Xvfb")} + tools) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) {
            xServerMissing(qPrintable(tool + QStringLiteral(" is not installed")));
            return QString();
        }
    }
    const QString display = startXServer(server, screen);
    if (display.isEmpty())
        xServerMissing("Xvfb did not start");
    return display;
}

QString requireSessionBus(QProcess &bus)
{
    if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
        xServerMissing("dbus-daemon is not installed");
        return QString();
    }
    bus.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    bus.start(QStringLiteral("dbus-daemon"),
              {QStringLiteral("--session"), QStringLiteral("--print-address"),
               QStringLiteral("--nofork")});
    bus.waitForStarted(5000);
    QElapsedTimer waiting;
    waiting.start();
    while (!bus.canReadLine() && bus.state() == QProcess::Running && waiting.elapsed() < 10000)
        bus.waitForReadyRead(200);
    const QString address = QString::fromUtf8(bus.readLine().trimmed());
    if (address.isEmpty())
        xServerMissing("dbus-daemon did not start");
    return address;
}

DesktopDouble::DesktopDouble(const QString &address, const QString &service, const QString &path)
    : m_bus(QDBusConnection::connectToBus(address, QStringLiteral("double") + path))
    , m_path(path)
    , m_watcher(new QDBusServiceWatcher(this))
{
    m_bus.registerVirtualObject(path, this, QDBusConnection::SubPath);
    m_bus.registerService(service);
    // The bus tells when a client leaves: whatever it held is dropped.
    m_watcher->setConnection(m_bus);
    m_watcher->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    QObject::connect(
        m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, [this](const QString &client) {
            const int before = held();
            for (auto it = m_held.begin(); it != m_held.end();)
                it = it.value() == client ? m_held.erase(it) : std::next(it);
            if (held() != before)
                record << QStringLiteral("left the bus holding %1").arg(before - held());
        });
}

DesktopDouble::~DesktopDouble()
{
    QDBusConnection::disconnectFromBus(m_bus.name()); // its name and its objects go with it
}

bool DesktopDouble::handleMessage(const QDBusMessage &message, const QDBusConnection &connection)
{
    const QString call = message.interface() + QLatin1Char('.') + message.member();
    const QVariantList args = message.arguments();
    QVariant handed;
    QString key; // what the client gives back
    if (call == QLatin1String("org.freedesktop.ScreenSaver.Inhibit") && message.path() == m_path) {
        record << QStringLiteral("Inhibit(%1, %2)")
                      .arg(args.value(0).toString(), args.value(1).toString());
        static uint cookie = 0;
        handed = ++cookie;
        key = QString::number(cookie);
    } else if (call == QLatin1String("org.freedesktop.portal.Inhibit.Inhibit") &&
               message.path() == m_path) {
        record << QStringLiteral("portal Inhibit(%1, %2)")
                      .arg(args.value(1).toUInt())
                      .arg(qdbus_cast<QVariantMap>(args.value(2))
                               .value(QStringLiteral("reason"))
                               .toString());
        static int request = 0;
        key = m_path + QStringLiteral("/request/%1").arg(++request);
        handed = QVariant::fromValue(QDBusObjectPath(key));
    } else if (call == QLatin1String("org.freedesktop.ScreenSaver.UnInhibit") ||
               call == QLatin1String("org.freedesktop.portal.Request.Close")) {
        const QString what = message.member() == QLatin1String("Close")
                                 ? message.path()
                                 : QString::number(args.value(0).toUInt());
        record << (m_held.remove(what) ? message.member()
                                       : message.member() + QStringLiteral(" of nothing held"));
        connection.send(message.createReply());
        return true;
    } else {
        return false;
    }
    m_held.insert(key, message.service());
    m_watcher->addWatchedService(message.service());
    connection.send(message.createReply(handed));
    return true;
}

QProcessEnvironment displayEnvironment(const QString &display)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    env.remove(QStringLiteral("QT_QPA_PLATFORM")); // or it would not talk to the X server
    return env;
}

QByteArray runTool(const QProcessEnvironment &env, const QString &program, const QStringList &args,
                   int *exitCode)
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program, args);
    if (!process.waitForFinished(10000))
        process.kill();
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAllStandardOutput();
}

bool startWindowManager(QProcess &manager, const QProcessEnvironment &env)
{
    manager.setProcessEnvironment(env);
    manager.setStandardOutputFile(QProcess::nullDevice());
    manager.setStandardErrorFile(QProcess::nullDevice());
    manager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!manager.waitForStarted(5000))
        return false;
    // It names its check window on the root window once it has taken the screen over.
    return QTest::qWaitFor(
        [&env] {
            return runTool(env, QStringLiteral("xprop"),
                           {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                .contains("window id");
        },
        10000);
}

QString findWindow(const QProcessEnvironment &env, const QString &name, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        const QByteArray found = runTool(env, QStringLiteral("xdotool"),
                                         {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                          QStringLiteral("--name"), name})
                                     .trimmed();
        if (!found.isEmpty())
            return QString::fromLatin1(found.split('\n').first());
        QTest::qWait(50);
    }
    return QString();
}
