#include "imaging/ColourProfile.h"

#include <QColorSpace>
#include <QColorTransform>
#include <QCryptographicHash>
#include <QHash>
#include <QMutex>

#include <lcms2.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace imaging {

namespace {

// Four bytes a pixel as QImage keeps RGB32 and ARGB32 in memory.
constexpr cmsUInt32Number kPixel = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? TYPE_BGRA_8 : TYPE_ARGB_8;
// Perceptual is what a display profile's tables are made for; a profile of curves and a matrix,
// the most common, converts the same with any intent.
constexpr cmsUInt32Number kIntent = INTENT_PERCEPTUAL;
// Pictures converted by distinct pairs of profiles stay far fewer than this.
constexpr int kMaxTransforms = 32;
// The colours two conversions are compared over: every channel in this many steps; and how far
// apart they may be, as rounding puts them.
constexpr int kProbeSteps = 9;
constexpr int kProbeTolerance = 2;

// A Little CMS handle, given back when it goes.
template <auto Release> class Owned {
public:
    explicit Owned(void *handle)
        : m_handle(handle)
    {
    }
    ~Owned()
    {
        if (m_handle)
            Release(m_handle);
    }
    Owned(const Owned &) = delete;
    Owned &operator=(const Owned &) = delete;
    void *handle() const { return m_handle; }

private:
    void *m_handle;
};
using ProfileHandle = Owned<cmsCloseProfile>;
using Transform = Owned<cmsDeleteTransform>;

ProfileHandle open(const QByteArray &icc)
{
    if (icc.isEmpty())
        return ProfileHandle(cmsCreate_sRGBProfile());
    return ProfileHandle(cmsOpenProfileFromMem(icc.constData(), cmsUInt32Number(icc.size())));
}

QByteArray digest(const QByteArray &bytes)
{
    return bytes.isEmpty() ? QByteArray()
                           : QCryptographicHash::hash(bytes, QCryptographicHash::Sha1);
}

cmsHTRANSFORM makeTransform(const QByteArray &source, cmsUInt32Number in, const QByteArray &target,
                            cmsUInt32Number flags)
{
    const ProfileHandle from = open(source), to = open(target);
    if (!from.handle() || !to.handle())
        return nullptr;
    return cmsCreateTransform(from.handle(), in, to.handle(), kPixel, kIntent,
                              flags | cmsFLAGS_NOCACHE);
}

// How one pair of profiles converts: through the toolkit where it reads both (curves and a
// matrix, most profiles), which does it fastest; else through Little CMS, which reads the tables
// of calibrated monitors' profiles too.
struct Conversion {
    bool none = false; // the same colours, or a profile neither can use
    QColorTransform curves;
    std::unique_ptr<Transform> tables;
};

// Whether a profile is only curves and a matrix. Where a profile has tables too (a calibrated
// monitor's, some wide-gamut spaces'), the tables are what it means; the toolkit reads only the
// matrix.
bool onlyCurves(cmsHPROFILE profile)
{
    for (const cmsTagSignature table :
         {cmsSigAToB0Tag, cmsSigAToB1Tag, cmsSigAToB2Tag, cmsSigBToA0Tag, cmsSigBToA1Tag,
          cmsSigBToA2Tag, cmsSigDToB0Tag, cmsSigBToD0Tag}) {
        if (cmsIsTag(profile, table))
            return false;
    }
    return cmsIsMatrixShaper(profile);
}

// The profile as the toolkit converts it, where it is curves and a matrix: invalid otherwise,
// and for what is no profile at all (which the toolkit is not asked, so it does not complain).
QColorSpace curvesOf(const QByteArray &icc)
{
    if (icc.isEmpty())
        return QColorSpace::SRgb;
    const ProfileHandle profile = open(icc);
    return profile.handle() && onlyCurves(profile.handle()) ? QColorSpace::fromIccProfile(icc)
                                                            : QColorSpace();
}

// Whether the toolkit's conversion gives the colours Little CMS's does, over colours from all
// of the cube: it reads most curves right, but not every kind (an offset, a range beyond 0..1).
bool sameColours(const QColorTransform &curves, const Transform &tables)
{
    QImage probe(kProbeSteps * kProbeSteps, kProbeSteps, QImage::Format_RGB32);
    for (int i = 0; i < probe.width() * probe.height(); ++i) {
        const auto level = [](int step) { return step * 255 / (kProbeSteps - 1); };
        probe.setPixel(i % probe.width(), i / probe.width(),
                       qRgb(level(i % kProbeSteps), level(i / kProbeSteps % kProbeSteps),
                            level(i / (kProbeSteps * kProbeSteps))));
    }
    QImage byCurves = probe;
    byCurves.applyColorTransform(curves);
    cmsDoTransformLineStride(tables.handle(), probe.constBits(), probe.bits(),
                             cmsUInt32Number(probe.width()), cmsUInt32Number(probe.height()),
                             cmsUInt32Number(probe.bytesPerLine()),
                             cmsUInt32Number(probe.bytesPerLine()), 0, 0);
    for (int y = 0; y < probe.height(); ++y) {
        for (int x = 0; x < probe.width(); ++x) {
            const QRgb a = probe.pixel(x, y), b = byCurves.pixel(x, y);
            if (std::max({qAbs(qRed(a) - qRed(b)), qAbs(qGreen(a) - qGreen(b)),
                          qAbs(qBlue(a) - qBlue(b))}) > kProbeTolerance)
                return false;
        }
    }
    return true;
}

std::unique_ptr<Conversion> makeConversion(const QByteArray &source, const DisplayProfile *display,
                                           bool grey, bool alpha)
{
    auto conversion = std::make_unique<Conversion>();
    const QByteArray target = display ? display->icc() : QByteArray();
    conversion->tables = std::make_unique<Transform>(makeTransform(
        source, grey ? TYPE_GRAY_8 : kPixel, target, alpha ? cmsFLAGS_COPY_ALPHA : 0));
    const QColorSpace from = grey ? QColorSpace() : curvesOf(source),
                      to = display ? display->curves() : QColorSpace(QColorSpace::SRgb);
    if (from.isValid() && to.isValid()) {
        conversion->curves = from.transformationToColorSpace(to);
        if (from == to) {
            conversion->none = true;
            return conversion;
        }
        // The faster of the two where it gives the same colours; Little CMS's where it cannot
        // tell (it could not read a profile the toolkit did).
        if (!conversion->tables->handle() || sameColours(conversion->curves, *conversion->tables)) {
            conversion->tables.reset();
            return conversion;
        }
    }
    conversion->none = !conversion->tables->handle();
    return conversion;
}

// One conversion for each pair of profiles and way of keeping pixels: making one reads both
// profiles and builds its tables, which takes longer than converting a screenful.
std::shared_ptr<const Conversion>
conversionFor(const QByteArray &source, const DisplayProfile *display, bool grey, bool alpha)
{
    static QMutex lock;
    static QHash<QByteArray, std::shared_ptr<const Conversion>> made;
    const QByteArray key = digest(source).toHex() + '/' +
                           (display ? display->id().toHex() : QByteArray()) + '/' +
                           QByteArray::number(int(grey)) + QByteArray::number(int(alpha));
    const QMutexLocker locked(&lock);
    if (const auto found = made.constFind(key); found != made.constEnd())
        return *found;
    if (made.size() >= kMaxTransforms)
        made.clear(); // those in use live on with their pictures' conversions
    std::shared_ptr<const Conversion> conversion = makeConversion(source, display, grey, alpha);
    made.insert(key, conversion);
    return conversion;
}

// The colour space an ICC profile's header names.
QByteArray spaceOf(const QByteArray &icc)
{
    return icc.size() >= 128 ? icc.mid(16, 4) : QByteArray();
}

QImage greyConverted(const QImage &grey, const Transform &transform)
{
    QImage out(grey.size(), QImage::Format_RGB32);
    if (out.isNull())
        return grey;
    out.fill(Qt::black); // the fourth byte, which the conversion leaves alone
    cmsDoTransformLineStride(transform.handle(), grey.constBits(), out.bits(),
                             cmsUInt32Number(grey.width()), cmsUInt32Number(grey.height()),
                             cmsUInt32Number(grey.bytesPerLine()),
                             cmsUInt32Number(out.bytesPerLine()), 0, 0);
    return out;
}

} // namespace

DisplayProfile::DisplayProfile(QByteArray icc, QByteArray id, QString description,
                               QColorSpace curves)
    : m_icc(std::move(icc))
    , m_id(std::move(id))
    , m_description(std::move(description))
    , m_curves(std::move(curves))
{
}

std::shared_ptr<const DisplayProfile> DisplayProfile::fromIcc(const QByteArray &icc, QString *why)
{
    const auto refuse = [why](const char *reason) {
        if (why)
            *why = QString::fromLatin1(reason);
        return nullptr;
    };
    if (icc.isEmpty())
        return nullptr;
    const ProfileHandle profile = open(icc);
    if (!profile.handle())
        return refuse("not a profile that can be read");
    if (cmsGetColorSpace(profile.handle()) != cmsSigRgbData)
        return refuse("not an RGB profile");
    if (cmsGetDeviceClass(profile.handle()) != cmsSigDisplayClass)
        return refuse("not a display profile");
    const Transform into(makeTransform(QByteArray(), kPixel, icc, 0));
    if (!into.handle())
        return refuse("colours cannot be converted into it");
    const QColorSpace curves =
        onlyCurves(profile.handle()) ? QColorSpace::fromIccProfile(icc) : QColorSpace();
    if (curves == QColorSpace::SRgb)
        return nullptr; // an sRGB monitor's: the colours as they are
    char name[256] = {};
    cmsGetProfileInfoASCII(profile.handle(), cmsInfoDescription, "en", "US", name, sizeof name);
    return std::shared_ptr<const DisplayProfile>(
        new DisplayProfile(icc, digest(icc), QString::fromLatin1(name).trimmed(), curves));
}

bool sameProfile(const DisplayProfilePtr &a, const DisplayProfilePtr &b)
{
    return a == b || (a && b && a->id() == b->id());
}

QImage convertedForDisplay(QImage image, const QByteArray &source, const DisplayProfile *display)
{
    if (image.isNull())
        return image;
    const QByteArray space = spaceOf(source);
    // A grey picture may come in colour pixels; only its scan tells (rare: grey profiles are).
    const bool grey = space == "GRAY" && image.isGrayscale();
    // A profile for other colours than the picture's says nothing about them.
    const QByteArray from = grey || space == "RGB " ? source : QByteArray();
    if (!display && from.isEmpty())
        return image;
    const bool alpha = image.hasAlphaChannel();
    const std::shared_ptr<const Conversion> conversion = conversionFor(from, display, grey, alpha);
    if (conversion->none)
        return image; // a profile that cannot be used: the values as they are
    if (grey)
        return greyConverted(image.convertToFormat(QImage::Format_Grayscale8), *conversion->tables);
    const QImage::Format format = alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    if (image.format() != format)
        image.convertTo(format);
    if (image.isNull())
        return image;
    if (conversion->tables) {
        cmsDoTransformLineStride(conversion->tables->handle(), image.constBits(), image.bits(),
                                 cmsUInt32Number(image.width()), cmsUInt32Number(image.height()),
                                 cmsUInt32Number(image.bytesPerLine()),
                                 cmsUInt32Number(image.bytesPerLine()), 0, 0);
    } else {
        image.applyColorTransform(conversion->curves);
    }
    image.setColorSpace(display ? QColorSpace() : QColorSpace(QColorSpace::SRgb));
    return image;
}

} // namespace imaging
