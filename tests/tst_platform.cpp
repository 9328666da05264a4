#include "TestSupport.h"
#include "controls/Controls.h"
#include "controls/KeyPreview.h"
#include "imaging/JpegDecoder.h"
#include "imaging/Picture.h"
#include "picture_source/FileListBox.h"
#include "system/DirSearch.h"
#include "system/Numbers.h"
#include "system/Twips.h"

#include <QColorSpace>
#include <QColorTransform>
#include <QElapsedTimer>
#include <QFrame>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

namespace {

// A JPEG (or another kind of file) of flat 64-pixel squares of sRGB colours, whose values are
// first converted into `space` (embedded by Qt as a profile) when it is valid.
QByteArray squares(const QList<QColor> &colours, const QColorSpace &space = {},
                   QImage::Format format = QImage::Format_RGB32, const char *kind = "JPEG")
{
    QImage image(64 * int(colours.size()), 64, QImage::Format_RGB32);
    for (int i = 0; i < colours.size(); ++i)
        QPainter(&image).fillRect(64 * i, 0, 64, 64, colours[i]);
    if (space.isValid()) {
        image.setColorSpace(QColorSpace::SRgb);
        image.convertToColorSpace(space);
    }
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.convertToFormat(format).save(&buffer, kind, 100);
    return data;
}

// Embeds an ICC profile, in one segment, in a JPEG that has none.
QByteArray withProfile(QByteArray jpeg, const QByteArray &profile)
{
    const QByteArray payload = QByteArray("ICC_PROFILE\0\x01\x01", 14) + profile;
    const int length = int(payload.size()) + 2;
    return jpeg.insert(2, "\xFF\xE2" + QByteArray(1, char(length >> 8)) + char(length) + payload);
}

} // namespace

class PlatformTest : public QObject {
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

    void fileListOrderAndPattern();
    void fileListManyPictures();
    void fileListReadsAChangedFolderOnly();

    void loadPicture_data();
    void loadPicture();
    void loadPictureTurnsByExifOrientation();
    void loadPictureNeverBlocksOnPipe();
    void jpegScale_data();
    void jpegScale();
    void loadPictureForDisplay_data();
    void loadPictureForDisplay();
    void hugePictureShowsReduced();

    void keyPreviewSeesEachKeyOnce_data();
    void keyPreviewSeesEachKeyOnce();
    void comboRaisesClickOnIndexChange();
};

void PlatformTest::roundHalfEven_data()
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

void PlatformTest::roundHalfEven()
{
    QFETCH(double, value);
    QFETCH(double, expected);
    QCOMPARE(sys::roundHalfEven(value), expected);
}

void PlatformTest::singleToText_data()
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

void PlatformTest::singleToText()
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

void PlatformTest::twips()
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

void PlatformTest::dirSearch_data()
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

void PlatformTest::dirSearch()
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

void PlatformTest::dirSearchSkipsSpecialFiles()
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

void PlatformTest::fileListOrderAndPattern()
{
    const TestTree tree({"b.jpg", "A.JPG", "c.Jpg", "d.jpeg", "E.JPEG", "x.png", "y.jpgx",
                         ".hidden.jpg", "folder.jpg/", "sub/z.jpg"});
    source::FileListBox list;
    list.setPattern(QStringLiteral("*.JPG;*.JPEG"));
    list.setPath(tree.path());
    QCOMPARE(list.count(), 5);
    const QStringList expected{"A.JPG", "b.jpg", "c.Jpg", "d.jpeg", "E.JPEG"};
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(list.item(i), expected.at(i));
    QCOMPARE(list.item(list.count()), QString());
    QCOMPARE(list.path(), tree.path());

    list.setPath(tree.path("missing"));
    QCOMPARE(list.count(), 0);
    QCOMPARE(list.item(0), QString());
}

void PlatformTest::fileListManyPictures()
{
    // More names than a 16-bit count could hold.
    const TestTree tree;
    const QByteArray root = QFile::encodeName(tree.path());
    for (int i = 0; i < 50000; ++i) {
        const QByteArray name = root + "/p" + QByteArray::number(i).rightJustified(5, '0') + ".jpg";
        QFile file(QFile::decodeName(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    source::FileListBox list;
    list.setPattern(QStringLiteral("*.JPG"));
    list.setPath(tree.path());
    QCOMPARE(list.count(), 50000);
    QCOMPARE(list.item(0), QStringLiteral("p00000.jpg"));
    QCOMPARE(list.item(49999), QStringLiteral("p49999.jpg"));
    QCOMPARE(list.item(50000), QString());
}

void PlatformTest::fileListReadsAChangedFolderOnly()
{
    TestTree tree({"a.jpg", "b.jpg"});
    const QByteArray folder = QFile::encodeName(tree.path());
    const auto age = [&] { // as if the folder had last changed an hour ago
        const timespec old[2] = {{std::time(nullptr) - 3600, 0}, {std::time(nullptr) - 3600, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, folder.constData(), old, 0), 0);
    };
    age();
    source::FileListBox list;
    list.setPattern(QStringLiteral("*.JPG"));
    list.setPath(tree.path());
    QCOMPARE(list.count(), 2);

    tree.add({"c.jpg"}); // a change on disk is always seen
    list.setPath(tree.path());
    QCOMPARE(list.count(), 3);

    age();
    list.setPath(tree.path());
    tree.add({"d.jpg"});
    age(); // the same modification time as at the last reading: the folder is not read again
    list.setPath(tree.path());
    QCOMPARE(list.count(), 3);
    list.setPath(tree.path("missing")); // another folder in between reads afresh
    list.setPath(tree.path());
    QCOMPARE(list.count(), 4);
}

void PlatformTest::loadPicture_data()
{
    QTest::addColumn<QByteArray>("content");    // "" writes no file at all
    QTest::addColumn<QSize>("expected");        // invalid: the empty picture
    QTest::addColumn<QList<QColor>>("colours"); // of 64-pixel squares, left to right, within 3
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        QImage(64, 48, QImage::Format_RGB32).save(&buffer, "JPEG");
    }
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImage(30, 20, QImage::Format_RGB32).save(&buffer, "PNG");
    }
    const QList<QColor> none;
    QTest::newRow("jpeg") << jpeg << QSize(64, 48) << none;
    QTest::newRow("png named .jpg") << png << QSize(30, 20) << none;
    QTest::newRow("missing") << QByteArray() << QSize() << none;
    QTest::newRow("text") << QByteArray("this is no picture\n") << QSize() << none;
    QTest::newRow("header only") << jpeg.left(20) << QSize() << none;

    // Colours as the photographer saw them, whatever space they were stored in. A profile that
    // cannot be used is ignored: the stored values are shown as they are.
    const QList<QColor> colours{{200, 40, 40}, {40, 90, 200}, {230, 200, 60}, {90, 160, 120}};
    const QColorSpace srgb(QColorSpace::SRgb), adobe(QColorSpace::AdobeRgb);
    const QByteArray inAdobe = squares(colours, adobe);
    QList<QColor> adobeValues;
    for (const QColor &colour : colours)
        adobeValues << srgb.transformationToColorSpace(adobe).map(colour);
    QByteArray grey = QColorSpace(QColorSpace::SRgbLinear).iccProfile(); // made a grey profile
    grey.replace(16, 4, "GRAY").replace("rTRC", "kTRC");
    QByteArray large = adobe.iccProfile() + QByteArray(70000, 0); // more than a segment holds
    qToBigEndian(quint32(large.size()), large.data());
    const QSize four(256, 64);
    QTest::newRow("untagged") << squares(colours) << four << colours;
    QTest::newRow("sRGB") << squares(colours, srgb) << four << colours;
    QTest::newRow("Adobe RGB") << inAdobe << four << colours;
    QTest::newRow("Display P3") << squares(colours, QColorSpace::DisplayP3) << four << colours;
    QTest::newRow("ProPhoto") << squares(colours, QColorSpace::ProPhotoRgb) << four << colours;
    QTest::newRow("PNG named .jpg, Adobe RGB")
        << squares(colours, adobe, QImage::Format_RGB32, "PNG") << four << colours;
    QTest::newRow("Adobe RGB in two segments")
        << squares(colours, QColorSpace::fromIccProfile(large)) << four << colours;
    QTest::newRow("profile damaged")
        << QByteArray(inAdobe).replace("acsp", "xxxx") << four << adobeValues;
    QTest::newRow("a segment of the profile missing")
        << QByteArray(inAdobe).replace(QByteArray("ICC_PROFILE\0\x01\x01", 14),
                                       QByteArray("ICC_PROFILE\0\x01\x02", 14))
        << four << adobeValues;
    QTest::newRow("CMYK profile on a colour picture")
        << QByteArray(inAdobe).replace("RGB XYZ ", "CMYKXYZ ") << four << adobeValues;
    QTest::newRow("grey profile on a colour picture")
        << withProfile(squares(colours), grey) << four << colours;
    const QList<QColor> greys{{100, 100, 100}, {200, 200, 200}}; // linear light; in sRGB:
    QTest::newRow("grey with a grey profile")
        << withProfile(squares(greys, {}, QImage::Format_Grayscale8), grey) << QSize(128, 64)
        << QList<QColor>{{168, 168, 168}, {229, 229, 229}};
    // QColor makes inks RGB as the naive conversion does: (1 - ink) (1 - black) of white.
    const QList<QColor> inks{QColor::fromCmyk(255, 0, 0, 0), QColor::fromCmyk(0, 200, 255, 0),
                             QColor::fromCmyk(40, 0, 160, 60), QColor::fromCmyk(0, 0, 0, 128)};
    QTest::newRow("CMYK, Adobe") << cmykJpeg(four, inks) << four << inks;
    QTest::newRow("CMYK, plain") << cmykJpeg(four, inks, false) << four << inks;
}

void PlatformTest::loadPicture()
{
    QFETCH(QByteArray, content);
    QFETCH(QSize, expected);
    QFETCH(QList<QColor>, colours);
    const TestTree tree;
    const QString path = tree.path("p.jpg");
    if (!content.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    const imaging::Picture picture = imaging::loadPicture(path);
    QCOMPARE(picture.isNull(), !expected.isValid());
    if (expected.isValid()) {
        QCOMPARE(picture.size, expected);
        QCOMPARE(picture.image.size(), expected);
    }
    for (int i = 0; i < colours.size(); ++i) {
        const QColor got = picture.image.pixelColor(64 * i + 32, 32), want = colours[i].toRgb();
        const int off = std::max({qAbs(got.red() - want.red()), qAbs(got.green() - want.green()),
                                  qAbs(got.blue() - want.blue())});
        QVERIFY2(off <= 3, qPrintable(got.name() + QStringLiteral(" for ") + want.name()));
    }
    QVERIFY(imaging::loadPicture(QString()).isNull());
}

void PlatformTest::loadPictureTurnsByExifOrientation()
{
    const TestTree tree;
    // Orientation 6: the stored picture must be turned a quarter clockwise to stand upright,
    // so its left (red) half becomes the top.
    QVERIFY(writeJpeg(tree.path("turned.jpg"), QSize(80, 40), Qt::red, Qt::blue, 6));
    const imaging::Picture picture = imaging::loadPicture(tree.path("turned.jpg"));
    QCOMPARE(picture.size, QSize(40, 80));
    const QColor top = picture.image.pixelColor(20, 10);
    const QColor bottom = picture.image.pixelColor(20, 70);
    QVERIFY2(top.red() > 200 && top.blue() < 60, qPrintable(top.name()));
    QVERIFY2(bottom.blue() > 200 && bottom.red() < 60, qPrintable(bottom.name()));
}

void PlatformTest::loadPictureNeverBlocksOnPipe()
{
    const TestTree tree;
    const QString pipe = tree.path("pipe.jpg");
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(imaging::loadPicture(pipe).isNull());
    QVERIFY(clock.elapsed() < 5000);
}

void PlatformTest::jpegScale_data()
{
    QTest::addColumn<QSize>("stored");
    QTest::addColumn<QSize>("atLeast");
    QTest::addColumn<int>("numerator"); // of eighths
    QTest::newRow("24 MP into 1280 x 800") << QSize(6000, 4000) << QSize(1200, 800) << 2;
    QTest::newRow("one pixel more needs the next scale") << QSize(800, 600) << QSize(101, 76) << 2;
    QTest::newRow("an eighth exactly") << QSize(800, 600) << QSize(100, 75) << 1;
    QTest::newRow("rounded up by the decoder") << QSize(801, 601) << QSize(101, 76) << 1;
    QTest::newRow("larger than the picture") << QSize(800, 600) << QSize(900, 700) << 8;
    QTest::newRow("no wish: whole") << QSize(800, 600) << QSize() << 8;
}

void PlatformTest::jpegScale()
{
    QFETCH(QSize, stored);
    QFETCH(QSize, atLeast);
    QFETCH(int, numerator);
    QCOMPARE(imaging::jpegScaleFor(stored, atLeast), numerator);
}

void PlatformTest::loadPictureForDisplay_data()
{
    QTest::addColumn<QSize>("stored");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<bool>("grey");
    QTest::addColumn<QSize>("display"); // what the display asks for, any picture
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<QSize>("size");
    QTest::newRow("reduced to the display")
        << QSize(800, 600) << 0 << false << QSize(200, 150) << QSize(200, 150) << QSize(800, 600);
    QTest::newRow("not blown up") << QSize(80, 60) << 0 << false << QSize(200, 150) << QSize(80, 60)
                                  << QSize(80, 60);
    QTest::newRow("turned, then reduced")
        << QSize(800, 400) << 6 << false << QSize(100, 200) << QSize(100, 200) << QSize(400, 800);
    QTest::newRow("grey") << QSize(640, 480) << 0 << true << QSize(64, 48) << QSize(64, 48)
                          << QSize(640, 480);
}

void PlatformTest::loadPictureForDisplay()
{
    QFETCH(QSize, stored);
    QFETCH(int, orientation);
    QFETCH(bool, grey);
    QFETCH(QSize, display);
    QFETCH(QSize, pixels);
    QFETCH(QSize, size);
    const TestTree tree;
    const QString path = tree.path("p.jpg");
    if (grey) {
        QImage image(stored, QImage::Format_Grayscale8);
        image.fill(128);
        QVERIFY(image.save(path, "JPEG"));
    } else {
        QVERIFY(writeJpeg(path, stored, Qt::red, Qt::blue, orientation));
    }
    QSize askedFor;
    const imaging::Picture picture = imaging::loadPicture(path, [&](QSize p) {
        askedFor = p;
        return display;
    });
    QCOMPARE(askedFor, size); // asked with the upright size
    QCOMPARE(picture.image.size(), pixels);
    QCOMPARE(picture.size, size);
    QCOMPARE(picture.isReduced(), pixels != size);
    QCOMPARE(picture.path, path);
    if (orientation == 6) { // the red left half became the top
        const QColor top = picture.image.pixelColor(50, 10);
        QVERIFY2(top.red() > 200 && top.blue() < 60, qPrintable(top.name()));
    }
}

void PlatformTest::hugePictureShowsReduced()
{
    // 108 megapixels: more than is ever held whole.
    const TestTree tree;
    QImage image(12000, 9000, QImage::Format_Grayscale8);
    image.fill(90);
    QVERIFY(image.save(tree.path("big.jpg"), "JPEG", 50));
    image = QImage();
    const imaging::Picture picture = imaging::loadPicture(tree.path("big.jpg"));
    QVERIFY(!picture.isNull());
    QCOMPARE(picture.size, QSize(12000, 9000));
    QVERIFY(qint64(picture.image.width()) * picture.image.height() <= 30000000);
    QCOMPARE(picture.image.width() * 3, picture.image.height() * 4);
}

void PlatformTest::keyPreviewSeesEachKeyOnce_data()
{
    QTest::addColumn<int>("focused"); // index into the controls below; -1 for none
    const char *const kinds[] = {"check box", "push button", "scroll bar", "drop-down list",
                                 "text box"};
    for (int i = 0; i < int(std::size(kinds)); ++i)
        QTest::newRow(kinds[i]) << i;
    QTest::newRow("nothing focused") << -1;
}

void PlatformTest::keyPreviewSeesEachKeyOnce()
{
    QFETCH(int, focused);
    QWidget window;
    auto *panel = new QFrame(&window); // keys a control ignores travel up through its parents
    auto *box = new controls::CheckBox(QStringLiteral("box"), panel);
    const QList<QWidget *> controls{box, new QPushButton(panel), new QScrollBar(panel),
                                    new controls::ComboBox(panel), new QPlainTextEdit(panel)};
    QList<qint16> seen;
    new controls::KeyPreview(&window, [&seen](qint16 &keyCode) {
        seen << keyCode;
        if (keyCode == 32)
            keyCode = 0;
    });
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    if (focused >= 0)
        controls.at(focused)->setFocus();
    pressKey(&window, Qt::Key_F5); // a key no control acts on
    pressKey(&window, Qt::Key_Space);
    QCOMPARE(seen, (QList<qint16>{255, 32}));
    QCOMPARE(box->value(), 0); // the consumed Space never reached the box
}

void PlatformTest::comboRaisesClickOnIndexChange()
{
    controls::ComboBox combo;
    combo.addItems({"a", "b"});
    QSignalSpy clicks(&combo, &controls::ComboBox::click);
    combo.setCurrentIndex(1);
    QCOMPARE(clicks.count(), 1); // raised before the setter returned
    combo.setCurrentIndex(1);
    QCOMPARE(clicks.count(), 1);
    combo.setCurrentIndex(-1);
    QCOMPARE(clicks.count(), 1); // nothing selected is no selection
}

QTEST_MAIN(PlatformTest)
#include "tst_platform.moc"
