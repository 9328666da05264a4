#include "Picture.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImageReader>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>

namespace platform {

namespace {

// Files larger than this are no photos; refusing them keeps memory bounded.
constexpr qint64 kMaxFileBytes = 256LL * 1024 * 1024;
// Decoded pixels kept at the most (4 bytes each); larger pictures are decoded reduced.
constexpr qint64 kMaxDecodePixels = 30LL * 1000 * 1000;

// Reads a regular file whole. Opening non-blocking means a named pipe or a device called
// "x.jpg" cannot stall the show; fstat on the open descriptor leaves no window for a swap.
bool readRegularFile(const QString &path, QByteArray &data)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= kMaxFileBytes;
    if (ok) {
        data.resize(static_cast<qsizetype>(st.st_size));
        qsizetype done = 0;
        while (done < data.size()) {
            const ssize_t got =
                ::read(fd, data.data() + done, static_cast<size_t>(data.size() - done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            done += got;
        }
        data.truncate(done);
        ok = done > 0;
    }
    ::close(fd);
    return ok;
}

QSize reducedToFit(const QSize &size, qint64 maxPixels)
{
    const double area = static_cast<double>(size.width()) * size.height();
    const double factor = std::sqrt(static_cast<double>(maxPixels) / area);
    return QSize(std::max(1, static_cast<int>(size.width() * factor)),
                 std::max(1, static_cast<int>(size.height() * factor)));
}

} // namespace

Picture loadPicture(const QString &path)
{
    if (path.isEmpty())
        return {};
    QByteArray data;
    if (!readRegularFile(path, data))
        return {};

    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);

    const QSize stored = reader.size();
    const bool reduce = stored.isValid() &&
                        static_cast<qint64>(stored.width()) * stored.height() > kMaxDecodePixels;
    if (reduce)
        reader.setScaledSize(reducedToFit(stored, kMaxDecodePixels));

    Picture picture;
    picture.image = reader.read();
    if (picture.image.isNull())
        return {};
    if (reduce) {
        const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
        picture.size = turned ? stored.transposed() : stored;
    } else {
        picture.size = picture.image.size();
    }
    return picture;
}

} // namespace platform
