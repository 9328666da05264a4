// Arbitrary bytes as a .jpg, loaded the way the show loads pictures, for a display and whole.
// Nothing may crash, and what loads has sane sizes; memory stays within libFuzzer's limit.
#include "TestSupport.h"
#include "imaging/JpegDecoder.h"
#include "imaging/Picture.h"

#include <QCoreApplication>

#include <cstdlib>
#include <unistd.h>

namespace {

QString file;

void check(const imaging::Picture &picture)
{
    if (picture.isNull())
        return;
    const QSize pixels = picture.image.size();
    if (pixels.isEmpty() || picture.size.isEmpty() || pixels.width() > picture.size.width() ||
        pixels.height() > picture.size.height() ||
        qint64(pixels.width()) * pixels.height() > 30000000LL)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv); // image format plugins are found through it
    file = QStringLiteral("/tmp/pelmora-fuzz-picture-%1.jpg").arg(::getpid());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (!writeAll(file, bytes))
        std::abort();
    check(imaging::loadPicture(file,
                               [](QSize p) { return p.scaled(320, 240, Qt::KeepAspectRatio); }));
    check(imaging::loadPicture(file));
    const QImage direct = imaging::decodeJpeg(bytes, QSize(64, 64), 30000000LL);
    if (!direct.isNull() && direct.size().isEmpty())
        std::abort();
    // Leaving out the scans a reduced decode does not read changes nothing it shows.
    for (const QSize atLeast : {QSize(1, 1), QSize(64, 64)}) {
        if (imaging::decodeJpeg(bytes, atLeast, 30000000LL) !=
            imaging::decodeJpeg(bytes, atLeast, 30000000LL, nullptr, nullptr,
                                imaging::JpegScans::All))
            std::abort();
    }
    return 0;
}
