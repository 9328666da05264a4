// Pictures from files: decoding, scales, orientation, colour profiles.
#include "TestSupport.h"
#include "imaging/JpegDecoder.h"
#include "imaging/Picture.h"

#include <QColorSpace>
#include <QColorTransform>
#include <QElapsedTimer>
#include <QFrame>
#include <QImageWriter>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

#include <fcntl.h>
#include <lcms2.h>
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

int sampled(const cmsUInt16Number in[], cmsUInt16Number out[], void *transform)
{
    cmsDoTransform(static_cast<cmsHTRANSFORM>(transform), in, out, 1);
    return 1;
}

// A monitor's profile in the colours of `space`, kept as a calibrated one keeps them: in tables
// of samples, which only a full colour engine reads.
QByteArray tabledProfile(const QColorSpace &space)
{
    const QByteArray icc = space.iccProfile();
    cmsHPROFILE rgb = cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size()));
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHPROFILE tabled = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(tabled, 4.3);
    cmsSetDeviceClass(tabled, cmsSigDisplayClass);
    cmsSetColorSpace(tabled, cmsSigRgbData);
    cmsSetPCS(tabled, cmsSigLabData);
    const auto table = [](cmsHPROFILE from, cmsUInt32Number in, cmsHPROFILE to,
                          cmsUInt32Number out) {
        cmsHTRANSFORM transform =
            cmsCreateTransform(from, in, to, out, INTENT_RELATIVE_COLORIMETRIC,
                               cmsFLAGS_NOOPTIMIZE | cmsFLAGS_NOCACHE);
        cmsPipeline *pipeline = cmsPipelineAlloc(nullptr, 3, 3);
        cmsStage *samples = cmsStageAllocCLut16bit(nullptr, 33, 3, 3, nullptr);
        cmsStageSampleCLut16bit(samples, sampled, transform, 0);
        // The file's tables come between curves, here ones that change nothing.
        cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
        cmsPipelineInsertStage(pipeline, cmsAT_END, samples);
        cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
        cmsDeleteTransform(transform);
        return pipeline;
    };
    cmsPipeline *toLab = table(rgb, TYPE_RGB_16, lab, TYPE_Lab_16);
    cmsPipeline *fromLab = table(lab, TYPE_Lab_16, rgb, TYPE_RGB_16);
    cmsWriteTag(tabled, cmsSigAToB0Tag, toLab);
    cmsWriteTag(tabled, cmsSigBToA0Tag, fromLab);
    cmsWriteTag(tabled, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(tabled, nullptr, &size);
    QByteArray bytes(qsizetype(size), 0);
    cmsSaveProfileToMem(tabled, bytes.data(), &size);
    cmsPipelineFree(toLab);
    cmsPipelineFree(fromLab);
    for (cmsHPROFILE profile : {rgb, lab, tabled})
        cmsCloseProfile(profile);
    return bytes;
}

// Embeds an ICC profile, in one segment, in a JPEG that has none.
QByteArray withProfile(QByteArray jpeg, const QByteArray &profile)
{
    const QByteArray payload = QByteArray("ICC_PROFILE\0\x01\x01", 14) + profile;
    const int length = int(payload.size()) + 2;
    return jpeg.insert(2, "\xFF\xE2" + QByteArray(1, char(length >> 8)) + char(length) + payload);
}

// A progressive JPEG of a noisy 320 x 240 picture, every coefficient of it busy, as
// libjpeg-turbo's tools write it: chroma sampled as cjpeg's -sample says, in jpegtran's own
// scans or those of a script; empty without the tools.
QByteArray progressiveJpeg(const QString &sampling, const QString &script)
{
    const TestTree tree;
    QImage photo(320, 240, QImage::Format_RGB32);
    QRandomGenerator noise(7);
    for (int y = 0; y < photo.height(); ++y) {
        for (int x = 0; x < photo.width(); ++x)
            photo.setPixel(
                x, y, qRgb(x / 2 + noise.bounded(60), y + noise.bounded(60), noise.bounded(256)));
    }
    const auto env = QProcessEnvironment::systemEnvironment();
    QStringList options{QStringLiteral("-progressive"), tree.path("baseline.jpg")};
    if (!script.isEmpty() && writeAll(tree.path("scans"), script.toLatin1()))
        options = QStringList{QStringLiteral("-scans"), tree.path("scans")} + options;
    if (!photo.save(tree.path("photo.ppm")) ||
        !writeAll(tree.path("baseline.jpg"),
                  runTool(env, QStringLiteral("cjpeg"),
                          {"-quality", "95", "-sample", sampling, tree.path("photo.ppm")})))
        return QByteArray();
    return runTool(env, QStringLiteral("jpegtran"), options);
}

} // namespace

class ImagingTest : public QObject {
    Q_OBJECT

private slots:
    void loadPicture_data();
    void loadPicture();
    void loadPictureTurnsByExifOrientation();
    void loadPictureNeverBlocksOnPipe();
    void jpegScale_data();
    void jpegScale();
    void loadPictureForDisplay_data();
    void loadPictureForDisplay();
    void hugePictureShowsReduced();
    void progressiveReadsOnlyScansShown_data();
    void progressiveReadsOnlyScansShown();
};

void ImagingTest::loadPicture_data()
{
    QTest::addColumn<QByteArray>("content");    // "" writes no file at all
    QTest::addColumn<QSize>("expected");        // invalid: the empty picture
    QTest::addColumn<QList<QColor>>("colours"); // of 64-pixel squares, left to right, within 3
    QTest::addColumn<QByteArray>("monitor");    // its profile; "" for sRGB
    const QByteArray sRGB;
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        QImage(64, 48, QImage::Format_RGB32).save(&buffer, "JPEG");
    }
    QByteArray progressive;
    {
        QBuffer buffer(&progressive);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "JPEG");
        writer.setProgressiveScanWrite(true);
        writer.write(QImage(64, 48, QImage::Format_RGB32));
    }
    QByteArray png;
    {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QImage(30, 20, QImage::Format_RGB32).save(&buffer, "PNG");
    }
    const QList<QColor> none;
    QTest::newRow("jpeg") << jpeg << QSize(64, 48) << none << sRGB;
    QTest::newRow("progressive jpeg") << progressive << QSize(64, 48) << none << sRGB;
    QTest::newRow("png named .jpg") << png << QSize(30, 20) << none << sRGB;
    QTest::newRow("missing") << QByteArray() << QSize() << none << sRGB;
    QTest::newRow("text") << QByteArray("this is no picture\n") << QSize() << none << sRGB;
    QTest::newRow("header only") << jpeg.left(20) << QSize() << none << sRGB;

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
    QTest::newRow("untagged") << squares(colours) << four << colours << sRGB;
    QTest::newRow("sRGB") << squares(colours, srgb) << four << colours << sRGB;
    QTest::newRow("Adobe RGB") << inAdobe << four << colours << sRGB;
    QTest::newRow("Display P3") << squares(colours, QColorSpace::DisplayP3) << four << colours
                                << sRGB;
    QTest::newRow("ProPhoto") << squares(colours, QColorSpace::ProPhotoRgb) << four << colours
                              << sRGB;
    QTest::newRow("PNG named .jpg, Adobe RGB")
        << squares(colours, adobe, QImage::Format_RGB32, "PNG") << four << colours << sRGB;
    QTest::newRow("Adobe RGB in two segments")
        << squares(colours, QColorSpace::fromIccProfile(large)) << four << colours << sRGB;
    QByteArray huge = adobe.iccProfile() + QByteArray(300000, 0); // the header runs on and on
    qToBigEndian(quint32(huge.size()), huge.data());
    QTest::newRow("Adobe RGB, header past a quarter megabyte")
        << squares(colours, QColorSpace::fromIccProfile(huge)) << four << colours << sRGB;
    QTest::newRow("profile damaged")
        << QByteArray(inAdobe).replace("acsp", "xxxx") << four << adobeValues << sRGB;
    QTest::newRow("a segment of the profile missing")
        << QByteArray(inAdobe).replace(QByteArray("ICC_PROFILE\0\x01\x01", 14),
                                       QByteArray("ICC_PROFILE\0\x01\x02", 14))
        << four << adobeValues << sRGB;
    QTest::newRow("CMYK profile on a colour picture")
        << QByteArray(inAdobe).replace("RGB XYZ ", "CMYKXYZ ") << four << adobeValues << sRGB;
    QTest::newRow("grey profile on a colour picture")
        << withProfile(squares(colours), grey) << four << colours << sRGB;
    const QList<QColor> greys{{100, 100, 100}, {200, 200, 200}}; // linear light; in sRGB:
    QTest::newRow("grey with a grey profile")
        << withProfile(squares(greys, {}, QImage::Format_Grayscale8), grey) << QSize(128, 64)
        << QList<QColor>{{168, 168, 168}, {229, 229, 229}} << sRGB;
    // QColor makes inks RGB as the naive conversion does: (1 - ink) (1 - black) of white.
    const QList<QColor> inks{QColor::fromCmyk(255, 0, 0, 0), QColor::fromCmyk(0, 200, 255, 0),
                             QColor::fromCmyk(40, 0, 160, 60), QColor::fromCmyk(0, 0, 0, 128)};
    // On a monitor of its own profile, the colours as that monitor shows them, whatever the
    // picture's profile; one the pictures cannot go into is taken for sRGB.
    const QByteArray adobeMonitor = adobe.iccProfile();
    const auto onAdobe = [&](QList<QColor> values) {
        for (QColor &value : values)
            value = srgb.transformationToColorSpace(adobe).map(value.toRgb());
        return values;
    };
    QTest::newRow("untagged, Adobe RGB monitor")
        << squares(colours) << four << adobeValues << adobeMonitor;
    QTest::newRow("Adobe RGB, Adobe RGB monitor") << inAdobe << four << adobeValues << adobeMonitor;
    QTest::newRow("Display P3, Adobe RGB monitor")
        << squares(colours, QColorSpace::DisplayP3) << four << adobeValues << adobeMonitor;
    QTest::newRow("PNG named .jpg, Adobe RGB monitor")
        << squares(colours, {}, QImage::Format_RGB32, "PNG") << four << adobeValues << adobeMonitor;
    const QByteArray tabledAdobe = tabledProfile(adobe);
    QVERIFY(!QColorSpace::fromIccProfile(tabledAdobe).isValid()); // beyond the toolkit
    QTest::newRow("untagged, Adobe RGB monitor in tables")
        << squares(colours) << four << adobeValues << tabledAdobe;
    QTest::newRow("Display P3, Adobe RGB monitor in tables")
        << squares(colours, QColorSpace::DisplayP3) << four << adobeValues << tabledAdobe;
    // Curves the toolkit reads otherwise than a full colour engine: an offset, a range past 0..1.
    for (const char *name : {"esrgb", "scrgb"}) {
        const QByteArray monitor =
            readAll(QStringLiteral("/usr/share/color/icc/ghostscript/%1.icc").arg(name));
        const QList<QColor> primaries{{200, 0, 0}, {0, 200, 0}, {0, 0, 200}, {200, 40, 40}};
        QList<QColor> shown;
        for (const QColor &colour : primaries)
            shown << asOnMonitor(colour, monitor);
        QTest::addRow("untagged, ghostscript's %s monitor", name)
            << squares(primaries) << four << (monitor.isEmpty() ? primaries : shown) << monitor;
    }
    QTest::newRow("untagged, sRGB monitor")
        << squares(colours) << four << colours << srgb.iccProfile();
    QTest::newRow("untagged, grey monitor") << squares(colours) << four << colours << grey;
    QTest::newRow("grey with a grey profile, Adobe RGB monitor")
        << withProfile(squares(greys, {}, QImage::Format_Grayscale8), grey) << QSize(128, 64)
        << onAdobe({{168, 168, 168}, {229, 229, 229}}) << adobeMonitor;
    // A file in a single scan is decoded as it is read: the middle of its squares comes after
    // the top of the noise beside them, past the first quarter megabyte.
    QImage noisy(8000, 64, QImage::Format_RGB32);
    QRandomGenerator noise(3);
    for (int y = 0; y < noisy.height(); ++y) {
        for (int x = 0; x < noisy.width(); ++x)
            noisy.setPixel(x, y, x < 128 ? colours[x / 64].rgb() : noise.generate());
    }
    QByteArray readOn;
    QBuffer noisyFile(&readOn);
    noisyFile.open(QIODevice::WriteOnly);
    noisy.save(&noisyFile, "JPEG", 100);
    QTest::newRow("read on") << readOn << noisy.size() << colours.mid(0, 2) << sRGB;
    QTest::newRow("CMYK, Adobe") << cmykJpeg(four, inks) << four << inks << sRGB;
    QTest::newRow("CMYK, plain") << cmykJpeg(four, inks, false) << four << inks << sRGB;
    QTest::newRow("CMYK, Adobe RGB monitor")
        << cmykJpeg(four, inks) << four << onAdobe(inks) << adobeMonitor;
}

void ImagingTest::loadPicture()
{
    QFETCH(QByteArray, content);
    QFETCH(QSize, expected);
    QFETCH(QList<QColor>, colours);
    QFETCH(QByteArray, monitor);
    const TestTree tree;
    const QString path = tree.path("p.jpg");
    if (!content.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    const imaging::Picture picture =
        imaging::loadPicture(path, {}, nullptr, imaging::DisplayProfile::fromIcc(monitor));
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
    // Kept for a step back in less memory, and shown again exactly as decoded.
    const QImage packed = imaging::packedImage(picture.image);
    QCOMPARE(imaging::unpackedImage(packed), picture.image);
    QVERIFY(picture.image.format() != QImage::Format_RGB32 ||
            packed.sizeInBytes() < picture.image.sizeInBytes());
    QVERIFY(imaging::loadPicture(QString()).isNull());
    // A load holds at most the file, a large one in a single scan only its first part, and one
    // of a progressive JPEG all its coefficients besides.
    const qint64 beyond = imaging::PictureLoad(path).memory() - content.size();
    if (content.contains("\xFF\xC2"))
        QVERIFY(beyond >= 2 * expected.width() * expected.height());
    else
        QVERIFY(beyond <= 0 && (beyond < 0) == !qstrcmp(QTest::currentDataTag(), "read on"));
}

void ImagingTest::loadPictureTurnsByExifOrientation()
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

void ImagingTest::loadPictureNeverBlocksOnPipe()
{
    const TestTree tree;
    const QString pipe = tree.path("pipe.jpg");
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(imaging::loadPicture(pipe).isNull());
    QVERIFY(clock.elapsed() < 5000);
}

void ImagingTest::jpegScale_data()
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

void ImagingTest::jpegScale()
{
    QFETCH(QSize, stored);
    QFETCH(QSize, atLeast);
    QFETCH(int, numerator);
    QCOMPARE(imaging::jpegScaleFor(stored, atLeast), numerator);
}

void ImagingTest::loadPictureForDisplay_data()
{
    QTest::addColumn<QSize>("stored");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<bool>("grey");
    QTest::addColumn<QSize>("display"); // what the display asks for, any picture
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<QSize>("size");
    QTest::newRow("reduced to the display")
        << QSize(800, 600) << 0 << false << QSize(200, 150) << QSize(200, 150) << QSize(800, 600);
    QTest::newRow("reduced past the DCT scale")
        << QSize(800, 600) << 0 << false << QSize(250, 188) << QSize(250, 188) << QSize(800, 600);
    QTest::newRow("not blown up") << QSize(80, 60) << 0 << false << QSize(200, 150) << QSize(80, 60)
                                  << QSize(80, 60);
    QTest::newRow("turned, then reduced")
        << QSize(800, 400) << 6 << false << QSize(100, 200) << QSize(100, 200) << QSize(400, 800);
    QTest::newRow("grey") << QSize(640, 480) << 0 << true << QSize(64, 48) << QSize(64, 48)
                          << QSize(640, 480);
}

void ImagingTest::loadPictureForDisplay()
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

void ImagingTest::hugePictureShowsReduced()
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

void ImagingTest::progressiveReadsOnlyScansShown_data()
{
    QTest::addColumn<QString>("sampling");
    QTest::addColumn<QString>("script"); // jpegtran's own when empty
    // "cut" in the second scan, luma's first AC one, or the bytes from its table on
    QTest::addColumn<QByteArray>("damage");
    QTest::addColumn<QList<int>>("cutAt"); // the scales, in eighths, whose decode leaves scans out
    const QString dcFirst = "0,1,2: 0-0, 0, 1; ", dcLast = "0,1,2: 0-0, 1, 0; ";
    const QString chroma = "1: 1-63, 0, %1; 2: 1-63, 0, %1; ";
    QTest::newRow("jpegtran's own") << "1x1" << QString() << QByteArray() << QList<int>{1};
    QTest::newRow("jpegtran's own, 4:2:0") << "2x2" << QString() << QByteArray() << QList<int>{1};
    QTest::newRow("bands 1-5, 6-63")
        << "1x1"
        << "0,1,2: 0-0, 0, 0; 0: 1-5, 0, 0; 0: 6-63, 0, 0;" + chroma.arg(0) << QByteArray()
        << QList<int>{1};
    // 13-63 lies past the 3 x 3 corner, and so does its refinement, unless one refines 1-63
    const QString split = dcFirst + "0: 1-12, 0, 1; 0: 13-63, 0, 1; " + chroma.arg(1) + dcLast;
    QTest::newRow("refined in bands")
        << "1x1" << split + "0: 1-12, 1, 0; 0: 13-63, 1, 0; 1: 1-63, 1, 0; 2: 1-63, 1, 0;"
        << QByteArray() << QList<int>{1, 3};
    QTest::newRow("refined whole")
        << "1x1" << split + "0: 1-63, 1, 0; 1: 1-63, 1, 0; 2: 1-63, 1, 0;" << QByteArray()
        << QList<int>{1};
    // read whole, as ever
    QTest::newRow("cut short in an AC scan")
        << "1x1" << QString() << QByteArray("cut") << QList<int>{};
    QTest::newRow("band past the block")
        << "1x1" << QString() << QByteArray("\x00\x01\x50", 3) << QList<int>{};
    QTest::newRow("scan reading an undefined table")
        << "1x1" << QString() << QByteArray("\x02") << QList<int>{};
}

void ImagingTest::progressiveReadsOnlyScansShown()
{
    QFETCH(QString, sampling);
    QFETCH(QString, script);
    QFETCH(QByteArray, damage);
    QFETCH(QList<int>, cutAt);
    QByteArray jpeg = progressiveJpeg(sampling, script);
    if (jpeg.isEmpty() && qgetenv("CI") == "true")
        QFAIL(
            "cjpeg and jpegtran (libjpeg-turbo-progs) are missing, and CI is set up to have them");
    if (jpeg.isEmpty())
        QSKIP("cjpeg and jpegtran (libjpeg-turbo-progs) are needed");
    const qsizetype second = jpeg.indexOf("\xFF\xDA", jpeg.indexOf("\xFF\xDA") + 1);
    if (damage == "cut")
        jpeg.truncate(second + 100);
    else if (!damage.isEmpty())
        jpeg.replace(second + 6, damage.size(), damage);
    for (int scale = 1; scale <= 8; ++scale) {
        const QSize atLeast(40 * scale, 30 * scale);
        const QImage read = imaging::decodeJpeg(jpeg, atLeast, 1 << 20);
        const QImage all =
            imaging::decodeJpeg(jpeg, atLeast, 1 << 20, nullptr, nullptr, imaging::JpegScans::All);
        QCOMPARE(read, all);
        QCOMPARE(read.isNull(), !damage.isEmpty() && damage != "cut");
        QCOMPARE(!imaging::jpegScansRead(jpeg, scale).isEmpty(), cutAt.contains(scale));
    }
}

QTEST_MAIN(ImagingTest)
#include "tst_imaging.moc"
