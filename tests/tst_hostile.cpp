#include "TestSupport.h"
#include "controls/Controls.h"
#include "controls/PictureControls.h"
#include "imaging/Picture.h"
#include "picture_source/FileListBox.h"
#include "picture_source/frmFileList.h"
#include "show/Clock.h"
#include "system/PathCodec.h"
#include "viewer/frmMain.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFrame>
#include <QImageWriter>
#include <QScrollBar>
#include <QThread>
#include <QtTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace {

QByteArray jpegBytes(const QImage &image, bool progressive = false)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "JPEG");
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return data;
}

QImage halves(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::blue);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width() / 2; ++x)
            image.setPixel(x, y, qRgb(255, 0, 0));
    return image;
}

// A small JPEG whose frame header claims another size.
QByteArray claimingSize(QSize claimed, bool progressive = false)
{
    QByteArray data = jpegBytes(halves(QSize(16, 16)), progressive);
    const qsizetype sof = data.indexOf(progressive ? "\xFF\xC2" : "\xFF\xC0");
    data[sof + 5] = char(claimed.height() >> 8);
    data[sof + 6] = char(claimed.height() & 0xFF);
    data[sof + 7] = char(claimed.width() >> 8);
    data[sof + 8] = char(claimed.width() & 0xFF);
    return data;
}

// A progressive JPEG whose last scan comes `times` times: each pass costs the decoder a pass
// over every block of the picture.
QByteArray repeatingLastScan(const QByteArray &jpeg, int times)
{
    const qsizetype end = jpeg.lastIndexOf("\xFF\xD9");
    const QByteArray scan =
        jpeg.mid(jpeg.lastIndexOf("\xFF\xDA"), end - jpeg.lastIndexOf("\xFF\xDA"));
    return jpeg.left(end) + scan.repeated(times - 1) + jpeg.mid(end);
}

QByteArray withOrientation(int orientation)
{
    const TestTree tree;
    writeJpeg(tree.path("o.jpg"), QSize(40, 20), Qt::red, Qt::blue, orientation);
    return readAll(tree.path("o.jpg"));
}

qint64 peakKb()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

const imaging::DisplaySize kDisplay = [](QSize p) {
    return p.scaled(400, 400, Qt::KeepAspectRatio);
};

} // namespace

class HostileTest : public QObject {
    Q_OBJECT

private slots:
    void init() { m_isolation.emplace(isolateViewer()); }
    void cleanup() { m_isolation.reset(); }

    void hostilePictures_data();
    void hostilePictures();
    void showGoesOnOverHostilePictures();
    void slowDecodeNeverHoldsTheWindow_data();
    void slowDecodeNeverHoldsTheWindow();
    void foldersVanishDuringAShow();
    void permissionDenied();
    void subFolderLinkToItsParent();
    void specialFilesNamedLikePictures();
    void namesThatAreNoUtf8();
    void pathsNearTheLengthLimit();
    void fiftyThousandPictures();

private:
    const HookGuard m_dpi = overrideHook(sys::setDpiSource, std::make_unique<FixedDpi>(96));
    std::optional<IsolatedViewer> m_isolation;
};

void HostileTest::hostilePictures_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("shown"); // 1 shown, 0 never, -1 either way
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("withinMs"); // a bound on the time, against a file that hangs the show
    const QByteArray good = jpegBytes(halves(QSize(400, 300)));
    QTest::newRow("0 bytes") << QByteArray() << 0 << QSize() << 20000;
    QTest::newRow("cut after 300 bytes") << good.left(300) << -1 << QSize(400, 300) << 20000;
    QTest::newRow("cut after half") << good.left(good.size() / 2) << 1 << QSize(400, 300) << 20000;
    QByteArray undefinedTable = good; // the decoder gives up as it starts, with pixels to fill
    undefinedTable[undefinedTable.indexOf("\xFF\xDA") + 6] = char(0x22);
    QTest::newRow("scan using an undefined Huffman table")
        << undefinedTable << 0 << QSize() << 20000;
    QTest::newRow("plain text") << QByteArray("hello, I am no picture\n") << 0 << QSize() << 20000;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    halves(QSize(30, 20)).save(&buffer, "PNG");
    QTest::newRow("PNG named .jpg") << png << 1 << QSize(30, 20) << 20000;
    QTest::newRow("progressive") << jpegBytes(halves(QSize(640, 480)), true) << 1 << QSize(640, 480)
                                 << 20000;
    QTest::newRow("grey") << jpegBytes(
                                 halves(QSize(64, 48)).convertToFormat(QImage::Format_Grayscale8))
                          << 1 << QSize(64, 48) << 20000;
    QTest::newRow("CMYK") << cmykJpeg(QSize(64, 48)) << 1 << QSize(64, 48) << 20000;
    QTest::newRow("1 x 1") << jpegBytes(halves(QSize(1, 1))) << 1 << QSize(1, 1) << 20000;
    QTest::newRow("1 x 20000") << jpegBytes(halves(QSize(1, 20000))) << 1 << QSize(1, 20000)
                               << 20000;
    QTest::newRow("20000 x 1") << jpegBytes(halves(QSize(20000, 1))) << 1 << QSize(20000, 1)
                               << 20000;
    QTest::newRow("header claims 65000 x 65000")
        << claimingSize(QSize(65000, 65000)) << 0 << QSize() << 20000;
    // Found by fuzzing: a progressive file holds all its coefficients, here 6.6 GB of them.
    QTest::newRow("progressive header claims 65496 x 16895")
        << claimingSize(QSize(65496, 16895), true) << 0 << QSize() << 20000;
    QTest::newRow("EXIF orientation 9") << withOrientation(9) << 1 << QSize(40, 20) << 20000;
    QTest::newRow("EXIF orientation 0") << withOrientation(0) << 1 << QSize(40, 20) << 20000;
    // Made to keep the decoder busy for minutes: refused before it starts.
    QImage grey(4000, 3000, QImage::Format_Grayscale8);
    grey.fill(128);
    QTest::newRow("last scan 20,000 times at 4000 x 3000")
        << repeatingLastScan(jpegBytes(grey, true), 20000) << 0 << QSize() << 500;
    QTest::newRow("a single-scan file's scan 20,000 times")
        << repeatingLastScan(jpegBytes(grey), 20000) << 0 << QSize() << 500;
    const QByteArray largest = claimingSize(QSize(15000, 15000), true); // within the memory bound
    QTest::newRow("3,000 scans at the largest size")
        << repeatingLastScan(largest, 3000) << 0 << QSize() << 500;
    QTest::newRow("300 scans at the largest size")
        << repeatingLastScan(largest, 300) << 0 << QSize() << 500;
}

void HostileTest::hostilePictures()
{
    QFETCH(QByteArray, content);
    QFETCH(int, shown);
    QFETCH(QSize, size);
    QFETCH(int, withinMs);
    const TestTree tree;
    const QString path = tree.path("x.jpg");
    QVERIFY(writeAll(path, content));
    const qint64 before = peakKb();
    QElapsedTimer clock;
    clock.start();
    for (const imaging::DisplaySize &display : {kDisplay, imaging::DisplaySize()}) {
        const imaging::Picture picture = imaging::loadPicture(path, display);
        if (shown == 1)
            QVERIFY(!picture.isNull());
        if (shown == 0)
            QVERIFY(picture.isNull());
        if (!picture.isNull()) {
            QCOMPARE(picture.size, size);
            QVERIFY(picture.image.width() <= size.width() &&
                    picture.image.height() <= size.height());
        }
    }
    QVERIFY2(clock.elapsed() < 2 * withinMs,
             qPrintable(QString::number(clock.elapsed()))); // 2 loads
    QVERIFY2(peakKb() - before < 300 * 1024, "used too much memory");
}

void HostileTest::showGoesOnOverHostilePictures()
{
    const TestTree tree;
    const QList<QByteArray> contents{QByteArray(),
                                     "text",
                                     claimingSize(QSize(65000, 65000)),
                                     cmykJpeg(QSize(30, 30)),
                                     jpegBytes(halves(QSize(1, 2000))),
                                     jpegBytes(halves(QSize(100, 50)))};
    for (int i = 0; i < contents.size(); ++i)
        QVERIFY(writeAll(tree.path(QStringLiteral("p%1.jpg").arg(i)), contents[i]));
    frmMain w;
    w.show();
    w.resize(400, 400);
    QVERIFY(w.fileList().SetFolder(tree.path()));
    w.cmdStart_Click();
    for (int i = 0; i < 2 * contents.size(); ++i) {
        runTick(w);
        QVERIFY(w.Timer1->isEnabled());
        pressKey(&w, Qt::Key_Left);
    }
    QCOMPARE(w.history().count(), 10);
    pressKey(&w, Qt::Key_Escape);
    QVERIFY(!w.Frame1->isHidden());
    QCOMPARE(w.windowTitle(), QStringLiteral("Pelmora"));
}

void HostileTest::slowDecodeNeverHoldsTheWindow_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("decodeMs"); // how long the picture takes to decode
    QTest::newRow("Esc stops the show and its decode") << "esc" << 30000;
    QTest::newRow("closing never waits for a decode") << "close" << 30000;
    QTest::newRow("Space pauses; nothing new comes until resumed") << "space" << 400;
    QTest::newRow("a decode past ten seconds is given up") << "none" << 30000;
    QTest::newRow("the window grew meanwhile; the picture still comes sharp") << "grow" << 400;
}

void HostileTest::slowDecodeNeverHoldsTheWindow()
{
    QFETCH(QString, input);
    QFETCH(int, decodeMs);
    const TestTree tree;
    QVERIFY(writeAll(tree.path("a.jpg"), jpegBytes(halves(QSize(1000, 500)))));
    // A loader as slow as a hostile file, that stops when its decode is no longer wanted. What
    // it writes is its own: a decode this row left behind may still run in the next.
    QElapsedTimer clock;
    clock.start();
    const auto stopped = std::make_shared<std::atomic<qint64>>(-1);
    std::atomic<qint64> &stoppedAt = *stopped;
    const auto slow = overrideHook(
        imaging::setPictureLoader, [clock, decodeMs, stopped](imaging::PictureLoad &load) {
            const qint64 until = clock.elapsed() + decodeMs;
            while (clock.elapsed() < until && !load.cancelled())
                QThread::msleep(1);
            *stopped = clock.elapsed();
            return load.cancelled() ? imaging::Picture() : load.picture();
        });
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::qWait(300);       // no resize after Start asks for another decode
    w.HScroll1->setValue(5); // half a second: twenty intervals are less than ten seconds
    QVERIFY(w.fileList().SetFolder(tree.path()));
    w.cmdStart_Click();
    const qint64 tickAt = clock.elapsed();
    w.Timer1_Timer(); // waits for its picture; the window does not
    QVERIFY(clock.elapsed() - tickAt < 200);
    QTest::qWait(100);
    const qint64 pressedAt = clock.elapsed();
    if (input == "esc")
        pressKey(&w, Qt::Key_Escape);
    else if (input == "close")
        w.close();
    else if (input == "space")
        pressKey(&w, Qt::Key_Space);
    else if (input == "grow") { // no later tick can bring a sharp picture instead
        w.Timer1->setInterval(60000);
        w.resize(900, 700);
    }
    // The key or close took effect at once. A close also writes the settings through to the
    // disk, which a busy disk may take a second over; it never waits out the decode.
    QVERIFY(clock.elapsed() - pressedAt < (input == "close" ? 3000 : 200));
    QTRY_VERIFY_WITH_TIMEOUT(stoppedAt >= 0, 15000);
    QTRY_VERIFY(!w.isLoading() || input == "close");
    // Cancelled within milliseconds, not decoded on for half a minute; the margin is for a
    // busy machine that is slow to schedule the worker.
    if (input == "esc" || input == "close")
        QVERIFY2(stoppedAt - pressedAt < 1000, qPrintable(QString::number(stoppedAt - pressedAt)));
    if (input == "space") { // paused: the decode ends unseen; resumed, its pick comes next
        QTest::qWait(300);
        QVERIFY(w.Image1->picture().isNull() && !w.Timer1->isEnabled());
        QCOMPARE(w.history().count(), 0);
        pressKey(&w, Qt::Key_Space);
        QVERIFY(w.Timer1->isEnabled());
        runTick(w);
        QCOMPARE(w.history().item(1), tree.path("a.jpg"));
        QVERIFY(!w.Image1->picture().isNull());
    }
    if (input == "none") { // shown as a picture that does not load, after ten seconds
        QVERIFY2(stoppedAt >= 10000, qPrintable(QString::number(stoppedAt)));
        QCOMPARE(w.history().item(1), tree.path("a.jpg"));
        QVERIFY(w.picTemp->picture().isNull());
    }
    if (input == "grow") // decoded for the smaller window first, then again for this one
        QTRY_COMPARE_WITH_TIMEOUT(w.Image1->picture().image.width(), w.Image1->width(), 5000);
}

void HostileTest::foldersVanishDuringAShow()
{
    for (qint16 order : {qint16(0), qint16(1)}) {
        TestTree tree({"s1/a.jpg", "s2/b.jpg", "other/"});
        frmFileList source([] { return 1; });
        QVERIFY(source.SetFolder(tree.path()));
        QVERIFY(QDir(tree.path("s1")).removeRecursively());
        QVERIFY(QDir(tree.path("s2")).removeRecursively());
        QVERIFY(writeAll(tree.path("s2"), "a file where a folder was"));
        Module1::lFileIndex = -1;
        Module1::lFolderIndex = -1;
        // A pick may still name what the listing held, but nothing of it loads, and the
        // walk ends instead of looping.
        for (int i = 0; i < 4; ++i) {
            const QString pick = source.GetRNDFile(order);
            QVERIFY2(pick.isEmpty() || imaging::loadPicture(pick).isNull(), qPrintable(pick));
        }
        QVERIFY(!source.SetFolder(tree.path("s2"))); // a file now: nothing to list
    }
}

void HostileTest::permissionDenied()
{
    TestTree tree({"open/a.jpg", "shut/b.jpg", "top/c.jpg", "pics/d.jpg"});
    QVERIFY(writeJpeg(tree.path("pics/e.jpg"), QSize(10, 10)));
    QFile::setPermissions(tree.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                           QFile::ReadOther | QFile::ExeOther);
    for (const char *folder : {"open", "top", "pics"})
        QFile::setPermissions(tree.path(folder), QFile::ReadOwner | QFile::WriteOwner |
                                                     QFile::ExeOwner | QFile::ReadOther |
                                                     QFile::ExeOther);
    QFile::setPermissions(tree.path("shut"), QFile::Permissions());
    QFile::setPermissions(tree.path("pics/e.jpg"), QFile::Permissions());
    const QString root = tree.path();
    QVERIFY(inUnprivilegedChild([root] {
        frmFileList source([] { return 1; });
        // The sub-folder we may not read is passed over; the others are stored.
        if (!source.SetFolder(root) || source.folders()->size() != 3)
            return false;
        if (source.SetFolder(root + "/shut")) // a folder we may not read holds nothing for us
            return false;
        // A picture we may not read loads as nothing, at once.
        return imaging::loadPicture(root + "/pics/e.jpg").isNull();
    }));
}

void HostileTest::subFolderLinkToItsParent()
{
    const TestTree tree({"a.jpg", "s/b.jpg"});
    QVERIFY(QFile::link(tree.path(), tree.path("loop")));
    frmFileList source([] { return 1; });
    QVERIFY(source.SetFolder(tree.path()));
    QCOMPARE(*source.folders(), (QStringList{tree.path(), tree.path("loop"), tree.path("s")}));
}

void HostileTest::specialFilesNamedLikePictures()
{
    const TestTree tree({"a.jpg"});
    QCOMPARE(::mkfifo(QFile::encodeName(tree.path("pipe.jpg")).constData(), 0600), 0);
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), tree.path("zero.jpg")));
    const bool device = ::mknod(QFile::encodeName(tree.path("dev.jpg")).constData(), S_IFCHR | 0600,
                                makedev(1, 3)) == 0; // needs root
    source::FileListBox list;
    list.setPattern(QStringLiteral("*.JPG"));
    list.setPath(tree.path());
    QCOMPARE(list.count(), 1);
    QElapsedTimer clock;
    clock.start();
    for (const char *name : {"pipe.jpg", "zero.jpg", "dev.jpg"}) {
        if (QByteArray(name) == "dev.jpg" && !device)
            continue;
        QVERIFY(imaging::loadPicture(tree.path(name)).isNull());
    }
    QVERIFY(clock.elapsed() < 5000);
}

void HostileTest::namesThatAreNoUtf8()
{
    const TestTree tree;
    const QByteArray rawName = QFile::encodeName(tree.path()) + "/caf\xE9 \xFF.jpg";
    const QByteArray jpeg = jpegBytes(halves(QSize(60, 30)));
    FILE *file = std::fopen(rawName.constData(), "wb");
    QVERIFY(file);
    std::fwrite(jpeg.constData(), 1, size_t(jpeg.size()), file);
    std::fclose(file);

    const QString decoded = sys::decodePath(rawName);
    QCOMPARE(sys::encodePath(decoded), rawName); // the name opens again, byte for byte
    frmMain w;
    w.show();
    w.resize(300, 300);
    QVERIFY(w.fileList().SetFolder(tree.path()));
    w.cmdStart_Click();
    runTick(w);
    QVERIFY(!w.Image1->picture().isNull());
    QCOMPARE(w.Image1->picture().size, QSize(60, 30));
    QVERIFY2(w.windowTitle().contains(QStringLiteral("caf\uFFFD \uFFFD.jpg")),
             qPrintable(w.windowTitle()));
}

void HostileTest::pathsNearTheLengthLimit()
{
    const TestTree tree;
    QString folder = tree.path();
    while (folder.size() < 3900)
        folder += QLatin1Char('/') + QString(200, QLatin1Char('d'));
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(writeJpeg(folder + "/a.jpg", QSize(20, 10)));
    frmMain w;
    w.show();
    w.resize(200, 200);
    QVERIFY(w.fileList().SetFolder(folder));
    w.cmdStart_Click();
    runTick(w);
    QCOMPARE(w.Image1->picture().size, QSize(20, 10));
    // Past the limit: nothing to find, nothing breaks.
    const QString tooLong = folder + QLatin1Char('/') + QString(300, QLatin1Char('x'));
    QVERIFY(!w.fileList().SetFolder(tooLong));
    QVERIFY(imaging::loadPicture(tooLong + "/a.jpg").isNull());
}

void HostileTest::fiftyThousandPictures()
{
    const TestTree tree;
    const QByteArray root = QFile::encodeName(tree.path());
    for (int i = 0; i < 50000; ++i) {
        FILE *f =
            std::fopen((root + "/p" + QByteArray::number(100000 + i) + ".jpg").constData(), "w");
        QVERIFY(f);
        std::fclose(f);
    }
    frmFileList source([] { return 0; });
    QVERIFY(source.SetFolder(tree.path()));
    Module1::lFileIndex = 49998;
    Module1::lFolderIndex = 0;
    QCOMPARE(source.GetRNDFile(0), tree.path("p149999.jpg"));
    QCOMPARE(source.GetRNDFile(0), tree.path("p100000.jpg"));
    const auto random = overrideHook(
        sys::setRandomSource, std::make_unique<ScriptedRandom>(QList<float>{0.0f, 0.99998f}));
    QCOMPARE(source.GetRNDFile(1), tree.path("p149999.jpg"));
}

QTEST_MAIN(HostileTest)
#include "tst_hostile.moc"
