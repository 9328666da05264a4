#include "imaging/Picture.h"

#include "imaging/Logging.h"
#include "system/PathCodec.h"

#include "imaging/DecoderMemory.h"
#include "imaging/JpegDecoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QColorSpace>
#include <QFile>
#include <QImageReader>
#include <QMutex>

#include <fcntl.h>
#include <unistd.h>

#include <libyuv/convert_argb.h>
#include <libyuv/convert_from_argb.h>
#include <libyuv/scale_argb.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>

namespace imaging {

namespace {

// Files larger than this are no photos; refusing them keeps memory bounded.
constexpr qint64 kMaxFileBytes = 256LL * 1024 * 1024;
// Decoded pixels kept at the most (4 bytes each); larger pictures are decoded reduced.
constexpr qint64 kMaxDecodePixels = 30LL * 1000 * 1000;
// A JPEG's header ends within this, but for a rare large profile or thumbnail.
constexpr qint64 kHeaderBytes = 256 * 1024;

// A file's bytes, in memory decodes hand on to each other: a large photo read whole takes as long
// to get fresh pages for as to read.
class FileBytes {
public:
    FileBytes() = default;
    ~FileBytes() { giveBackDecoderBlock(m_block); }
    FileBytes(const FileBytes &) = delete;
    FileBytes &operator=(const FileBytes &) = delete;

    char *reserve(qsizetype size)
    {
        giveBackDecoderBlock(std::exchange(m_block, nullptr));
        m_block = takeDecoderBlock(static_cast<std::size_t>(size));
        return static_cast<char *>(m_block);
    }
    /// The first `size` bytes, valid while this lives and is not reserved again.
    QByteArray view(qsizetype size) const
    {
        return m_block ? QByteArray::fromRawData(static_cast<const char *>(m_block), size)
                       : QByteArray();
    }

private:
    void *m_block = nullptr;
};

// Reads up to `size` bytes from the descriptor into `buffer`; how many it got.
qsizetype readUpTo(int fd, char *buffer, qsizetype size)
{
    qsizetype done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, buffer + done, static_cast<size_t>(size - done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        done += got;
    }
    return done;
}

QSize reducedToFit(const QSize &size, qint64 maxPixels)
{
    const double area = static_cast<double>(size.width()) * size.height();
    if (area <= static_cast<double>(maxPixels))
        return size;
    const double factor = std::sqrt(static_cast<double>(maxPixels) / area);
    return QSize(std::max(1, static_cast<int>(size.width() * factor)),
                 std::max(1, static_cast<int>(size.height() * factor)));
}

// The size to show a picture at, when it is smaller than the picture; invalid otherwise.
QSize wantedSize(const DisplaySize &display, QSize upright)
{
    if (!display)
        return QSize();
    const QSize want = display(upright);
    if (!want.isValid() || want.isEmpty() || want.width() >= upright.width() ||
        want.height() >= upright.height())
        return QSize();
    return want;
}

// Reduced to exactly the size it is drawn at, here on the worker, so that the window only copies
// it.
QImage exactly(const QImage &image, QSize want)
{
    if (!want.isValid() || image.size() == want)
        return image;
    return scaledTo(image, want);
}

QString withReason(const QString &what, const QString &reason)
{
    return reason.isEmpty() ? what : what + QStringLiteral(": ") + reason;
}

enum class Outcome { Loaded, Refused, OtherDecoder };

// What a load is asked for: the size it will be shown at, and whether it is still wanted.
struct Request {
    const DisplaySize &display;
    const sys::Cancellation *cancel;
    const DisplayProfile *profile;

    bool cancelled() const { return cancel && cancel->isCancelled(); }
};

// With `readOn`, the decode goes on from `data`, the file's first part, into the rest of it.
Outcome loadJpeg(JpegReader *jpeg, const QString &headerWhy, QByteArray &data,
                 const JpegReader::ReadOn &readOn, const Request &request, Picture &picture,
                 QString &why)
{
    // Any other decoder would read the same header and need the same memory: no second try.
    if (!jpeg) {
        why = withReason(QStringLiteral("not a readable JPEG header"), headerWhy);
        return Outcome::Refused;
    }
    const JpegInfo &info = jpeg->info();
    if (!info.refusal.isEmpty()) {
        why = QStringLiteral("header refused: ") + info.refusal;
        return Outcome::Refused;
    }
    if (!info.directColour)
        return Outcome::OtherDecoder;
    const bool swaps = orientationSwapsSides(info.orientation);
    const QSize upright = swaps ? info.stored.transposed() : info.stored;
    const QSize want = wantedSize(request.display, upright);
    QString decoder; // the decoder's reason for giving up
    const QSize atLeast = swaps ? want.transposed() : want;
    const QImage stored = readOn ? jpeg->decodeOn(data, readOn, atLeast, kMaxDecodePixels, &decoder)
                                 : jpeg->decode(data, atLeast, kMaxDecodePixels, &decoder);
    if (stored.isNull()) {
        why = withReason(QStringLiteral("the JPEG data does not decode"), decoder);
        return Outcome::Refused;
    }
    // Converted once the picture has its size on screen, so the work follows the pixels shown,
    // not those in the file.
    picture.image = convertedForDisplay(exactly(uprightImage(stored, info.orientation), want),
                                        info.iccProfile, request.profile);
    picture.size = upright;
    return Outcome::Loaded;
}

// Feeds the other decoder until the load is no longer wanted, then fails its reads, so that
// decoder too stops within a read of the cancellation.
class CancellableBuffer : public QBuffer {
public:
    CancellableBuffer(QByteArray *data, const Request &request)
        : QBuffer(data)
        , m_request(request)
    {
    }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        return m_request.cancelled() ? -1 : QBuffer::readData(data, maxSize);
    }

private:
    const Request &m_request;
};

// Everything the JPEG decoder does not take: other formats under a .jpg name, JPEGs in colours
// it does not know.
bool loadOther(QByteArray &data, const Request &request, Picture &picture, QString &why)
{
    CancellableBuffer buffer(&data, request);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    const bool swaps = reader.transformation() & QImageIOHandler::TransformationRotate90;
    QSize upright = swaps ? stored.transposed() : stored;
    QSize want = wantedSize(request.display, upright);
    if (stored.isValid()) {
        const QSize scaled = reducedToFit(want.isValid() ? want : upright, kMaxDecodePixels);
        if (scaled != upright)
            reader.setScaledSize(swaps ? scaled.transposed() : scaled);
    }
    const QImage image = reader.read();
    if (image.isNull()) {
        why = reader.errorString();
        return false;
    }
    const QColorSpace colours = image.colorSpace();
    picture.image = convertedForDisplay(
        image, colours.isValid() ? colours.iccProfile() : QByteArray(), request.profile);
    picture.size = stored.isValid() ? upright : picture.image.size();
    return true;
}

// Decodes run on workers while a test may install another loader: each call takes a copy of
// the loader under the lock, so the one it runs stays whole until it returns.
QMutex loaderLock;
std::shared_ptr<const PictureLoader> &installedLoader()
{
    static std::shared_ptr<const PictureLoader> loader;
    return loader;
}

} // namespace

QImage scaledTo(const QImage &image, QSize size)
{
    if (image.isNull() || !size.isValid() || size.isEmpty() || image.size() == size)
        return image;
    const QImage::Format format = image.format();
    // Averaging straight alpha's colours would let transparent pixels' colours show.
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32_Premultiplied)
        return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // Four bytes a pixel, scaled channel by channel: the box filter averages every source pixel
    // under a reduced one (the quality of Qt's smooth scaling at a fraction of its time) and
    // interpolates an enlarged one. In memory decodes hand on, as the decoded pixels are.
    QImage scaled = imageInDecoderBlock(size, qsizetype(size.width()) * 4, format);
    if (scaled.isNull())
        return QImage();
    libyuv::ARGBScale(image.constBits(), int(image.bytesPerLine()), image.width(), image.height(),
                      scaled.bits(), int(scaled.bytesPerLine()), size.width(), size.height(),
                      libyuv::kFilterBox);
    scaled.setColorSpace(image.colorSpace());
    return scaled;
}

// The fourth byte of an opaque pixel says nothing; a picture kept for a step back leaves it out,
// and gets it back, for the window's fast copy, only when it is shown again.
QImage packedImage(const QImage &image)
{
    if (image.isNull() || image.format() != QImage::Format_RGB32)
        return image;
    const qsizetype stride = (qsizetype(image.width()) * 3 + 3) / 4 * 4;
    QImage packed = imageInDecoderBlock(image.size(), stride, QImage::Format_BGR888);
    if (packed.isNull())
        return image;
    libyuv::ARGBToRGB24(image.constBits(), int(image.bytesPerLine()), packed.bits(), int(stride),
                        image.width(), image.height());
    packed.setColorSpace(image.colorSpace());
    return packed;
}

QImage unpackedImage(const QImage &image)
{
    if (image.isNull() || image.format() != QImage::Format_BGR888)
        return image;
    QImage unpacked =
        imageInDecoderBlock(image.size(), qsizetype(image.width()) * 4, QImage::Format_RGB32);
    if (unpacked.isNull())
        return image;
    libyuv::RGB24ToARGB(image.constBits(), int(image.bytesPerLine()), unpacked.bits(),
                        int(unpacked.bytesPerLine()), image.width(), image.height());
    unpacked.setColorSpace(image.colorSpace());
    return unpacked;
}

struct PictureLoad::State {
    QString path;
    DisplaySize display;
    const sys::Cancellation *cancel;
    DisplayProfilePtr profile;
    bool opened = false;
    bool ended = false;
    int fd = -1;
    sys::FileStamp stamp;
    QString why;                      // why the file cannot be read; empty while it can
    QByteArray start;                 // the file's first part, read for its header
    FileBytes bytes;                  // the whole file, once read
    QByteArray data;                  // seen through bytes
    std::unique_ptr<JpegReader> jpeg; // with its header read; null for no readable one
    QString headerWhy;

    ~State() { closeFile(); }
    void closeFile()
    {
        if (fd >= 0)
            ::close(std::exchange(fd, -1));
    }
    void open();
    void readHeader(const QByteArray &from);
    void readWhole();
    /// Whether the decode reads on from the file's first part into the rest as it goes, never
    /// holding the file whole: a JPEG in a single scan, which the decoder reads once front to
    /// back. One in several scans is read whole, its scans counted and cut from all its bytes;
    /// anything else is read whole for another decoder.
    bool readsOn() const
    {
        return why.isEmpty() && data.isNull() && fd >= 0 && jpeg &&
               jpeg->info().coefficientBytes == 0 && jpeg->info().directColour &&
               jpeg->info().refusal.isEmpty();
    }
    qsizetype readOn(char *buffer, qsizetype size);
};

// Opening non-blocking means a named pipe or a device called "x.jpg" cannot stall the show;
// fstat on the open descriptor leaves no window for a swap.
void PictureLoad::State::open()
{
    if (std::exchange(opened, true) || path.isEmpty())
        return;
    fd = ::open(sys::encodePath(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = qt_error_string(errno); // thread-safe, unlike strerror
        return;
    }
    stamp = sys::fileStamp(fd);
    why = !stamp.regular               ? QStringLiteral("not a regular file")
          : stamp.size > kMaxFileBytes ? QStringLiteral("larger than any photo")
                                       : QString();
    if (!why.isEmpty())
        return;
    start.resize(qsizetype(std::min(stamp.size, kHeaderBytes)));
    start.resize(readUpTo(fd, start.data(), start.size()));
    if (start.isEmpty())
        why = QStringLiteral("nothing could be read");
    else if (looksLikeJpeg(start))
        readHeader(start);
    // A header running on past the first part (a large profile or thumbnail) is read again
    // from the whole file, rare enough to hold the file a little early.
    if (!jpeg && looksLikeJpeg(start) && stamp.size > start.size()) {
        readWhole();
        if (why.isEmpty())
            readHeader(data);
    }
}

void PictureLoad::State::readHeader(const QByteArray &from)
{
    jpeg = std::make_unique<JpegReader>();
    if (!jpeg->readHeader(from, cancel, &headerWhy))
        jpeg.reset();
}

// The file after its first part goes into memory decodes hand on to each other, right behind
// a copy of that part: the header was read from it, and the decode goes on from there.
void PictureLoad::State::readWhole()
{
    if (!why.isEmpty() || !data.isNull())
        return;
    const auto size = static_cast<qsizetype>(stamp.size);
    char *buffer = bytes.reserve(std::max<qsizetype>(size, start.size()));
    if (!buffer) {
        why = QStringLiteral("no memory to read it");
        return;
    }
    std::memcpy(buffer, start.constData(), std::size_t(start.size()));
    const qsizetype done =
        start.size() +
        (size > start.size() ? readUpTo(fd, buffer + start.size(), size - start.size()) : 0);
    data = bytes.view(done);
    closeFile();
}

// No further than the file's size when it was opened, as a whole read goes.
qsizetype PictureLoad::State::readOn(char *buffer, qsizetype size)
{
    const qint64 left = stamp.size - ::lseek(fd, 0, SEEK_CUR);
    return left > 0 ? readUpTo(fd, buffer, qsizetype(std::min<qint64>(size, left))) : 0;
}

PictureLoad::PictureLoad(QString path, DisplaySize display, const sys::Cancellation *cancel,
                         DisplayProfilePtr profile)
    : m(std::make_unique<State>())
{
    m->path = std::move(path);
    m->display = std::move(display);
    m->cancel = cancel;
    m->profile = std::move(profile);
}

PictureLoad::~PictureLoad() = default;

const QString &PictureLoad::path() const
{
    return m->path;
}

bool PictureLoad::cancelled() const
{
    return m->cancel && m->cancel->isCancelled();
}

qint64 PictureLoad::memory()
{
    m->open();
    if (!m->why.isEmpty())
        return 0;
    if (m->readsOn())
        return m->start.size();
    return m->stamp.size + (m->jpeg ? m->jpeg->info().coefficientBytes : 0);
}

Picture PictureLoad::picture()
{
    State &s = *m;
    const Request request{s.display, s.cancel, s.profile.get()};
    if (s.path.isEmpty() || std::exchange(s.ended, true) || request.cancelled())
        return Picture(); // given up while it waited for a worker: not even read
    s.open();
    JpegReader::ReadOn readOn;
    if (s.readsOn())
        readOn = [&s](char *buffer, qsizetype size) { return s.readOn(buffer, size); };
    else
        s.readWhole();
    QByteArray &bytes = readOn ? s.start : s.data;
    QString why = s.why;
    Picture picture;
    const Outcome jpeg = !why.isEmpty()         ? Outcome::Refused
                         : looksLikeJpeg(bytes) ? loadJpeg(s.jpeg.get(), s.headerWhy, bytes, readOn,
                                                           request, picture, why)
                                                : Outcome::OtherDecoder;
    const bool loaded = jpeg == Outcome::Loaded ||
                        (jpeg == Outcome::OtherDecoder && loadOther(s.data, request, picture, why));
    if (request.cancelled())
        return Picture(); // given up: nobody is waiting for it, or for why it failed
    if (!loaded) {
        qCWarning(logging::picture).noquote()
            << "cannot show" << sys::displayText(s.path) << "-" << why;
        Picture failed; // its stamp tells a file caught half-written from one that is bad
        failed.stamp = s.stamp;
        return failed;
    }
    picture.path = s.path;
    picture.stamp = s.stamp;
    picture.profile = s.profile;
    return picture;
}

Picture loadPicture(const QString &path, const DisplaySize &display,
                    const sys::Cancellation *cancel, DisplayProfilePtr profile)
{
    return PictureLoad(path, display, cancel, std::move(profile)).picture();
}

Picture loadPictureWith(PictureLoad &load)
{
    std::shared_ptr<const PictureLoader> loader;
    {
        const QMutexLocker lock(&loaderLock);
        loader = installedLoader();
    }
    return loader ? (*loader)(load) : load.picture();
}

PictureLoader setPictureLoader(PictureLoader loader)
{
    std::shared_ptr<const PictureLoader> installed =
        loader ? std::make_shared<const PictureLoader>(std::move(loader)) : nullptr;
    {
        const QMutexLocker lock(&loaderLock);
        std::swap(installedLoader(), installed);
    }
    // A copy: a show's worker may still be loading with the one it replaced.
    return installed ? *installed : PictureLoader();
}

} // namespace imaging
