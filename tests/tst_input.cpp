#include "TestSupport.h"
#include "controls/Controls.h"
#include "controls/PictureControls.h"
#include "picture_source/frmFileList.h"
#include "show/Clock.h"
#include "viewer/frmMain.h"

#include <QFrame>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

namespace {

// Three pictures told apart by their sizes; Start draws p0, so the ticks show p1, p2, p3...
const QList<QSize> kSizes{{40, 20}, {30, 30}, {20, 40}, {50, 10}};

class InputFixture {
public:
    InputFixture()
    {
        for (int i = 0; i < kSizes.size(); ++i)
            writeJpeg(path(i), kSizes.at(i));
        window.resize(200, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QVERIFY(window.fileList().SetFolder(tree.path()));
    }
    QString path(int i) const { return tree.path(QStringLiteral("p%1.jpg").arg(i)); }
    // Starts a show and runs `ticks` ticks by hand.
    void run(int ticks)
    {
        window.cmdStart_Click();
        for (int i = 0; i < ticks; ++i)
            runTick(window);
    }
    QSize shown() const
    {
        return window.Image1->isHidden() ? QSize() : window.Image1->picture().size;
    }

    TestTree tree;
    frmMain window;
};

} // namespace

class InputTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_isolation.emplace(isolateViewer()); }
    void cleanup() { m_isolation.reset(); }

    void spaceIsConsumedOnThePanel_data();
    void spaceIsConsumedOnThePanel();
    void arrowsReachThePanelControls();
    void escapeStopsShowOrClosesWindow();
    void spacePausesAndResumes();
    void mouseButtons();
    void pointerHidesOverAShow();

private:
    const HookGuard m_dpi = overrideHook(sys::setDpiSource, std::make_unique<FixedDpi>(96));
    std::optional<IsolatedViewer> m_isolation;
};

void InputTest::spaceIsConsumedOnThePanel_data()
{
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::newRow("Space") << Qt::KeyboardModifiers();
    QTest::newRow("Ctrl+Space") << Qt::KeyboardModifiers(Qt::ControlModifier);
    QTest::newRow("Shift+Space") << Qt::KeyboardModifiers(Qt::ShiftModifier);
}

void InputTest::spaceIsConsumedOnThePanel()
{
    QFETCH(Qt::KeyboardModifiers, modifiers);
    InputFixture f;
    f.window.chkSub->setFocus();
    pressKey(&f.window, Qt::Key_Space, modifiers);
    QCOMPARE(f.window.chkSub->value(), 0);
    QVERIFY(!f.window.Timer1->isEnabled()); // nor does it start a show's timer on the panel
    f.window.cmdStart->setFocus();
    pressKey(&f.window, Qt::Key_Space, modifiers);
    QVERIFY(!f.window.Frame1->isHidden()); // Start was not pressed
    QVERIFY(!f.window.Timer1->isEnabled());
}

void InputTest::arrowsReachThePanelControls()
{
    InputFixture f;
    f.run(2);
    f.window.slideShow().stop(); // a history exists, but the panel shows
    f.window.HScroll1->setFocus();
    pressKey(&f.window, Qt::Key_Right);
    QCOMPARE(f.window.HScroll1->value(), 25);
    pressKey(&f.window, Qt::Key_Left, Qt::ShiftModifier);
    QCOMPARE(f.window.HScroll1->value(), 20);
    QCOMPARE(f.window.historyPosition(), qint16(2));
}

void InputTest::escapeStopsShowOrClosesWindow()
{
    QStringList screen;
    const auto inhibitor =
        overrideHook(sys::setScreenSaverInhibitor, std::make_unique<RecordingInhibitor>(&screen));
    InputFixture f;
    f.run(1);
    f.window.setWindowState(Qt::WindowMinimized); // a show nobody sees lets the screen sleep
    f.window.setWindowState(Qt::WindowNoState);
    pressKey(&f.window, Qt::Key_Escape);
    QCOMPARE(screen,
             (QStringList{"inhibit: Slide show", "release", "inhibit: Slide show", "release"}));
    QVERIFY(!f.window.Frame1->isHidden());
    QVERIFY(!f.window.Timer1->isEnabled());
    QCOMPARE(f.window.windowTitle(), QStringLiteral("Pelmora"));
    QVERIFY(f.window.Image1->picture().isNull());
    QVERIFY(f.window.isVisible()); // the show stopped; the window stays

    f.window.cboFolders->setFocus();
    pressKey(&f.window, Qt::Key_Escape);
    QVERIFY(!f.window.isVisible()); // on the panel, Esc closes
}

void InputTest::spacePausesAndResumes()
{
    InputFixture f;
    f.run(1);
    pressKey(&f.window, Qt::Key_Space);
    QVERIFY(!f.window.Timer1->isEnabled());
    QVERIFY(f.window.Frame1->isHidden());
    const QString caption = f.window.windowTitle();
    pressKey(&f.window, Qt::Key_Space, Qt::ControlModifier);
    QVERIFY(f.window.Timer1->isEnabled());
    QCOMPARE(f.window.Timer1->remainingTime() > f.window.Timer1->interval() - 500, true);
    QCOMPARE(f.window.windowTitle(), caption);
}

void InputTest::mouseButtons()
{
    InputFixture f;
    f.run(2); // p2, a tall picture, leaves bands at the sides
    controls::ImageBox *picture = f.window.Image1;
    const QPoint background = QPoint(2, 2);
    QVERIFY(!picture->geometry().contains(background));

    QTest::mouseClick(picture, Qt::LeftButton);
    QVERIFY(!f.window.Timer1->isEnabled()); // paused by a click on the picture
    QTest::mouseClick(&f.window, Qt::LeftButton, {}, background);
    QVERIFY(f.window.Timer1->isEnabled()); // resumed by a click on the background
    QTest::mouseDClick(&f.window, Qt::LeftButton, {}, background);
    QVERIFY(f.window.Timer1->isEnabled()); // click + double click: one toggle each way at most
    QTest::mouseRelease(&f.window, Qt::MiddleButton, {}, background);
    QVERIFY(f.window.Frame1->isHidden());

    QTest::mouseClick(picture, Qt::RightButton); // release of the right button stops
    QVERIFY(!f.window.Frame1->isHidden());
    QVERIFY(!f.window.Timer1->isEnabled());
    QCOMPARE(f.window.windowTitle(), QStringLiteral("Pelmora"));

    // On the panel a right release changes nothing visible and a click does nothing.
    const QPoint onPanel(8, 150); // left of the help text, on the panel's own black
    QCOMPARE(f.window.childAt(onPanel), f.window.Frame1);
    QTest::mouseClick(f.window.Frame1, Qt::RightButton, {},
                      f.window.Frame1->mapFrom(&f.window, onPanel));
    QTest::mouseClick(f.window.Frame1, Qt::LeftButton, {},
                      f.window.Frame1->mapFrom(&f.window, onPanel));
    QVERIFY(!f.window.Frame1->isHidden());
    QVERIFY(!f.window.Timer1->isEnabled());
    QVERIFY(f.window.isVisible());
}

void InputTest::pointerHidesOverAShow()
{
    InputFixture f;
    f.run(1);
    QTest::mouseMove(f.window.Image1, QPoint(3, 3));
    pressKey(&f.window, Qt::Key_Space); // paused, the show is still on screen
    QCOMPARE(f.window.cursor().shape(), Qt::ArrowCursor);
    QTRY_COMPARE_WITH_TIMEOUT(f.window.cursor().shape(), Qt::BlankCursor, 3000);
    QTest::mouseMove(f.window.Image1, QPoint(4, 3));
    QCOMPARE(f.window.cursor().shape(), Qt::ArrowCursor);

    pressKey(&f.window, Qt::Key_Escape);
    QTest::qWait(2500);
    QCOMPARE(f.window.cursor().shape(), Qt::ArrowCursor); // never on the panel
}

QTEST_MAIN(InputTest)
#include "tst_input.moc"
