#include "TestSupport.h"
#include "controls/Controls.h"
#include "controls/PictureControls.h"
#include "controls/WindowTimer.h"
#include "picture_source/frmFileList.h"
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
    void stepThroughHistory_data();
    void stepThroughHistory();
    void oneEntryHistory();
    void nothingToStepBeforeFirstTick();
    void steppingKeepsTheTickDue();
    void historySurvivesStop();
    void escapeStopsShowOrClosesWindow();
    void spacePausesAndResumes();
    void mouseButtons();
    void steppedToFileWasDeleted();

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
    f.window.StopShow(); // a history exists, but the panel shows
    f.window.HScroll1->setFocus();
    pressKey(&f.window, Qt::Key_Right);
    QCOMPARE(f.window.HScroll1->value(), 25);
    pressKey(&f.window, Qt::Key_Left, Qt::ShiftModifier);
    QCOMPARE(f.window.HScroll1->value(), 20);
    QCOMPARE(f.window.historyPosition(), qint16(2));
}

void InputTest::stepThroughHistory_data()
{
    QTest::addColumn<QList<int>>("keys"); // Qt key codes, Shift held for negative ones
    QTest::addColumn<QList<int>>("positions");
    QTest::newRow("left, left, left")
        << QList<int>{Qt::Key_Left, Qt::Key_Left, Qt::Key_Left} << QList<int>{2, 1, 3};
    QTest::newRow("right from the newest") << QList<int>{Qt::Key_Right} << QList<int>{1};
    QTest::newRow("shift+left as left")
        << QList<int>{-Qt::Key_Left, -Qt::Key_Left} << QList<int>{2, 1};
    QTest::newRow("there and back")
        << QList<int>{Qt::Key_Left, Qt::Key_Right, Qt::Key_Right} << QList<int>{2, 3, 1};
}

void InputTest::stepThroughHistory()
{
    QFETCH(QList<int>, keys);
    QFETCH(QList<int>, positions);
    InputFixture f;
    f.run(3);                           // history: p1, p2, p3
    f.window.Timer1->setEnabled(false); // paused: nothing but the keys moves
    const QString caption = f.window.windowTitle();
    for (int i = 0; i < keys.size(); ++i) {
        const Qt::Key key = Qt::Key(std::abs(keys.at(i)));
        pressKey(&f.window, key, keys.at(i) < 0 ? Qt::ShiftModifier : Qt::NoModifier);
        waitForPictures(f.window);
        QCOMPARE(f.window.historyPosition(), qint16(positions.at(i)));
        QCOMPARE(f.shown(), kSizes.at(positions.at(i)));
    }
    QCOMPARE(f.window.history().count(), 3);
    QCOMPARE(f.window.windowTitle(), caption); // stepping never touches the caption
    QVERIFY(!f.window.Timer1->isEnabled());    // nor the timer
}

void InputTest::oneEntryHistory()
{
    InputFixture f;
    f.run(1);
    f.window.resize(100, 200); // the step refits what it shows
    for (Qt::Key key : {Qt::Key_Left, Qt::Key_Right}) {
        pressKey(&f.window, key);
        waitForPictures(f.window);
        QCOMPARE(f.window.historyPosition(), qint16(1));
        QCOMPARE(f.shown(), kSizes.at(1));
        QCOMPARE(f.window.Image1->geometry(), QRect(0, 50, 100, 100));
    }
}

void InputTest::nothingToStepBeforeFirstTick()
{
    InputFixture f;
    f.run(0);
    pressKey(&f.window, Qt::Key_Left);
    waitForPictures(f.window);
    pressKey(&f.window, Qt::Key_Right);
    waitForPictures(f.window);
    QCOMPARE(f.window.historyPosition(), qint16(0));
    QVERIFY(f.window.Image1->picture().isNull());
    QVERIFY(f.window.Timer1->isEnabled());
}

void InputTest::steppingKeepsTheTickDue()
{
    InputFixture f;
    f.window.Timer1->setInterval(1000);
    f.run(2);
    QTest::qWait(150);
    const int due = f.window.Timer1->remainingTime();
    pressKey(&f.window, Qt::Key_Left);
    waitForPictures(f.window);
    QVERIFY(f.window.Timer1->isEnabled());
    QVERIFY2(f.window.Timer1->remainingTime() <= due, "the step restarted the interval");
    // The pending tick still comes, adds at the newest end and points there.
    QTRY_COMPARE_WITH_TIMEOUT(f.window.history().count(), 3, 5000);
    QCOMPARE(f.window.historyPosition(), qint16(3));
    QCOMPARE(f.shown(), kSizes.at(3));
}

void InputTest::historySurvivesStop()
{
    InputFixture f;
    f.run(2); // p1, p2
    pressKey(&f.window, Qt::Key_Escape);
    QVERIFY(!f.window.Frame1->isHidden());
    f.window.cmdStart_Click();
    pressKey(&f.window, Qt::Key_Left); // before the first tick of the new show
    waitForPictures(f.window);
    QCOMPARE(f.window.historyPosition(), qint16(1));
    QCOMPARE(f.shown(), kSizes.at(1));
}

void InputTest::escapeStopsShowOrClosesWindow()
{
    InputFixture f;
    f.run(1);
    pressKey(&f.window, Qt::Key_Escape);
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

void InputTest::steppedToFileWasDeleted()
{
    InputFixture f;
    f.run(3);
    QVERIFY(QFile::remove(f.path(2)));
    pressKey(&f.window, Qt::Key_Left); // p2 is gone: nothing shown for this step
    waitForPictures(f.window);
    QCOMPARE(f.window.historyPosition(), qint16(2));
    QVERIFY(f.window.Image1->isHidden());
    pressKey(&f.window, Qt::Key_Left);
    waitForPictures(f.window);
    QCOMPARE(f.shown(), kSizes.at(1));
    runTick(f.window); // and the show goes on
    QCOMPARE(f.window.historyPosition(), qint16(4));
    QCOMPARE(f.window.history().count(), 4);
}

QTEST_MAIN(InputTest)
#include "tst_input.moc"
