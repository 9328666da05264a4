#include "TestSupport.h"
#include "controls/Controls.h"
#include "controls/PictureControls.h"
#include "picture_source/frmFileList.h"
#include "settings/SettingsFile.h"
#include "show/Clock.h"
#include "viewer/WindowPlacement.h"
#include "viewer/frmMain.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

namespace {

} // namespace

class LifecycleTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_isolation.emplace(isolateViewer(&m_endings));
        m_ini = m_isolation->settingsFile;
        m_endings = 0;
    }
    void cleanup() { m_isolation.reset(); }

    void firstStartWithoutFile();
    void vanishedFolderIsSkipped_data();
    void vanishedFolderIsSkipped();
    void storedInterval_data();
    void storedInterval();
    void roundTrip();
    void placeKeptWhenNotNormal_data();
    void placeKeptWhenNotNormal();
    void everyWayOfClosingUnloadsOnce_data();
    void everyWayOfClosingUnloadsOnce();
    void emptyListLeavesNoFolderKey();
    void garbageSettingsStartWithDefaults();
    void unusablePlaces_data();
    void unusablePlaces();

private:
    const HookGuard m_dpi = overrideHook(sys::setDpiSource, std::make_unique<FixedDpi>(96));
    std::optional<IsolatedViewer> m_isolation;
    QString m_ini;
    int m_endings = 0;
};

void LifecycleTest::firstStartWithoutFile()
{
    frmMain w;
    QCOMPARE(w.pos(), QPoint(0, 0));
    QCOMPARE(w.size(), QSize(260, 225));
    QCOMPARE(w.lblTime->text(), QStringLiteral("2.0"));
    QCOMPARE(w.Timer1->interval(), 2000);
    QCOMPARE(w.cboFolders->count(), 0);
    QVERIFY(!w.cmdStart->isEnabled());
    QVERIFY(!QFile::exists(m_ini)); // nothing is written while loading
}

void LifecycleTest::vanishedFolderIsSkipped_data()
{
    QTest::addColumn<bool>("lastHasPictures");
    QTest::addColumn<QString>("vanished"); // the saved folder between A and C that is gone
    QTest::addColumn<QString>("beside");   // a folder its name matches as a pattern
    QTest::newRow("C with pictures") << true << "B"
                                     << "";
    QTest::newRow("C without pictures") << false << "B"
                                        << "";
    QTest::newRow("? is no wildcard") << true << "a?c"
                                      << "abc/";
    QTest::newRow("[ is no wildcard") << true << "b[1]"
                                      << "b1/";
    QTest::newRow("* is no wildcard") << true << "*"
                                      << "";
}

void LifecycleTest::vanishedFolderIsSkipped()
{
    QFETCH(bool, lastHasPictures);
    QFETCH(QString, vanished);
    QFETCH(QString, beside);
    TestTree tree({"A/a.jpg", "C/"});
    if (lastHasPictures)
        tree.add({"C/c.jpg"});
    if (!beside.isEmpty())
        tree.add({beside});
    QVERIFY(writeAll(m_ini, ("[Folders]\n00=" + tree.path("A") + "\n01=" + tree.path(vanished) +
                             "\n02=" + tree.path("C") + "\n")
                                .toUtf8()));
    frmMain w;
    QCOMPARE(comboEntries(w.cboFolders), (QStringList{tree.path("A"), tree.path("C")}));
    QCOMPARE(w.cboFolders->currentIndex(), 1);
    QCOMPARE(w.cmdStart->isEnabled(), lastHasPictures);
    QCOMPARE(w.fileList().folders()->first(), lastHasPictures ? tree.path("C") : QString());
}

void LifecycleTest::storedInterval_data()
{
    QTest::addColumn<QByteArray>("time");
    QTest::addColumn<QString>("label");
    QTest::addColumn<int>("milliseconds");
    QTest::newRow("20 leaves the designed text") << QByteArray("20") << "2.0" << 2000;
    QTest::newRow("35") << QByteArray("35") << "3.5" << 3500;
    QTest::newRow("21.5 to even") << QByteArray("21.5") << "2.2" << 2200;
    QTest::newRow("out of range") << QByteArray("900") << "5" << 5000;
}

void LifecycleTest::storedInterval()
{
    QFETCH(QByteArray, time);
    QFETCH(QString, label);
    QFETCH(int, milliseconds);
    QVERIFY(writeAll(m_ini, "[Display]\nTime=" + time + "\n"));
    frmMain w;
    QCOMPARE(w.lblTime->text(), label);
    QCOMPARE(w.Timer1->interval(), milliseconds);
    QVERIFY(!w.Timer1->isEnabled());
}

void LifecycleTest::roundTrip()
{
    const TestTree tree({"A/a.jpg", "B/b.jpg"});
    QRect outer;
    {
        frmMain w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.move(100, 50);
        w.resize(300, 250);
        w.HScroll1->setValue(35);
        w.cboFolders->addItem(tree.path("A"), tree.path("A"));
        w.cboFolders->addItem(tree.path("B"), tree.path("B"));
        outer = w.frameGeometry(); // the frame counts: the place is the window's outer one
        w.close();
    }
    QCOMPARE(m_endings, 1);
    const auto twips = [](int pixels) { return QByteArray::number(pixels * 15); };
    QCOMPARE(readAll(m_ini), "[Position]\nLeft=" + twips(outer.x()) + "\nTop=" + twips(outer.y()) +
                                 "\nWidth=" + twips(outer.width()) +
                                 "\nHeight=" + twips(outer.height()) +
                                 "\n[Display]\nTime=35\n[Folders]\n00=" + tree.path("A").toUtf8() +
                                 "\n01=" + tree.path("B").toUtf8() + "\n");
    frmMain again;
    again.show();
    QVERIFY(QTest::qWaitForWindowExposed(&again));
    QTRY_COMPARE_WITH_TIMEOUT(again.frameGeometry(), outer, 3000);
    QCOMPARE(again.size(), QSize(300, 250));
    QCOMPARE(again.HScroll1->value(), 35);
    QCOMPARE(again.lblTime->text(), QStringLiteral("3.5"));
    QCOMPARE(comboEntries(again.cboFolders), (QStringList{tree.path("A"), tree.path("B")}));
    QCOMPARE(again.cboFolders->currentIndex(), 1);
    QVERIFY(again.cmdStart->isEnabled());
}

void LifecycleTest::placeKeptWhenNotNormal_data()
{
    QTest::addColumn<Qt::WindowState>("state");
    QTest::newRow("maximised") << Qt::WindowMaximized;
    QTest::newRow("minimised") << Qt::WindowMinimized;
}

void LifecycleTest::placeKeptWhenNotNormal()
{
    QFETCH(Qt::WindowState, state);
    const TestTree tree({"A/"});
    QVERIFY(writeAll(m_ini, "[Position]\nLeft=150\nTop=300\nWidth=6000\nHeight=4500\n"));
    frmMain w;
    QCOMPARE(w.pos(), QPoint(10, 20));
    w.show();
    w.setWindowState(state);
    w.HScroll1->setValue(45);
    w.cboFolders->addItem(tree.path("A"), tree.path("A"));
    w.close();
    QCOMPARE(readAll(m_ini), ("[Position]\nLeft=150\nTop=300\nWidth=6000\nHeight=4500\n"
                              "[Display]\nTime=45\n[Folders]\n00=" +
                              tree.path("A") + "\n")
                                 .toUtf8());
}

void LifecycleTest::everyWayOfClosingUnloadsOnce_data()
{
    QTest::addColumn<QString>("way");
    QTest::addColumn<int>("show"); // 0 panel, 1 running, 2 paused
    QTest::newRow("End button") << "end" << 0;
    QTest::newRow("Esc on the panel") << "esc" << 0;
    QTest::newRow("close request, panel") << "close" << 0;
    QTest::newRow("close request, running show") << "close" << 1;
    QTest::newRow("close request, paused show") << "close" << 2;
}

void LifecycleTest::everyWayOfClosingUnloadsOnce()
{
    QFETCH(QString, way);
    QFETCH(int, show);
    const TestTree tree;
    QVERIFY(writeJpeg(tree.path("a.jpg"), QSize(8, 8)));
    QVERIFY(writeAll(m_ini, ("[Folders]\n00=" + tree.path() + "\n").toUtf8()));
    QStringList screen;
    const auto inhibitor =
        overrideHook(sys::setScreenSaverInhibitor, std::make_unique<RecordingInhibitor>(&screen));
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    if (show > 0) {
        w.cmdStart_Click();
        runTick(w);
        if (show == 2)
            w.Timer1->setEnabled(false);
    }
    // The screen is kept on from the show's start, and only then.
    QCOMPARE(screen, show > 0 ? QStringList{"inhibit: Slide show"} : QStringList());
    if (way == "end")
        QTest::mouseClick(w.cmdEnd, Qt::LeftButton);
    else if (way == "esc")
        pressKey(&w, Qt::Key_Escape);
    else
        w.close();
    QCOMPARE(m_endings, 1);
    QVERIFY(!w.Timer1->isEnabled());
    QCOMPARE(w.history().count(), 0);
    QVERIFY(readAll(m_ini).contains("[Display]\nTime=20\n"));
    QCOMPARE(screen.last(), QStringLiteral("release"));
    w.close(); // a second request finds nothing more to do
    QCOMPARE(m_endings, 1);
}

void LifecycleTest::emptyListLeavesNoFolderKey()
{
    QVERIFY(writeAll(m_ini, "[Folders]\n00=/nowhere/at/all\n"));
    {
        frmMain w;
        QCOMPARE(w.cboFolders->count(), 0);
        w.close();
    }
    QVERIFY(!readAll(m_ini).contains("00="));
    frmMain again;
    QCOMPARE(again.cboFolders->count(), 0);
    QVERIFY(!again.cmdStart->isEnabled());
}

void LifecycleTest::garbageSettingsStartWithDefaults()
{
    QByteArray garbage = "\xEF\xBB\xBF[Position]\nLeft=12abc\nTop=1e60\nWidth=-5\nHeight=nan\n"
                         "[Display]\nTime=\x01\x02\n[Folders]\n00=\n01=\x7F\xFE\n";
    garbage += QByteArray(5000, '\0');
    QVERIFY(writeAll(m_ini, garbage));
    frmMain w;
    QCOMPARE(w.pos(), QPoint(0, 0));
    QCOMPARE(w.size(), QSize(260, 225));
    QCOMPARE(w.HScroll1->value(), 20);
    QCOMPARE(w.cboFolders->count(), 0);
    QVERIFY(!w.cmdStart->isEnabled());
}

void LifecycleTest::unusablePlaces_data()
{
    // Screens in twips: a primary of 800 x 600 pixels, and a second one to its right.
    QTest::addColumn<QList<float>>("stored"); // left, top, width, height
    QTest::addColumn<QList<float>>("expected");
    QTest::newRow("partly off-screen stays")
        << QList<float>{-1500, -300, 6000, 4500} << QList<float>{-1500, -300, 6000, 4500};
    QTest::newRow("on the second screen stays")
        << QList<float>{13000, 1000, 3000, 3000} << QList<float>{13000, 1000, 3000, 3000};
    QTest::newRow("wholly off-screen moves to the primary")
        << QList<float>{40000, 30000, 6000, 4500} << QList<float>{0, 0, 6000, 4500};
    QTest::newRow("zero width") << QList<float>{150, 150, 0, 4500}
                                << QList<float>{150, 150, -1, 4500};
    QTest::newRow("negative height")
        << QList<float>{150, 150, 6000, -5} << QList<float>{150, 150, 6000, -1};
    QTest::newRow("absurdly large")
        << QList<float>{0, 0, 1e9f, 1e9f} << QList<float>{0, 0, 12000, 9000};
}

void LifecycleTest::unusablePlaces()
{
    QFETCH(QList<float>, stored);
    QFETCH(QList<float>, expected);
    const QList<QRectF> screens{QRectF(0, 0, 12000, 9000), QRectF(0, 0, 12000, 9000),
                                QRectF(12000, 0, 12000, 9000)};
    const settings::WindowPlace got = viewer::placeOnScreens(
        settings::WindowPlace{stored[0], stored[1], stored[2], stored[3]}, 3900, 3375, screens);
    // No usable size (-1 here): the window keeps its designed inner one.
    QCOMPARE((QList<float>{got.left, got.top, got.width.value_or(-1), got.height.value_or(-1)}),
             expected);

    // And in a real start-up on the offscreen screen (800 x 600 pixels).
    QVERIFY(writeAll(m_ini, "[Position]\nLeft=40000\nTop=30000\nWidth=0\nHeight=4500\n"));
    frmMain w;
    QCOMPARE(w.pos(), QPoint(0, 0));
    QCOMPARE(w.size(), QSize(260, 300));
}

QTEST_MAIN(LifecycleTest)
#include "tst_lifecycle.moc"
