#include "TestSupport.h"
#include "controls/Controls.h"
#include "controls/PictureControls.h"
#include "imaging/DecoderMemory.h"
#include "picture_source/frmFileList.h"
#include "show/Clock.h"
#include "show/FitGeometry.h"
#include "show/PictureCache.h"
#include "show/ShowCaption.h"
#include "system/Memory.h"
#include "viewer/AppIcon.h"
#include "viewer/frmMain.h"

#include <QImageWriter>
#include <QPushButton>
#include <QtTest>

#include <atomic>
#include <set>

namespace {

const QString kIdeographicSpace = QStringLiteral("\u3000");

QString caption(const QString &mark, const QString &name)
{
    return "Pelmora(" + mark + ")" + kIdeographicSpace + QStringLiteral("\u3010") + name +
           QStringLiteral("\u3011");
}

// Starts a show over a folder and runs ticks by hand; the timer is left to the show.
void startShow(frmMain &w, const QString &folder)
{
    QVERIFY(w.fileList().SetFolder(folder));
    w.cmdStart_Click();
}

} // namespace

class ShowTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_isolation.emplace(isolateViewer()); }
    void cleanup() { m_isolation.reset(); }

    void iconIsSixteenColourLandscape();

    void fit_data();
    void fit();
    void fitSharesThePictureAndRefitsOnResize();
    void nothingToFit();
    void uprightPhotoIsFittedUpright();
    void fitPredictionMatchesTheDisplay();
    void decodedForTheDisplayAndAgainWhenEnlarged();
    void decodesWithinTheMemoryThereIs();
    void tickUsesFreshFileOverStaleDecode();

    void captionNamesModeAndFile();
    void pickDrawnAheadIsShownOrLeavesNoTrace();
    void emptyAndBadPicks();
    void timerDrivesTheShow();
    void endClosesTheWindow();

private:
    const HookGuard m_dpi = overrideHook(sys::setDpiSource, std::make_unique<FixedDpi>(96));
    std::optional<IsolatedViewer> m_isolation;
};

void ShowTest::iconIsSixteenColourLandscape()
{
    for (int size : {16, 32}) {
        const QImage icon = viewer::appIconImage(size);
        QCOMPARE(icon.size(), QSize(size, size));
        QVERIFY(icon.colorCount() <= 16);
        std::set<QRgb> used;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x)
                used.insert(icon.pixel(x, y));
        for (QRgb c : {qRgb(255, 255, 0), qRgb(0, 255, 255), qRgb(0, 128, 0), qRgb(128, 0, 0),
                       qRgb(0, 0, 255), qRgb(255, 255, 255)})
            QVERIFY2(used.count(c),
                     qPrintable(QStringLiteral("size %1 lacks %2").arg(size).arg(c, 0, 16)));
        QCOMPARE(icon.pixel(size / 2, 0), qRgb(0, 255, 255));      // sky above
        QCOMPARE(icon.pixel(size / 2, size - 1), qRgb(0, 0, 128)); // sea below
    }
}

void ShowTest::fit_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("inner");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("wide picture, square window")
        << QSize(100, 50) << QSize(400, 400) << QRect(0, 100, 400, 200);
    QTest::newRow("tall picture") << QSize(50, 100) << QSize(400, 300) << QRect(125, 0, 150, 300);
    QTest::newRow("same proportions")
        << QSize(160, 120) << QSize(400, 300) << QRect(0, 0, 400, 300);
    QTest::newRow("small picture enlarged")
        << QSize(40, 30) << QSize(800, 600) << QRect(0, 0, 800, 600);
    QTest::newRow("large picture reduced")
        << QSize(1200, 300) << QSize(300, 200) << QRect(0, 63, 300, 75);
}

void ShowTest::fit()
{
    QFETCH(QSize, picture);
    QFETCH(QSize, inner);
    QFETCH(QRect, expected);
    const TestTree tree;
    QVERIFY(writeJpeg(tree.path("p.jpg"), picture));
    frmMain w;
    w.resize(inner);
    startShow(w, tree.path());
    runTick(w);
    QCOMPARE(w.Image1->geometry(), expected);
    QVERIFY(!w.Image1->isHidden());
    QCOMPARE(w.Image1->picture().size, picture);
}

void ShowTest::fitSharesThePictureAndRefitsOnResize()
{
    const TestTree tree;
    QVERIFY(writeJpeg(tree.path("p.jpg"), QSize(100, 50)));
    frmMain w;
    w.resize(400, 400);
    w.show(); // a hidden window is told of its new size only when it is shown
    startShow(w, tree.path());
    runTick(w);
    QCOMPARE(w.Image1->picture().image.cacheKey(), w.picTemp->picture().image.cacheKey());
    w.resize(200, 400);
    QCOMPARE(w.Image1->geometry(), QRect(0, 150, 200, 100));
    // With the panel shown, a resize moves nothing.
    w.slideShow().stop();
    w.resize(300, 300);
    QCOMPARE(w.Image1->geometry(), QRect(0, 150, 200, 100));
    QCOMPARE(w.Frame1->geometry(), QRect(4, 0, 245, 213));
}

void ShowTest::nothingToFit()
{
    const TestTree tree;
    QVERIFY(writeJpeg(tree.path("p.jpg"), QSize(100, 50)));
    frmMain w;
    w.resize(400, 400);
    w.show();
    startShow(w, tree.path());
    runTick(w);
    const QRect shown = w.Image1->geometry();
    // A window with no inner area (minimised): the refit changes nothing and divides by nothing.
    w.resize(0, 0);
    QCOMPARE(w.size(), QSize(0, 0));
    QCOMPARE(w.Image1->geometry(), shown);
    runTick(w);
    QCOMPARE(w.Image1->geometry(), shown);
    QVERIFY(w.Image1->isHidden());
    w.resize(400, 200);
    QVERIFY(!w.Image1->isHidden()); // restored: fitted again
    QCOMPARE(w.Image1->geometry(), QRect(0, 0, 400, 200));
}

void ShowTest::uprightPhotoIsFittedUpright()
{
    const TestTree tree;
    QVERIFY(writeJpeg(tree.path("sideways.jpg"), QSize(200, 100), Qt::red, Qt::blue, 8));
    frmMain w;
    w.resize(400, 400);
    startShow(w, tree.path());
    runTick(w);
    QCOMPARE(w.Image1->geometry(), QRect(100, 0, 200, 400)); // 100 x 200 after the turn
}

void ShowTest::fitPredictionMatchesTheDisplay()
{
    // The decoder is told the size the display will take: a picture larger than its place is
    // decoded to exactly the device pixels of that place, a smaller one whole.
    const QList<QSize> pictures{{970, 610}, {610, 970}, {3000, 2990}, {10, 400},
                                {400, 10},  {333, 250}, {40, 30}};
    const QList<QSize> windows{{401, 299}, {399, 401}, {123, 457}, {640, 480}, {7, 5}};
    TestTree tree;
    for (int i = 0; i < pictures.size(); ++i)
        QVERIFY(writeJpeg(tree.path(QStringLiteral("p%1.jpg").arg(i)), pictures[i]));
    frmMain w;
    w.show();
    startShow(w, tree.path());
    for (const QSize &inner : windows) {
        w.resize(inner);
        for (int i = 0; i < pictures.size(); ++i) {
            runTick(w);
            const imaging::Picture &shown = w.Image1->picture();
            const QSize place = (QSizeF(w.Image1->size()) * w.devicePixelRatioF()).toSize();
            const bool reduced = !place.isEmpty() && place.width() < shown.size.width() &&
                                 place.height() < shown.size.height();
            QCOMPARE(shown.image.size(), reduced ? place : shown.size);
        }
    }
}

void ShowTest::decodedForTheDisplayAndAgainWhenEnlarged()
{
    const TestTree tree;
    QVERIFY(writeJpeg(tree.path("p.jpg"), QSize(1600, 800)));
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // Pictures are decoded for device pixels: twice the window's pixels on a doubled screen.
    const qreal ratio = w.devicePixelRatioF();
    const auto device = [ratio](int width, int height) {
        return (QSizeF(width, height) * ratio).toSize();
    };
    w.resize(200, 200);
    startShow(w, tree.path());
    runTick(w);
    QCOMPARE(w.Image1->geometry(), QRect(0, 50, 200, 100));
    QCOMPARE(w.picTemp->picture().image.size(), device(200, 100)); // no more than shown
    QCOMPARE(w.picTemp->widthTwips(), 1600 * 15.0f);               // yet fitted by its own size
    w.resize(400, 400);
    QCOMPARE(w.Image1->geometry(), QRect(0, 100, 400, 200));      // refitted at once,
    QCOMPARE(w.Image1->picture().image.size(), device(200, 100)); // from what is held,
    QTRY_COMPARE_WITH_TIMEOUT(w.Image1->picture().image.size(), device(400, 200), 5000); // then
    w.resize(100, 100);
    QCOMPARE(w.Image1->picture().image.size(), device(400, 200)); // smaller: scaled when drawn

    // Replaced or deleted since it was shown: the picture on screen stays, refitted.
    QVERIFY(writeJpeg(tree.path("p.jpg"), QSize(800, 1600)));
    w.resize(800, 800);
    QTest::qWait(1000);
    QCOMPARE(w.Image1->picture().size, QSize(1600, 800));
    QVERIFY(QFile::remove(tree.path("p.jpg")));
    w.resize(1000, 1000);
    QTest::qWait(1000);
    QCOMPARE(w.Image1->geometry(), QRect(0, 250, 1000, 500));
    QCOMPARE(w.Image1->picture().image.size(), device(400, 200));
}

void ShowTest::decodesWithinTheMemoryThereIs()
{
    TestTree tree;
    const show::DisplayKey key{1500, 1500, 15, 1, {}}; // 100 by 100 pixels
    std::atomic<int> loads{0};
    QList<QSize> shown;
    const auto onScreen = [&shown](const imaging::Picture &p) { shown << p.image.size(); };

    // Caught half-written, finished while the decode ran: the failure is not the file.
    const QString a = tree.path("a.jpg");
    QVERIFY(writeJpeg(a, QSize(40, 20)));
    const QByteArray whole = readAll(a);
    QVERIFY(writeAll(a, whole.left(whole.size() / 2)));
    {
        const auto finishing =
            overrideHook(imaging::setPictureLoader, [&](imaging::PictureLoad &load) {
                const imaging::Picture read = load.picture();
                if (++loads == 1)
                    writeAll(a, whole);
                return read;
            });
        show::PictureCache decodes;
        decodes.fetch(show::Waiter::Tick, a, key, onScreen);
        QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 1, 5000);
        QCOMPARE(shown.last(), QSize(40, 20));
    }

    // A progressive file holds all its coefficients while it decodes: two pictures ahead decode
    // at once on two cores, but one after the other when both would not fit the memory budget.
    const QString b = tree.path("b.jpg"), c = tree.path("c.jpg");
    QImageWriter progressive(b, "JPEG");
    progressive.setProgressiveScanWrite(true);
    QVERIFY(progressive.write(QImage(400, 200, QImage::Format_RGB32)) && QFile::copy(b, c));
    const qint64 picture = 3 * 4 * 100 * 100;
    for (const bool fits : {true, false}) {
        std::atomic<int> running{0}, together{0};
        const auto overlapping =
            overrideHook(imaging::setPictureLoader, [&](imaging::PictureLoad &load) {
                together += ++running == 2;
                for (QDeadlineTimer company(500); running < 2 && !company.hasExpired();)
                    QThread::msleep(1);
                const imaging::Picture picture = load.picture();
                --running;
                return picture;
            });
        show::DecodeLimits limits;
        limits.cores = 2;
        limits.ceilingBytes = 2 * (imaging::PictureLoad(b).memory() + picture) - (fits ? 0 : 1);
        show::PictureCache twoCores(
            std::make_unique<show::DecodeQueue>(limits, show::PictureCache::kUrgentBelow), 2);
        twoCores.plan({{b, c}, {}}, key);
        QTRY_VERIFY_WITH_TIMEOUT(!twoCores.nearest(c, key).isNull(), 5000);
        QCOMPARE(together > 0, fits);
    }

    // What a large decode leaves serves the next, with the same pixels, and goes back to the
    // system once the decodes have been idle a while.
    const QString large = tree.path("large.jpg");
    QImage gradient(4000, 3000, QImage::Format_RGB32);
    for (int y = 0; y < gradient.height(); ++y) {
        for (int x = 0; x < gradient.width(); ++x)
            gradient.setPixel(x, y, qRgb(x % 251, y % 241, (x + y) % 256));
    }
    QImageWriter writer(large, "JPEG");
    writer.setProgressiveScanWrite(true);
    QVERIFY(writer.write(gradient));
    show::PictureCache decodes;
    QList<QImage> decoded;
    for (int i = 1; i <= 2; ++i) {
        decodes.fetch(show::Waiter::Screen, large, key,
                      [&decoded](const imaging::Picture &p) { decoded << p.image; });
        QTRY_COMPARE_WITH_TIMEOUT(decoded.size(), i, 10000);
        QVERIFY(imaging::decoderMemoryKept() > 0);
        decodes.plan({}, key); // nothing kept, as after a stop
    }
    QVERIFY(!decoded.first().isNull());
    QCOMPARE(decoded.last(), decoded.first());
    QTRY_COMPARE_WITH_TIMEOUT(imaging::decoderMemoryKept(), std::size_t(0), 8000);

    // The tick's own picture never waits behind one decoding ahead: that one makes way, and is
    // decoded again after.
    {
        show::DecodeLimits limits;
        limits.cores = 1;
        limits.ceilingBytes = imaging::PictureLoad(large).memory() + picture;
        const auto slow = overrideHook(imaging::setPictureLoader, [&](imaging::PictureLoad &load) {
            for (QDeadlineTimer late(load.path() == c ? 20000 : 0); !late.hasExpired();) {
                if (load.cancelled())
                    return imaging::Picture();
                QThread::msleep(2);
            }
            return load.picture();
        });
        show::PictureCache oneCore(
            std::make_unique<show::DecodeQueue>(limits, show::PictureCache::kUrgentBelow), 1);
        oneCore.plan({{c}, {}}, key);
        QTest::qWait(100);
        shown.clear();
        oneCore.fetch(show::Waiter::Tick, large, key, onScreen);
        QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 1, 5000);
        QVERIFY(!shown.last().isEmpty());
    }

    // A picture whose decode cannot fit at all is one that does not load, and is not tried
    // again while the file is unchanged; smaller ones still decode.
    show::DecodeLimits tight = show::DecodeLimits::ofMachine();
    const qint64 margin = 48LL << 20, room = 8LL << 20;
    tight.limitBytes = [&] { return sys::residentBytes() + margin + room; };
    QVERIFY(imaging::PictureLoad(large).memory() > room);
    show::PictureCache small(
        std::make_unique<show::DecodeQueue>(tight, show::PictureCache::kUrgentBelow), 1);
    shown.clear();
    small.fetch(show::Waiter::Tick, large, key, onScreen);
    QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 1, 5000);
    QCOMPARE(shown.last(), QSize(0, 0)); // the empty picture
    small.fetch(show::Waiter::Tick, large, key, onScreen);
    QCOMPARE(shown.size(), 2); // at once
    small.fetch(show::Waiter::Tick, a, key, onScreen);
    QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 3, 5000);
    QCOMPARE(shown.last(), QSize(40, 20));

    // One that fits only once the pictures kept for a step back go, the limit lowered since
    // they were decoded: they go.
    const show::DisplayKey full{60000, 45000, 15, 1, {}}; // 4000 by 3000 pixels
    const QString copy = tree.path("copy.jpg");
    QVERIFY(QFile::copy(large, copy));
    const qint64 alone = imaging::PictureLoad(copy).memory() + 3 * 4 * 4000 * 3000;
    qint64 spare = 1LL << 30;
    const qint64 base = sys::residentBytes();
    tight.limitBytes = [&] { return base + margin + alone + spare; };
    show::PictureCache history(
        std::make_unique<show::DecodeQueue>(tight, show::PictureCache::kUrgentBelow), 1);
    history.fetch(show::Waiter::Tick, large, full, onScreen);
    QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 4, 10000);
    history.plan({{}, {a, large}}, full);                 // on screen, then the history
    QTRY_COMPARE(history.keptBytes(), 3LL * 4000 * 3000); // only kept: three bytes a pixel
    QCOMPARE(history.nearest(large, full).image, imaging::loadPicture(large).image); // as decoded
    spare = 24LL << 20;
    history.fetch(show::Waiter::Tick, copy, full, onScreen);
    QTRY_COMPARE_WITH_TIMEOUT(shown.size(), 5, 10000);
    QCOMPARE(shown.last(), QSize(4000, 3000));
    QCOMPARE(history.keptBytes(), 4LL * 4000 * 3000); // the new one alone

    // A picture ahead that has to wait for another decode's end anyway leaves them be.
    const QString third = tree.path("third.jpg");
    QVERIFY(QFile::copy(large, third));
    const auto slow = overrideHook(imaging::setPictureLoader, [&](imaging::PictureLoad &load) {
        QThread::msleep(load.path() == copy ? 300 : 0);
        return load.picture();
    });
    // Room for one decode beside another's picture, not for two decodes.
    const qint64 now = sys::residentBytes(), decoding = imaging::PictureLoad(copy).memory();
    tight.limitBytes = [&] { return now + margin + 2 * 4 * 4000 * 3000 + decoding * 3 / 2; };
    show::PictureCache ahead(
        std::make_unique<show::DecodeQueue>(tight, show::PictureCache::kUrgentBelow), 2);
    for (const QString &path : {a, b}) {
        ahead.fetch(show::Waiter::Screen, path, full, onScreen);
        QTRY_VERIFY_WITH_TIMEOUT(!ahead.waitingFor(show::Waiter::Screen), 5000);
    }
    ahead.plan({{copy, third}, {a, b}}, full);
    QTRY_VERIFY_WITH_TIMEOUT(!ahead.nearest(third, full).isNull(), 10000);
    QVERIFY(!ahead.nearest(b, full).isNull());
}

void ShowTest::tickUsesFreshFileOverStaleDecode()
{
    TestTree tree;
    QVERIFY(writeJpeg(tree.path("a.jpg"), QSize(40, 20)));
    QVERIFY(writeJpeg(tree.path("b.jpg"), QSize(40, 20)));
    frmMain w;
    w.show();
    w.resize(400, 400);
    startShow(w, tree.path()); // draws a.jpg and decodes b.jpg ahead
    QVERIFY(writeJpeg(tree.path("b.jpg"), QSize(20, 40), Qt::green, Qt::green));
    runTick(w);
    QCOMPARE(w.Image1->picture().size, QSize(20, 40));
    runTick(w); // a.jpg again, decoded ahead
    QCOMPARE(w.Image1->picture().size, QSize(40, 20));
    QCOMPARE(w.Image1->geometry(), QRect(0, 100, 400, 200));
}

void ShowTest::captionNamesModeAndFile()
{
    const TestTree tree;
    QVERIFY(writeJpeg(tree.path("sea.jpg"), QSize(8, 8)));
    frmMain w;
    startShow(w, tree.path());
    QCOMPARE(w.windowTitle(), QStringLiteral("Pelmora")); // Start leaves the caption alone
    runTick(w);
    QCOMPARE(w.windowTitle(), caption("N", "sea.jpg"));
    w.chkRND->setValue(1);
    const auto random = overrideHook(sys::setRandomSource,
                                     std::make_unique<ScriptedRandom>(QList<float>{0.0f, 0.0f}));
    runTick(w);
    QCOMPARE(w.windowTitle(), caption("R", "sea.jpg"));
    QCOMPARE(show::showCaption(show::Order::Random, tree.path("gone.jpg")), caption("R", ""));
    QCOMPARE(show::showCaption(show::Order::Sequential, QString()), caption("N", ""));
    w.slideShow().stop();
    QCOMPARE(w.windowTitle(), QStringLiteral("Pelmora"));
}

void ShowTest::pickDrawnAheadIsShownOrLeavesNoTrace()
{
    TestTree tree({"s1/", "s2/"});
    for (const char *name : {"s1/a1.jpg", "s1/a2.jpg", "s1/a3.jpg", "s2/b1.jpg", "s2/b2.jpg"})
        QVERIFY(writeJpeg(tree.path(name), QSize(8, 8)));
    frmMain w;
    w.chkSub->setValue(1);
    w.chkRND->setValue(1);
    QVERIFY(w.fileList().SetFolder(tree.path()));
    // Start draws a1, then a2 ahead; the tick shows a2 and draws b1 ahead, which no tick shows.
    const auto random =
        overrideHook(sys::setRandomSource, std::make_unique<ScriptedRandom>(QList<float>{
                                               0.0f, 0.0f, 0.0f, 0.4f, 0.9f, 0.0f, 0.9f, 0.9f}));
    w.cmdStart_Click();
    runTick(w);
    QCOMPARE(w.history().item(1), tree.path("s1/a2.jpg"));
    w.slideShow().stop();
    // In order, the next show goes on in the folder of the last picture shown.
    w.chkRND->setValue(0);
    w.cmdStart_Click();
    runTick(w);
    QCOMPARE(w.history().item(2), tree.path("s1/a2.jpg"));
    // Another folder chosen; a stop while the first tick waits leaves the show in it.
    w.slideShow().stop();
    const TestTree other({"o/"});
    QVERIFY(writeJpeg(other.path("o/o1.jpg"), QSize(8, 8)));
    QVERIFY(w.fileList().SetFolder(other.path()));
    w.cmdStart_Click();
    w.Timer1_Timer();
    w.slideShow().stop();
    w.cmdStart_Click();
    runTick(w);
    QCOMPARE(w.history().item(3), other.path("o/o1.jpg"));
}

void ShowTest::emptyAndBadPicks()
{
    const TestTree tree({"b-empty.jpg"});
    QFile text(tree.path("c-text.jpg"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("not a picture at all");
    text.close();
    QVERIFY(writeJpeg(tree.path("a-good.jpg"), QSize(100, 50)));
    frmMain w;
    w.resize(400, 400);
    startShow(w, tree.path()); // draws a-good; the ticks go on from there
    for (const char *bad : {"b-empty.jpg", "c-text.jpg"}) {
        runTick(w);
        QCOMPARE(w.history().item(w.history().count()), tree.path(bad));
        QCOMPARE(w.windowTitle(), caption("N", bad));
        QVERIFY(w.Image1->isHidden()); // nothing shown until the next tick
        QVERIFY(w.Timer1->isEnabled());
    }
    runTick(w);
    QVERIFY(!w.Image1->isHidden());
    QCOMPARE(w.Image1->geometry(), QRect(0, 100, 400, 200));

    // A random pick in a folder emptied since the scan gives the empty pick.
    for (const char *n : {"a-good.jpg", "b-empty.jpg", "c-text.jpg"})
        QVERIFY(QFile::remove(tree.path(n)));
    w.chkRND->setValue(1);
    runTick(w);
    QCOMPARE(w.history().item(w.history().count()), QString());
    QCOMPARE(w.windowTitle(), caption("R", ""));
    QVERIFY(w.Image1->isHidden());
    w.slideShow().stop(); // still stops cleanly
    QVERIFY(!w.Frame1->isHidden());
    QVERIFY(!w.Timer1->isEnabled());
    QVERIFY(w.Image1->picture().isNull());
}

void ShowTest::timerDrivesTheShow()
{
    const TestTree tree;
    QVERIFY(writeJpeg(tree.path("a.jpg"), QSize(8, 8)));
    QVERIFY(writeJpeg(tree.path("b.jpg"), QSize(8, 8)));
    frmMain w;
    w.Timer1->setInterval(30);
    startShow(w, tree.path());
    QTRY_VERIFY_WITH_TIMEOUT(w.history().count() >= 3, 5000);
    QVERIFY(w.Timer1->isEnabled());
    w.slideShow().stop();
    const int shown = w.history().count();
    QTest::qWait(100);
    QCOMPARE(w.history().count(), shown);
}

void ShowTest::endClosesTheWindow()
{
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::mouseClick(w.cmdEnd, Qt::LeftButton);
    QVERIFY(!w.isVisible());
}

QTEST_MAIN(ShowTest)
#include "tst_show.moc"
