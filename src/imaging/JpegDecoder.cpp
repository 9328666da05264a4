#include "imaging/JpegDecoder.h"

#include <QTransform>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

namespace imaging {

namespace {

// Working memory the decoder may take for one picture; a header that needs more is refused, so a
// forged file cannot make it allocate gigabytes.
constexpr qint64 kDecoderMemory = 768LL * 1024 * 1024;
// Every scan of a file makes the decoder pass over all the blocks of its components. Encoders
// write fewer than 40 scans, and a 100-megapixel photo in ten scans is some 12 million block
// passes; a file repeating empty scans thousands of times would keep the decoder busy for minutes.
constexpr int kMaxScans = 500;
constexpr qint64 kMaxBlockPasses = 100LL * 1000 * 1000;

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    // Why the decoder gave up, in its own words, taken as it does: its state is gone by the
    // time anybody reads this.
    char message[JMSG_LENGTH_MAX];
};

// Looked at by the decoder every few rows of every scan.
struct ProgressMonitor {
    jpeg_progress_mgr base;
    const sys::Cancellation *cancel = nullptr;
};

[[noreturn]] void stop(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager *>(cinfo->err)->jump, 1);
}

[[noreturn]] void onError(j_common_ptr cinfo)
{
    (*cinfo->err->format_message)(cinfo, reinterpret_cast<ErrorManager *>(cinfo->err)->message);
    stop(cinfo);
}

void onMessage(j_common_ptr, int) {} // warnings (a truncated file, say) are no errors

void onProgress(j_common_ptr cinfo)
{
    const auto *monitor = reinterpret_cast<const ProgressMonitor *>(cinfo->progress);
    const auto *decompress = reinterpret_cast<j_decompress_ptr>(cinfo);
    char *message = reinterpret_cast<ErrorManager *>(cinfo->err)->message;
    if (monitor->cancel && monitor->cancel->isCancelled()) {
        std::snprintf(message, JMSG_LENGTH_MAX, "cancelled");
        stop(cinfo);
    }
    if (decompress->input_scan_number > kMaxScans) {
        std::snprintf(message, JMSG_LENGTH_MAX, "more than %d scans", kMaxScans);
        stop(cinfo);
    }
}

quint16 read16(const uchar *p, bool bigEndian)
{
    return bigEndian ? quint16(p[0] << 8 | p[1]) : quint16(p[1] << 8 | p[0]);
}

quint32 read32(const uchar *p, bool bigEndian)
{
    return bigEndian ? quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3]
                     : quint32(p[3]) << 24 | quint32(p[2]) << 16 | quint32(p[1]) << 8 | p[0];
}

// The orientation tag of an APP1 "Exif" segment; 1 when absent or out of range.
int exifOrientation(const jpeg_saved_marker_ptr markers)
{
    for (jpeg_saved_marker_ptr m = markers; m; m = m->next) {
        if (m->marker != JPEG_APP0 + 1 || m->data_length < 14 ||
            std::memcmp(m->data, "Exif\0\0", 6) != 0)
            continue;
        const uchar *tiff = m->data + 6;
        const quint32 size = m->data_length - 6;
        const bool big = tiff[0] == 'M';
        if (!(big || tiff[0] == 'I') || read16(tiff + 2, big) != 42)
            continue;
        const quint32 ifd = read32(tiff + 4, big);
        if (ifd > size - 2)
            continue;
        const quint16 count = read16(tiff + ifd, big);
        for (quint32 i = 0; i < count; ++i) {
            const quint32 entry = ifd + 2 + i * 12;
            if (entry + 12 > size)
                break;
            if (read16(tiff + entry, big) == 0x0112) {
                const int value = read16(tiff + entry + 8, big);
                return value >= 1 && value <= 8 ? value : 1;
            }
        }
    }
    return 1;
}

// Everything the decoder works on, owned by the caller of the steps below. The decoder is
// created by the first step, where its errors are caught too; destroying one never created is
// harmless.
struct Decompressor {
    jpeg_decompress_struct cinfo{};
    ErrorManager errors{};
    ProgressMonitor monitor{};

    Decompressor()
    {
        cinfo.err = jpeg_std_error(&errors.base);
        errors.base.error_exit = onError;
        errors.base.emit_message = onMessage;
        monitor.base.progress_monitor = onProgress;
    }
    ~Decompressor() { jpeg_destroy_decompress(&cinfo); }
    Decompressor(const Decompressor &) = delete;
    Decompressor &operator=(const Decompressor &) = delete;

    QString message() const { return QString::fromLatin1(errors.message); }
};

qint64 blocksOf(const jpeg_component_info &component)
{
    return qint64(component.width_in_blocks) * component.height_in_blocks;
}

// A file in several scans is decoded from a buffer of all its coefficients: 64 of 2 bytes for
// every block of every component. One in a single scan needs a few rows of them.
qint64 coefficientBytes(j_decompress_ptr cinfo, bool multipleScans)
{
    if (!multipleScans)
        return 0;
    qint64 bytes = 0;
    for (int c = 0; c < cinfo->num_components; ++c)
        bytes += blocksOf(cinfo->comp_info[c]) * DCTSIZE2 * qint64(sizeof(JCOEF));
    return bytes;
}

bool fitsMemory(j_decompress_ptr cinfo, bool multipleScans)
{
    return coefficientBytes(cinfo, multipleScans) <= kDecoderMemory;
}

// Where the entropy-coded data after a scan header ends: at the next marker, which is a 0xFF
// followed by anything but a stuffed 0 or a restart marker.
qsizetype entropyEnd(const uchar *data, qsizetype size, qsizetype from)
{
    for (qsizetype i = from; i + 1 < size;) {
        const auto *ff = static_cast<const uchar *>(std::memchr(data + i, 0xFF, size_t(size - i)));
        if (!ff || ff + 1 >= data + size)
            return size;
        const uchar next = ff[1];
        i = ff - data;
        if (next != 0x00 && !(next >= 0xD0 && next <= 0xD7))
            return i;
        i += 2;
    }
    return size;
}

qint64 blocksInScan(j_decompress_ptr cinfo, const uchar *header, int headerLength)
{
    qint64 blocks = 0;
    const int count = headerLength > 0 ? header[0] : 0;
    for (int k = 0; k < count && 1 + 2 * k < headerLength; ++k) {
        for (int c = 0; c < cinfo->num_components; ++c) {
            if (cinfo->comp_info[c].component_id == header[1 + 2 * k])
                blocks += blocksOf(cinfo->comp_info[c]);
        }
    }
    return blocks;
}

struct ScanWork {
    int scans = 0;
    qint64 blockPasses = 0;
};

// Counts the scans of the file and the block passes they cost, from its markers alone, so a
// file made to keep the decoder busy is refused before the decoder starts.
ScanWork scanWork(const QByteArray &bytes, j_decompress_ptr cinfo)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype size = bytes.size();
    ScanWork work;
    for (qsizetype i = 2; i + 3 < size && work.scans <= kMaxScans;) {
        const uchar marker = data[i + 1];
        if (data[i] != 0xFF || marker == 0xFF || marker == 0x00 || marker == 0x01 ||
            (marker >= 0xD0 && marker <= 0xD8)) {
            ++i; // fill bytes and markers without a length
            continue;
        }
        if (marker == 0xD9)
            break;
        const int length = data[i + 2] << 8 | data[i + 3];
        const qsizetype end = i + 2 + length;
        if (marker == 0xDA) {
            ++work.scans;
            work.blockPasses += blocksInScan(cinfo, data + i + 4, int(std::min(end, size) - i - 4));
            i = entropyEnd(data, size, end);
        } else {
            i = end;
        }
    }
    return work;
}

QString refusal(const QByteArray &bytes, j_decompress_ptr cinfo, bool multipleScans)
{
    if (!fitsMemory(cinfo, multipleScans))
        return QStringLiteral("%1 x %2 would need too much memory to decode")
            .arg(cinfo->image_width)
            .arg(cinfo->image_height);
    const ScanWork work = scanWork(bytes, cinfo);
    if (work.scans > kMaxScans)
        return QStringLiteral("more than %1 scans").arg(kMaxScans);
    if (work.blockPasses > kMaxBlockPasses)
        return QStringLiteral("%1 scans of %2 x %3 would take too long to decode")
            .arg(work.scans)
            .arg(cinfo->image_width)
            .arg(cinfo->image_height);
    return QString();
}

bool isCmyk(j_decompress_ptr cinfo)
{
    return cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
}

bool directColour(j_decompress_ptr cinfo)
{
    return cinfo->jpeg_color_space == JCS_GRAYSCALE || cinfo->jpeg_color_space == JCS_YCbCr ||
           cinfo->jpeg_color_space == JCS_RGB || isCmyk(cinfo);
}

// What the header step found out by calling the decoder; plain data, as it is filled in where
// an error jumps.
struct Header {
    bool multipleScans = false;
    JOCTET *icc = nullptr; // the embedded profile, allocated by the decoder with malloc
    unsigned int iccLength = 0;
};

// Only a profile for the picture's own colours can say what they mean: one for CMYK ink needs a
// colour engine that Qt lacks, and a grey one cannot describe the hues of a colour picture.
// Takes the header's profile, which is not read at all for CMYK.
QByteArray iccProfileFor(j_decompress_ptr cinfo, Header &header)
{
    if (!header.icc)
        return QByteArray();
    QByteArray profile(reinterpret_cast<const char *>(header.icc), qsizetype(header.iccLength));
    std::free(header.icc);
    header.icc = nullptr;
    const QByteArray colours = profile.mid(16, 4); // the header's data colour space
    const bool grey = cinfo->jpeg_color_space == JCS_GRAYSCALE;
    return colours == "RGB " || (grey && colours == "GRAY") ? profile : QByteArray();
}

// Print workflows store CMYK inverted (0 is full ink) and mark their files with an Adobe
// segment. Without a colour engine for the ink's profile, each primary is what its ink and the
// black leave of white. Each pixel keeps its four bytes, so the row is converted in place.
void cmykToRgb(uchar *row, JDIMENSION width, bool inverted)
{
    const int flip = inverted ? 0 : 255;
    auto *out = reinterpret_cast<QRgb *>(row);
    for (JDIMENSION x = 0; x < width; ++x) {
        const uchar *p = row + 4 * x;
        const int c = p[0] ^ flip, m = p[1] ^ flip, y = p[2] ^ flip, k = p[3] ^ flip;
        out[x] = qRgb((c * k + 127) / 255, (m * k + 127) / 255, (y * k + 127) / 255);
    }
}

// The steps below make every call into the decoder. An error in it comes back by longjmp to the
// step's setjmp, which runs no destructor and leaves undefined any of the step's own variables
// changed since; so a step holds nothing that needs destroying, and what it learns goes into
// its caller's objects, which the caller reads once the step has returned.
enum class Step { Done, Failed, TooLarge };

// Creates the decoder and reads the header; with `metadata`, the EXIF and ICC segments are kept
// and the profile read.
Step readHeader(Decompressor &d, const QByteArray &data, Header &header, bool metadata)
{
    if (setjmp(d.errors.jump))
        return Step::Failed;
    jpeg_create_decompress(&d.cinfo);
    d.cinfo.progress = &d.monitor.base;
    jpeg_mem_src(&d.cinfo, reinterpret_cast<const uchar *>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    if (metadata) {
        jpeg_save_markers(&d.cinfo, JPEG_APP0 + 1, 0xFFFF);
        jpeg_save_markers(&d.cinfo, JPEG_APP0 + 2, 0xFFFF);
    }
    jpeg_read_header(&d.cinfo, TRUE);
    header.multipleScans = jpeg_has_multiple_scans(&d.cinfo);
    if (metadata && !isCmyk(&d.cinfo))
        jpeg_read_icc_profile(&d.cinfo, &header.icc, &header.iccLength);
    return Step::Done;
}

// Picks the output colours, and the scale: `scale` eighths, or fewer until the picture fits in
// `maxPixels`.
Step chooseOutput(Decompressor &d, int scale, qint64 maxPixels, bool cmyk)
{
    if (setjmp(d.errors.jump))
        return Step::Failed;
    // QImage::Format_RGB32 byte order; CMYK has as many bytes, made RGB row by row
    d.cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;
    d.cinfo.scale_num = unsigned(scale);
    d.cinfo.scale_denom = 8;
    jpeg_calc_output_dimensions(&d.cinfo);
    while (qint64(d.cinfo.output_width) * d.cinfo.output_height > maxPixels) {
        if (d.cinfo.scale_num == 1)
            return Step::TooLarge;
        --d.cinfo.scale_num;
        jpeg_calc_output_dimensions(&d.cinfo);
    }
    return Step::Done;
}

// Decodes into the caller's pixels, 4 bytes each, `stride` bytes a row, of the size the output
// was chosen at.
Step readPixels(Decompressor &d, uchar *pixels, qsizetype stride, QSize size, bool cmyk)
{
    if (setjmp(d.errors.jump))
        return Step::Failed;
    jpeg_start_decompress(&d.cinfo);
    if (d.cinfo.output_width != JDIMENSION(size.width()) ||
        d.cinfo.output_height != JDIMENSION(size.height())) { // never past the pixels' end
        std::snprintf(d.errors.message, JMSG_LENGTH_MAX, "output size changed on starting");
        return Step::Failed;
    }
    while (d.cinfo.output_scanline < d.cinfo.output_height) {
        JSAMPROW row = pixels + qsizetype(d.cinfo.output_scanline) * stride;
        if (jpeg_read_scanlines(&d.cinfo, &row, 1) == 1 && cmyk)
            cmykToRgb(row, d.cinfo.output_width, d.cinfo.saw_Adobe_marker);
    }
    jpeg_finish_decompress(&d.cinfo);
    return Step::Done;
}

} // namespace

bool looksLikeJpeg(const QByteArray &data)
{
    return data.size() > 3 && uchar(data[0]) == 0xFF && uchar(data[1]) == 0xD8 &&
           uchar(data[2]) == 0xFF;
}

bool readJpegInfo(const QByteArray &data, JpegInfo &info, QString *why)
{
    Decompressor d;
    Header header;
    if (readHeader(d, data, header, true) != Step::Done) {
        if (why)
            *why = d.message();
        return false;
    }
    info.stored = QSize(int(d.cinfo.image_width), int(d.cinfo.image_height));
    info.orientation = exifOrientation(d.cinfo.marker_list);
    info.refusal = refusal(data, &d.cinfo, header.multipleScans);
    info.directColour = directColour(&d.cinfo);
    info.coefficientBytes = coefficientBytes(&d.cinfo, header.multipleScans);
    info.iccProfile = iccProfileFor(&d.cinfo, header);
    return !info.stored.isEmpty();
}

int jpegScaleFor(QSize stored, QSize atLeast)
{
    if (!atLeast.isValid() || atLeast.isEmpty())
        return 8;
    for (int m = 1; m < 8; ++m) {
        // libjpeg rounds scaled dimensions up
        const qint64 w = (qint64(stored.width()) * m + 7) / 8;
        const qint64 h = (qint64(stored.height()) * m + 7) / 8;
        if (w >= atLeast.width() && h >= atLeast.height())
            return m;
    }
    return 8;
}

QImage decodeJpeg(const QByteArray &data, QSize atLeast, qint64 maxPixels,
                  const sys::Cancellation *cancel, QString *why)
{
    const auto failed = [why](const QString &reason) {
        if (why)
            *why = reason;
        return QImage();
    };
    Decompressor d;
    d.monitor.cancel = cancel;
    Header header;
    if (readHeader(d, data, header, false) != Step::Done)
        return failed(d.message());
    const QSize stored(int(d.cinfo.image_width), int(d.cinfo.image_height));
    if (stored.isEmpty())
        return failed(QStringLiteral("no pixels"));
    // unknown colours are left to another decoder; a refused file to none
    if (!directColour(&d.cinfo))
        return failed(QStringLiteral("colours this decoder does not convert"));
    const QString refused = refusal(data, &d.cinfo, header.multipleScans);
    if (!refused.isEmpty())
        return failed(refused);

    const bool cmyk = isCmyk(&d.cinfo);
    // A picture too large to hold whole is decoded reduced until it fits.
    switch (chooseOutput(d, jpegScaleFor(stored, atLeast), maxPixels, cmyk)) {
    case Step::Done:
        break;
    case Step::Failed:
        return failed(d.message());
    case Step::TooLarge:
        return failed(QStringLiteral("%1 x %2 is too large even at an eighth")
                          .arg(stored.width())
                          .arg(stored.height()));
    }
    QImage image(int(d.cinfo.output_width), int(d.cinfo.output_height), QImage::Format_RGB32);
    if (image.isNull())
        return failed(QStringLiteral("no memory for %1 x %2 pixels")
                          .arg(d.cinfo.output_width)
                          .arg(d.cinfo.output_height));
    if (readPixels(d, image.bits(), image.bytesPerLine(), image.size(), cmyk) != Step::Done)
        return failed(d.message());
    return image;
}

bool orientationSwapsSides(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

QImage uprightImage(const QImage &stored, int orientation)
{
    QTransform t;
    switch (orientation) {
    case 2:
        return stored.mirrored(true, false);
    case 3:
        return stored.transformed(t.rotate(180));
    case 4:
        return stored.mirrored(false, true);
    case 5:
        return stored.transformed(t.rotate(90)).mirrored(true, false);
    case 6:
        return stored.transformed(t.rotate(90));
    case 7:
        return stored.transformed(t.rotate(270)).mirrored(true, false);
    case 8:
        return stored.transformed(t.rotate(270));
    default:
        return stored;
    }
}

} // namespace imaging
