// System services: numbers, twips, directory search, the desktop's screen saver.
#include "TestSupport.h"
#include "system/DirSearch.h"
#include "system/Memory.h"
#include "system/Numbers.h"
#include "system/ScreenSaver.h"
#include "system/TerminationSignals.h"
#include "system/Twips.h"

#include <QColorSpace>
#include <QColorTransform>
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
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <ctime>

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

    void cleanupTestCase()
    {
        m_bus.kill();
        m_bus.waitForFinished();
    }

private:
    QProcess m_bus;
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
    static const QString address = requireSessionBus(m_bus);
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
