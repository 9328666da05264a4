// The real program in a real X server: started as a user would start it, driven with the mouse
// and keys, looked at through screenshots, with and without a window manager.
#include "TestSupport.h"

#include <QColorSpace>
#include <QImage>
#include <QMargins>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

#include <csignal>
#include <sys/prctl.h>
#include <xcb/screensaver.h>
#include <xcb/xcb.h>

#include <cstdlib>

namespace {

const QString kStartedCaption = QStringLiteral("Pelmora");

// Sets, or with no bytes removes, a property of the X server's root window, as a desktop sets a
// monitor's profile there.
bool setRootProperty(const QString &display, const char *name, const QByteArray &bytes)
{
    xcb_connection_t *c = xcb_connect(qPrintable(display), nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_intern_atom_reply_t *atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(qstrlen(name)), name), nullptr);
    const xcb_void_cookie_t done =
        bytes.isEmpty() ? xcb_delete_property_checked(c, root, atom ? atom->atom : 0)
                        : xcb_change_property_checked(c, XCB_PROP_MODE_REPLACE, root,
                                                      atom ? atom->atom : 0, XCB_ATOM_CARDINAL, 8,
                                                      uint32_t(bytes.size()), bytes.constData());
    xcb_generic_error_t *error = xcb_request_check(c, done);
    const bool set = atom && !error && !xcb_connection_has_error(c);
    std::free(error);
    std::free(atom);
    xcb_disconnect(c);
    return set;
}

QString caption(const QString &name)
{
    return QStringLiteral("Pelmora(N)\u3000\u3010") + name + QStringLiteral("\u3011");
}

} // namespace

class RealWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void showInARealWindow();
    void windowManagerCloseAndMaximise();
    void placeUnderAWindowManager_data();
    void placeUnderAWindowManager();
    void keysReachTheFocusedControl();
    void showFromTheKeyboardAndHeldKeys();
    void fullScreenAndLogout_data();
    void fullScreenAndLogout();
    void screenKeptOnDuringAShow_data();
    void screenKeptOnDuringAShow();
    void waylandSession();
    void coloursForTheMonitorItIsOn();

private:
    void startWindowManager();
    void setDpi(int dpi);
    QMargins frameExtents(const QString &window);
    void pressKey(const QString &window, const QString &key);
    QRect startAndMeasure(const QString &lang);
    QByteArray run(const QString &program, const QStringList &args, int *exitCode = nullptr);
    QString findWindow(int timeoutMs = 15000);
    QRect windowGeometry(const QString &window);
    QString windowName(const QString &window);
    QImage screenshot();
    void startViewer(const QByteArray &settings);
    bool waitForViewerEnd(int timeoutMs = 15000);
    int screenSaverState();

    QProcess m_bus;

    QProcess m_server;
    QProcess m_windowManager;
    QProcess m_viewer;
    QString m_display;
    QProcessEnvironment m_env;
    std::unique_ptr<TestTree> m_tree;
    QString m_ini;
    QMargins m_frame; // of the window last measured, in device pixels
};

void RealWindowTest::initTestCase()
{
    m_display = requireXServer(m_server, QSize(1280, 1024));
    if (m_display.isEmpty())
        return;
    for (const char *tool : {"xdotool", "import", "wmctrl", "openbox", "xprop"})
        QVERIFY2(!QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty(), tool);
    m_env = displayEnvironment(m_display);
    // A sanitized viewer reports leaks at its end; those of the system's D-Bus library are not
    // ours.
    m_env.insert(QStringLiteral("LSAN_OPTIONS"),
                 QStringLiteral("suppressions=%1").arg(QStringLiteral(PELMORA_LSAN_SUPPRESSIONS)));
    for (int i = 0; i < 50; ++i) {
        int code = -1;
        run(QStringLiteral("xdotool"), {QStringLiteral("getdisplaygeometry")}, &code);
        if (code == 0)
            return;
        QTest::qWait(100);
    }
    xServerMissing("Xvfb did not come up");
}

void RealWindowTest::cleanupTestCase()
{
    m_bus.kill();
    m_bus.waitForFinished();
    m_windowManager.kill();
    m_windowManager.waitForFinished();
    m_server.kill();
    m_server.waitForFinished();
}

void RealWindowTest::init()
{
    m_tree = std::make_unique<TestTree>(QStringList{"app/", "pics/"});
    QVERIFY(QFile::copy(QStringLiteral(PELMORA_EXECUTABLE), m_tree->path("app/pelmora")));
    QVERIFY(QFile::setPermissions(m_tree->path("app/pelmora"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(writeJpeg(m_tree->path("pics/a.jpg"), QSize(400, 200), Qt::red, Qt::red));
    QVERIFY(writeJpeg(m_tree->path("pics/b.jpg"), QSize(200, 400), Qt::green, Qt::green));
    m_ini = m_tree->path("app/pelmora.ini");
}

void RealWindowTest::cleanup()
{
    setDpi(96);
    run(QStringLiteral("xset"), {QStringLiteral("s"), QStringLiteral("off")});
    if (m_viewer.state() != QProcess::NotRunning) {
        m_viewer.kill();
        m_viewer.waitForFinished();
    }
}

QByteArray RealWindowTest::run(const QString &program, const QStringList &args, int *exitCode)
{
    return runTool(m_env, program, args, exitCode);
}

QString RealWindowTest::findWindow(int timeoutMs)
{
    return ::findWindow(m_env, QStringLiteral("^Pelmora"), timeoutMs);
}

QRect RealWindowTest::windowGeometry(const QString &window)
{
    // The inner area on the screen, wherever a window manager has put its frame. (Without an id,
    // xwininfo would wait for a click.)
    if (window.isEmpty())
        return QRect();
    const QString info =
        QString::fromUtf8(run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window}));
    const auto value = [&](const char *label) {
        const auto match =
            QRegularExpression(QStringLiteral("%1:\\s*(-?\\d+)").arg(QLatin1String(label)))
                .match(info);
        return match.hasMatch() ? match.captured(1).toInt() : -1;
    };
    return QRect(value("Absolute upper-left X"), value("Absolute upper-left Y"), value("Width"),
                 value("Height"));
}

QString RealWindowTest::windowName(const QString &window)
{
    return QString::fromUtf8(
               run(QStringLiteral("xdotool"), {QStringLiteral("getwindowname"), window}))
        .trimmed();
}

QImage RealWindowTest::screenshot()
{
    return QImage::fromData(
        run(QStringLiteral("import"),
            {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("png:-")}),
        "PNG");
}

void RealWindowTest::startWindowManager()
{
    // Once for all the tests that want one, as a desktop has it.
    if (m_windowManager.state() != QProcess::NotRunning)
        return;
    QVERIFY(::startWindowManager(m_windowManager, m_env));
}

void RealWindowTest::setDpi(int dpi)
{
    // What a desktop's settings tell the toolkit; read by a program when it starts.
    const QString resources = m_tree->path("resources");
    QVERIFY(writeAll(resources, "Xft.dpi: " + QByteArray::number(dpi) + "\n"));
    int code = -1;
    run(QStringLiteral("xrdb"), {QStringLiteral("-nocpp"), QStringLiteral("-merge"), resources},
        &code);
    QCOMPARE(code, 0);
}

QMargins RealWindowTest::frameExtents(const QString &window)
{
    const QStringList e =
        QString::fromLatin1(run(QStringLiteral("xprop"), {QStringLiteral("-id"), window,
                                                          QStringLiteral("_NET_FRAME_EXTENTS")}))
            .section(QLatin1Char('='), 1)
            .split(QLatin1Char(','));
    return e.size() == 4 ? QMargins(e[0].toInt(), e[2].toInt(), e[1].toInt(), e[3].toInt())
                         : QMargins();
}

void RealWindowTest::pressKey(const QString &window, const QString &key)
{
    // Sent to the window itself, so no hand-over of the focus can take it. When the key closes the
    // window, xdotool fails before it lets go and the server holds the key down; let go of it.
    run(QStringLiteral("xdotool"),
        {QStringLiteral("key"), QStringLiteral("--window"), window, key});
    run(QStringLiteral("xdotool"), {QStringLiteral("keyup"), key});
}

// Starts the viewer in a locale, measures its inner area once framed, and closes it.
QRect RealWindowTest::startAndMeasure(const QString &lang)
{
    m_env.insert(QStringLiteral("LANG"), lang);
    m_viewer.setProcessEnvironment(m_env);
    m_viewer.start(m_tree->path("app/pelmora"), {});
    m_env.remove(QStringLiteral("LANG"));
    const QString window = findWindow();
    QTest::qWait(500);
    m_frame = frameExtents(window);
    const QRect inner = windowGeometry(window);
    run(QStringLiteral("wmctrl"), {QStringLiteral("-i"), QStringLiteral("-c"), window});
    return waitForViewerEnd() ? inner : QRect();
}

void RealWindowTest::startViewer(const QByteArray &settings)
{
    QVERIFY(writeAll(m_ini, settings));
    m_viewer.setProcessEnvironment(m_env);
    m_viewer.start(m_tree->path("app/pelmora"), {});
    QVERIFY(m_viewer.waitForStarted(5000));
}

bool RealWindowTest::waitForViewerEnd(int timeoutMs)
{
    // Waiting on a process that has already ended reports failure.
    const bool ended =
        (m_viewer.state() == QProcess::NotRunning || m_viewer.waitForFinished(timeoutMs)) &&
        m_viewer.exitStatus() == QProcess::NormalExit && m_viewer.exitCode() == 0;
    if (!ended) {
        qWarning().noquote() << "the viewer did not end cleanly:" << m_viewer.exitCode()
                             << m_viewer.readAllStandardError().right(4000);
    }
    return ended;
}

void RealWindowTest::showInARealWindow()
{
    const QString pics = m_tree->path("pics");
    startViewer("[Position]\nLeft=1500\nTop=1500\nWidth=3900\nHeight=3375\n[Display]\nTime=5\n"
                "[Folders]\n00=" +
                pics.toUtf8() + "\n");
    const QString window = findWindow();
    QVERIFY(!window.isEmpty());
    QCOMPARE(windowName(window), kStartedCaption);
    const QRect place = windowGeometry(window);
    QCOMPARE(place, QRect(100, 100, 260, 225)); // no window manager: no frame

    // Start, at its designed place on the panel.
    run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QString::number(place.x() + 82),
         QString::number(place.y() + 32), QStringLiteral("click"), QStringLiteral("1")});
    // Start drew a.jpg; the ticks show b.jpg, a.jpg, b.jpg, ... every half second.
    QStringList seen;
    QElapsedTimer clock;
    clock.start();
    while (seen.size() < 3 && clock.elapsed() < 15000) {
        const QString name = windowName(window);
        if (name != kStartedCaption && (seen.isEmpty() || seen.last() != name))
            seen << name;
        QTest::qWait(30);
    }
    QCOMPARE(seen, (QStringList{caption("b.jpg"), caption("a.jpg"), caption("b.jpg")}));

    // Pause on a.jpg with a click on the picture, then look.
    QTRY_COMPARE_WITH_TIMEOUT(windowName(window), caption("a.jpg"), 5000);
    run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QString::number(place.x() + 130),
         QString::number(place.y() + 112), QStringLiteral("click"), QStringLiteral("1")});
    QTest::qWait(800);
    QCOMPARE(windowName(window), caption("a.jpg")); // paused: still a.jpg after an interval
    const QImage shot = screenshot();
    QVERIFY(!shot.isNull());
    const auto at = [&](int x, int y) { return shot.pixelColor(place.x() + x, place.y() + y); };
    const auto red = [](QColor c) { return c.red() > 200 && c.green() < 60 && c.blue() < 60; };
    const auto black = [](QColor c) { return c.red() < 30 && c.green() < 30 && c.blue() < 30; };
    // 400 x 200 in 260 x 225: full width, 130 high, from 48 to 177, black bands above and below.
    QVERIFY(black(at(130, 20)));
    QVERIFY(black(at(130, 46)));
    QVERIFY(red(at(130, 49)));
    QVERIFY(red(at(2, 112)));
    QVERIFY(red(at(257, 112)));
    QVERIFY(red(at(130, 176)));
    QVERIFY(black(at(130, 179)));
    QVERIFY(black(at(130, 215)));

    // Enlarged after its file is gone: the same picture, refitted to fill the new height.
    QVERIFY(QFile::remove(pics + QStringLiteral("/a.jpg")));
    run(QStringLiteral("xdotool"),
        {QStringLiteral("windowsize"), window, QStringLiteral("600"), QStringLiteral("300")});
    QTRY_COMPARE_WITH_TIMEOUT(windowGeometry(window).size(), QSize(600, 300), 5000);
    QTest::qWait(1000);
    const QImage enlarged = screenshot();
    for (const QPoint inside : {QPoint(300, 150), QPoint(3, 3), QPoint(596, 296)})
        QVERIFY(red(enlarged.pixelColor(place.topLeft() + inside)));
    QCOMPARE(windowName(window), caption("a.jpg"));

    // Esc stops the show, Esc on the panel ends the program.
    pressKey(window, QStringLiteral("Escape"));
    QTRY_COMPARE_WITH_TIMEOUT(windowName(window), kStartedCaption, 5000);
    pressKey(window, QStringLiteral("Escape"));
    QVERIFY(waitForViewerEnd());
    QCOMPARE(readAll(m_ini), "[Position]\nLeft=1500\nTop=1500\nWidth=9000\nHeight=4500\n"
                             "[Display]\nTime=5\n[Folders]\n00=" +
                                 pics.toUtf8() + "\n");
}

void RealWindowTest::windowManagerCloseAndMaximise()
{
    startWindowManager();
    const QByteArray place = "[Position]\nLeft=3000\nTop=2250\nWidth=4500\nHeight=4500\n";

    // Maximised or minimised, then closed by the window manager: the saved place stays the
    // normal one.
    for (const QStringList &away :
         {QStringList{"wmctrl", "-i", "-r", "%1", "-b", "add,maximized_vert,maximized_horz"},
          QStringList{"xdotool", "windowminimize", "%1"},
          QStringList{"wmctrl", "-i", "-r", "%1", "-b", "add,fullscreen"}}) {
        startViewer(place + "[Display]\nTime=35\n");
        const QString window = findWindow();
        QVERIFY(!window.isEmpty());
        QTest::qWait(500);
        run(away.first(), away.mid(1).replaceInStrings(QStringLiteral("%1"), window));
        QTRY_VERIFY_WITH_TIMEOUT(
            windowGeometry(window).width() > 1000 ||
                run(QStringLiteral("xprop"), {QStringLiteral("-id"), window}).contains("Iconic"),
            5000);
        run(QStringLiteral("wmctrl"), {QStringLiteral("-i"), QStringLiteral("-c"), window});
        QVERIFY(waitForViewerEnd());
        QCOMPARE(readAll(m_ini), place + "[Display]\nTime=35\n");
    }

    // Maximised and restored: back at the normal place; closed with the title bar's button,
    // it saves that place, frame included, as it found it.
    startViewer(place + "[Display]\nTime=35\n");
    const QString window = findWindow();
    QVERIFY(!window.isEmpty());
    QTest::qWait(500);
    const QRect normal = windowGeometry(window);
    run(QStringLiteral("wmctrl"),
        {QStringLiteral("-i"), QStringLiteral("-r"), window, QStringLiteral("-b"),
         QStringLiteral("add,maximized_vert,maximized_horz")});
    QTRY_VERIFY_WITH_TIMEOUT(windowGeometry(window).width() > 1000, 5000);
    run(QStringLiteral("wmctrl"),
        {QStringLiteral("-i"), QStringLiteral("-r"), window, QStringLiteral("-b"),
         QStringLiteral("remove,maximized_vert,maximized_horz")});
    QTRY_COMPARE_WITH_TIMEOUT(windowGeometry(window), normal, 5000);
    // The close button sits at the right end of the title bar, just above the inner area.
    run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QString::number(normal.right() - 8),
         QString::number(normal.top() - 10), QStringLiteral("click"), QStringLiteral("1")});
    QVERIFY(waitForViewerEnd());
    QCOMPARE(readAll(m_ini), place + "[Display]\nTime=35\n");
}

void RealWindowTest::placeUnderAWindowManager_data()
{
    QTest::addColumn<int>("dpi");
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QByteArray>("settings");
    QTest::addColumn<QRect>("outer"); // where the window should stand, in logical pixels; a null
                                      // size: the designed inner area in whatever frame it gets
    const QByteArray place = "[Position]\nLeft=1500\nTop=1500\nWidth=4500\nHeight=4500\n";
    QTest::newRow("first start") << 96 << "C.UTF-8" << QByteArray() << QRect(0, 0, 0, 0);
    QTest::newRow("first start at 192 DPI") << 192 << "C.UTF-8" << QByteArray() << QRect();
    QTest::newRow("Arabic digits") << 96 << "ar_EG.UTF-8" << place << QRect(100, 100, 300, 300);
    QTest::newRow("Persian digits, 192 DPI")
        << 192 << "fa_IR.UTF-8" << place << QRect(100, 100, 300, 300);
    QTest::newRow("decimal comma, from an older file, 192 DPI")
        << 192 << "de_DE.UTF-8"
        << QByteArray("[Position]\nLeft=1507,5\nTop=1492,5\nWidth=4500\nHeight=4500\n")
        << QRect(100, 100, 300, 300);
}

void RealWindowTest::placeUnderAWindowManager()
{
    QFETCH(int, dpi);
    QFETCH(QString, lang);
    QFETCH(QByteArray, settings);
    QFETCH(QRect, outer);
    setDpi(dpi);
    startWindowManager();
    if (settings.isEmpty())
        QFile::remove(m_ini);
    else
        QVERIFY(writeAll(m_ini, settings));
    // Numbers are stored alike in every locale, so the next start reads them back.
    const QRegularExpression stored(
        QStringLiteral("^\\[Position\\]\nLeft=-?[\\d.]+\nTop=-?[\\d.]+\n"
                       "Width=[\\d.]+\nHeight=[\\d.]+\n\\[Display"));
    QList<QRect> starts;
    for (int i = 0; i < 3; ++i) {
        starts << startAndMeasure(lang);
        QVERIFY2(stored.match(QString::fromLatin1(readAll(m_ini))).hasMatch(),
                 readAll(m_ini).constData());
    }
    QCOMPARE(starts.at(1), starts.at(0)); // no drift, not by a frame nor by a pixel
    QCOMPARE(starts.at(2), starts.at(0));
    const int scale = dpi / 96; // device pixels per logical pixel
    const QRect expected = outer.isEmpty()
                               ? QRect(m_frame.left(), m_frame.top(), 260 * scale, 225 * scale)
                               : QRect(outer.topLeft() * scale, outer.size() * scale) - m_frame;
    // A frame an odd number of device pixels wide ends on a half logical pixel: one off at most.
    const QRect got = starts.at(0);
    const QPoint sizeOff(got.width() - expected.width(), got.height() - expected.height());
    QVERIFY2((got.topLeft() - expected.topLeft()).manhattanLength() <= 2 * (scale - 1) &&
                 sizeOff.manhattanLength() <= 2 * (scale - 1),
             qPrintable(QDebug::toString(got)));
}

void RealWindowTest::keysReachTheFocusedControl()
{
    startWindowManager();
    startViewer("[Folders]\n00=" + m_tree->path("pics").toUtf8() + "\n");
    const QString window = findWindow();
    QVERIFY(!window.isEmpty());
    QTest::qWait(500);
    const QImage before = screenshot();
    const QRect inner = windowGeometry(window);
    // Focus goes first to SubFolders, then in the designed order; Space is the window's at every
    // stop and presses, ticks or opens nothing; Right moves the interval only on the scroll bar.
    for (int stop = 0; stop < 8; ++stop) {
        pressKey(window, QStringLiteral("space"));
        if (stop == 2)
            pressKey(window, QStringLiteral("Right"));
        QTest::qWait(100);
        QCOMPARE(windowName(window), kStartedCaption); // no show started, no dialog on top
        pressKey(window, QStringLiteral("Tab"));
    }
    QTest::qWait(2500); // a show started by mistake would have changed the caption by now
    QCOMPARE(windowName(window), kStartedCaption);
    const QImage after = screenshot();
    for (const QPoint box : {QPoint(159, 100), QPoint(159, 80)}) { // inside SubFolders, Randomize
        const QPoint at = inner.topLeft() + box;
        QCOMPARE(after.pixelColor(at), before.pixelColor(at)); // neither box was ticked
    }
    pressKey(window, QStringLiteral("Escape"));
    QVERIFY(waitForViewerEnd());
    QVERIFY(readAll(m_ini).contains("Time=25\n"));
}

void RealWindowTest::showFromTheKeyboardAndHeldKeys()
{
    startWindowManager();
    startViewer("[Display]\nTime=5\n[Folders]\n00=" + m_tree->path("pics").toUtf8() + "\n");
    const QString window = findWindow();
    QVERIFY(!window.isEmpty());
    QTest::qWait(500);
    run(QStringLiteral("xset"), {QStringLiteral("r"), QStringLiteral("on")}); // held keys repeat
    const auto hold = [this](const char *key) {
        run(QStringLiteral("xdotool"), {QStringLiteral("keydown"), QString::fromLatin1(key)});
        QTest::qWait(1500); // past the repeat delay, well into the repeats
        run(QStringLiteral("xdotool"), {QStringLiteral("keyup"), QString::fromLatin1(key)});
    };
    // From SubFolders to Start, which Return presses.
    for (int i = 0; i < 4; ++i)
        pressKey(window, QStringLiteral("Tab"));
    pressKey(window, QStringLiteral("Return"));
    QTRY_VERIFY_WITH_TIMEOUT(windowName(window) != kStartedCaption, 3000);
    // Space held pauses the show once, and it stays paused.
    hold("space");
    const QString paused = windowName(window);
    QTest::qWait(1200);
    QCOMPARE(windowName(window), paused);
    // Esc held stops the show, and the panel stays; the focus is back on Start, which the
    // keypad's Enter presses.
    hold("Escape");
    QTest::qWait(300);
    QCOMPARE(windowName(window), kStartedCaption);
    QCOMPARE(m_viewer.state(), QProcess::Running);
    pressKey(window, QStringLiteral("KP_Enter"));
    QTRY_VERIFY_WITH_TIMEOUT(windowName(window) != kStartedCaption, 3000);
    pressKey(window, QStringLiteral("Escape"));
    pressKey(window, QStringLiteral("Escape"));
    QVERIFY(waitForViewerEnd());
}

void RealWindowTest::fullScreenAndLogout_data()
{
    QTest::addColumn<int>("dpi");
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("96 DPI, SIGTERM") << 96 << SIGTERM;
    QTest::newRow("192 DPI, SIGHUP") << 192 << SIGHUP;
    QTest::newRow("96 DPI, SIGINT") << 96 << SIGINT;
}

void RealWindowTest::fullScreenAndLogout()
{
    QFETCH(int, dpi);
    QFETCH(int, signalNumber);
    setDpi(dpi);
    startWindowManager();
    const QByteArray place = "[Position]\nLeft=3000\nTop=2250\nWidth=4500\nHeight=4500\n";
    const QByteArray folders = "[Folders]\n00=" + m_tree->path("pics").toUtf8() + "\n";
    startViewer(place + "[Display]\nTime=5\n" + folders);
    const QString window = findWindow();
    QVERIFY(!window.isEmpty());
    QTest::qWait(500);
    const QRect normal = windowGeometry(window);
    const QRect screen(0, 0, 1280, 1024);
    pressKey(window, QStringLiteral("F11")); // on the panel, nothing
    // The interval one step longer on the scroll bar, the focus's second stop.
    for (const char *key : {"Tab", "Tab", "Right"})
        pressKey(window, QString::fromLatin1(key));
    const QStringList start{"mousemove", QString::number(normal.x() + 82 * dpi / 96),
                            QString::number(normal.y() + 32 * dpi / 96), "click", "1"};
    run(QStringLiteral("xdotool"), start);
    QCOMPARE(windowGeometry(window), normal);

    // Paused on a.jpg, 400 x 200, then full screen: 1280 x 640 from 192 to 831, no frame.
    QTRY_COMPARE_WITH_TIMEOUT(windowName(window), caption("a.jpg"), 5000);
    pressKey(window, QStringLiteral("space"));
    pressKey(window, QStringLiteral("F11"));
    QTRY_COMPARE_WITH_TIMEOUT(windowGeometry(window), screen, 5000);
    QTest::qWait(1000);
    const QImage shot = screenshot();
    const auto red = [&](int x, int y) { return shot.pixelColor(x, y).red() > 200; };
    QVERIFY(!red(640, 188) && !red(640, 835) && !red(3, 100) && !red(1276, 1000));
    QVERIFY(red(640, 196) && red(640, 827) && red(3, 512) && red(1276, 512));
    pressKey(window, QStringLiteral("Escape"));
    QTRY_COMPARE_WITH_TIMEOUT(windowGeometry(window), normal, 5000); // the panel at its place

    // Full screen by the window manager, a show running, then the logout: the normal place and
    // the new interval saved, within 3 s.
    run(QStringLiteral("xdotool"), start);
    run(QStringLiteral("wmctrl"), {QStringLiteral("-i"), QStringLiteral("-r"), window,
                                   QStringLiteral("-b"), QStringLiteral("add,fullscreen")});
    QTRY_COMPARE_WITH_TIMEOUT(windowGeometry(window), screen, 5000);
    QCOMPARE(::kill(pid_t(m_viewer.processId()), signalNumber), 0);
    QVERIFY(m_viewer.waitForFinished(3000));
    QCOMPARE(m_viewer.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_viewer.exitCode(), 0);
    QCOMPARE(readAll(m_ini), place + "[Display]\nTime=10\n" + folders);
}

int RealWindowTest::screenSaverState()
{
    xcb_connection_t *c = xcb_connect(qPrintable(m_display), nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_screensaver_query_info_reply_t *info =
        xcb_screensaver_query_info_reply(c, xcb_screensaver_query_info(c, root), nullptr);
    const int state = info ? info->state : -1;
    std::free(info);
    xcb_disconnect(c);
    return state;
}

void RealWindowTest::screenKeptOnDuringAShow_data()
{
    QTest::addColumn<QString>("end");
    QTest::addColumn<QStringList>("record"); // the desktop's, once the show has ended
    const QString inhibit = QStringLiteral("Inhibit(Pelmora, Slide show)");
    QTest::newRow("stopped") << "stop" << QStringList{inhibit, "UnInhibit"};
    QTest::newRow("closed") << "close" << QStringList{inhibit, "UnInhibit"};
    QTest::newRow("killed") << "kill" << QStringList{inhibit, "left the bus holding 1"};
}

void RealWindowTest::screenKeptOnDuringAShow()
{
    QFETCH(QString, end);
    QFETCH(QStringList, record);
    static const QString address = requireSessionBus(m_bus);
    if (address.isEmpty())
        return;
    startWindowManager();
    DesktopDouble desktop(address, QStringLiteral("org.freedesktop.ScreenSaver"),
                          QStringLiteral("/org/freedesktop/ScreenSaver"));
    m_env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    startViewer("[Display]\nTime=5\n[Folders]\n00=" + m_tree->path("pics").toUtf8() + "\n");
    m_env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    const QString window = findWindow();
    QVERIFY(!window.isEmpty());
    QTest::qWait(500);
    const QRect place = windowGeometry(window);
    // The X server blanks the screen after 2 s without input; the click on Start is the last.
    run(QStringLiteral("xset"), {QStringLiteral("s"), QStringLiteral("2"), QStringLiteral("0")});
    run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QString::number(place.x() + 82),
         QString::number(place.y() + 32), QStringLiteral("click"), QStringLiteral("1")});
    QTRY_COMPARE(desktop.record, QStringList{record.first()});
    QElapsedTimer show;
    show.start();
    while (show.elapsed() < 5000) { // two and a half times the screen saver's time
        QVERIFY(screenSaverState() != XCB_SCREENSAVER_STATE_ON);
        QTest::qWait(250);
    }
    QVERIFY(windowName(window) != kStartedCaption); // the show ran all along

    if (end == QLatin1String("stop")) {
        pressKey(window, QStringLiteral("Escape"));
        QTRY_COMPARE(windowName(window), kStartedCaption);
    } else if (end == QLatin1String("close")) {
        run(QStringLiteral("wmctrl"), {QStringLiteral("-i"), QStringLiteral("-c"), window});
        QTRY_VERIFY(m_viewer.state() == QProcess::NotRunning);
        QCOMPARE(m_viewer.exitCode(), 0);
    } else {
        m_viewer.kill();
        QTRY_VERIFY(m_viewer.state() == QProcess::NotRunning);
    }
    QTRY_COMPARE(desktop.record, record);
    QCOMPARE(desktop.held(), 0);
    // The X server's own screen saver works again, with the panel on screen or without a program.
    QTRY_COMPARE_WITH_TIMEOUT(screenSaverState(), int(XCB_SCREENSAVER_STATE_ON), 5000);
}

void RealWindowTest::waylandSession()
{
    if (QStandardPaths::findExecutable(QStringLiteral("weston")).isEmpty())
        return xServerMissing("weston is not installed");
    // A compositor of its own, drawing into memory, with a runtime folder only it and we use.
    QProcessEnvironment env = m_env;
    env.remove(QStringLiteral("DISPLAY"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_tree->path("app"));
    QVERIFY(QFile::setPermissions(m_tree->path("app"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    env.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("pelmora-test"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    // A sanitized viewer's leak report would list the toolkit's Wayland modules, some unloaded
    // by then and so nameless to a suppression; ours are counted in the X11 runs.
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    QProcess weston;
    weston.setProcessEnvironment(env);
    weston.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    weston.start(QStringLiteral("weston"),
                 {QStringLiteral("--backend=headless-backend.so"), QStringLiteral("--use-pixman"),
                  QStringLiteral("--socket=pelmora-test"), QStringLiteral("--width=1280"),
                  QStringLiteral("--height=1024"), QStringLiteral("--debug")});
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_tree->path("app/pelmora-test")), 10000);

    // The place an X11 session saved on a second screen, a folder that is gone since.
    const QByteArray pics = m_tree->path("pics").toUtf8();
    const QByteArray place = "[Position]\nLeft=30000\nTop=2250\nWidth=4500\nHeight=4500\n";
    const QByteArray kept = "[Display]\nTime=5\n[Folders]\n00=" + pics + "\n";
    const QByteArray before = "[Display]\nTime=5\n[Folders]\n00=" + pics + "-gone\n01=" + pics;
    const QProcessEnvironment x11 = std::exchange(m_env, env);
    startViewer(place + before + "\n");
    m_env = x11;

    // The panel whole: its help text's box at its designed size, in black within the window.
    QRect help;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            QProcess shooter; // it writes its picture into the folder it runs in
            shooter.setProcessEnvironment(env);
            shooter.setWorkingDirectory(m_tree->path("app"));
            shooter.start(QStringLiteral("weston-screenshooter"), {QStringLiteral("--debug")});
            shooter.waitForFinished(10000);
            const QDir dir(m_tree->path("app"));
            const QStringList shots =
                dir.entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Time);
            const QImage shot = shots.isEmpty() ? QImage() : QImage(dir.filePath(shots.first()));
            help = QRect();
            for (int y = 0; y < shot.height(); ++y) {
                for (int x = 0; x < shot.width(); ++x) {
                    if (shot.pixel(x, y) == qRgb(255, 255, 192))
                        help |= QRect(x, y, 1, 1);
                }
            }
            return help.isValid() &&
                   shot.pixel(help.left() - 8, help.center().y()) == qRgb(0, 0, 0);
        }(),
        15000);
    QVERIFY2(qAbs(help.width() - 221) <= 3 && qAbs(help.height() - 57) <= 3,
             qPrintable(QStringLiteral("%1 x %2").arg(help.width()).arg(help.height())));

    // A logout saves the size as it came, the interval and the history, and keeps the place.
    QCOMPARE(::kill(pid_t(m_viewer.processId()), SIGTERM), 0);
    QVERIFY(m_viewer.waitForFinished(3000));
    QCOMPARE(m_viewer.exitCode(), 0);
    const QByteArray saved = readAll(m_ini);
    QCOMPARE(saved, place + kept);
    weston.kill();
    weston.waitForFinished();
}

void RealWindowTest::coloursForTheMonitorItIsOn()
{
    const QByteArray adobe = readAll(QStringLiteral("/usr/share/color/icc/ghostscript/a98.icc"));
    if (adobe.isEmpty())
        return xServerMissing("ghostscript's colour profiles are not installed");
    const QByteArray p3 = QColorSpace(QColorSpace::DisplayP3).iccProfile();
    // Two monitors side by side on a server of their own, as RandR sets them up; Xinerama lists
    // them in that order.
    QProcess server;
    const QString display = startXServer(server, QSize(1280, 480));
    QVERIFY(!display.isEmpty());
    const HookGuard end([&] {
        server.kill();
        server.waitForFinished();
    });
    const QProcessEnvironment desktop = m_env;
    const HookGuard back([&] { m_env = desktop; });
    m_env.insert(QStringLiteral("DISPLAY"), display);
    int code = -1;
    run(QStringLiteral("xrandr"), {"--setmonitor", "left", "640/169x480/127+0+0", "screen"}, &code);
    QCOMPARE(code, 0);
    run(QStringLiteral("xrandr"), {"--setmonitor", "right", "640/169x480/127+640+0", "none"},
        &code);
    QCOMPARE(code, 0);
    QVERIFY(setRootProperty(display, "_ICC_PROFILE_1", p3));
    QVERIFY(writeJpeg(m_tree->path("pics/green.jpg"), QSize(400, 300), QColor(0, 200, 0),
                      QColor(0, 200, 0)));
    QVERIFY(QFile::remove(m_tree->path("pics/a.jpg")) && QFile::remove(m_tree->path("pics/b.jpg")));
    startViewer("[Position]\nLeft=1500\nTop=1500\nWidth=6000\nHeight=4500\n[Folders]\n00=" +
                m_tree->path("pics").toUtf8() + "\n");
    const QString window = findWindow();
    QVERIFY(!window.isEmpty());
    const QRect place = windowGeometry(window);
    run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QString::number(place.x() + 82),
         QString::number(place.y() + 32), QStringLiteral("click"), QStringLiteral("1")});
    QTRY_COMPARE(windowName(window), caption("green.jpg"));
    pressKey(window, QStringLiteral("space"));
    const auto shown = [&] { return screenshot().pixelColor(windowGeometry(window).center()); };
    QColor srgb;
    QTRY_VERIFY((srgb = shown()).green() > 180);
    const auto near = [](QColor got, QColor want) {
        const bool close = std::max({qAbs(got.red() - want.red()), qAbs(got.green() - want.green()),
                                     qAbs(got.blue() - want.blue())}) <= 3;
        if (!close)
            qWarning().noquote() << got.name() << "for" << want.name();
        return close;
    };
    // Set while the picture shows, and followed as the window goes from monitor to monitor.
    QVERIFY(setRootProperty(display, "_ICC_PROFILE", adobe));
    QTRY_VERIFY(near(shown(), asOnMonitor(srgb, adobe)));
    run(QStringLiteral("xdotool"), {QStringLiteral("windowmove"), window, "740", "100"});
    QTRY_VERIFY(near(shown(), asOnMonitor(srgb, p3)));
    QVERIFY(setRootProperty(display, "_ICC_PROFILE_1", QByteArray()));
    QTRY_VERIFY(near(shown(), srgb));
    run(QStringLiteral("xdotool"), {QStringLiteral("windowmove"), window, "100", "100"});
    QTRY_VERIFY(near(shown(), asOnMonitor(srgb, adobe)));
    QCOMPARE(windowName(window), caption("green.jpg")); // paused all along
}

QTEST_MAIN(RealWindowTest)
#include "tst_realwindow.moc"
