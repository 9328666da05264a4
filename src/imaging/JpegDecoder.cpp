#include "imaging/JpegDecoder.h"

#include "imaging/DecoderMemory.h"

#include <QTransform>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include <jerror.h>
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
ScanWork scanWork(const QByteArray &bytes, j_decompress_ptr cinfo, bool multipleScans)
{
    ScanWork work;
    // The decoder refuses a second scan in a file whose first holds every component: its work
    // is known from the header, without a walk through all of its data.
    if (!multipleScans) {
        work.scans = 1;
        for (int c = 0; c < cinfo->num_components; ++c)
            work.blockPasses += blocksOf(cinfo->comp_info[c]);
        return work;
    }
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype size = bytes.size();
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
    const ScanWork work = scanWork(bytes, cinfo, multipleScans);
    if (work.scans > kMaxScans)
        return QStringLiteral("more than %1 scans").arg(kMaxScans);
    if (work.blockPasses > kMaxBlockPasses)
        return QStringLiteral("%1 scans of %2 x %3 would take too long to decode")
            .arg(work.scans)
            .arg(cinfo->image_width)
            .arg(cinfo->image_height);
    return QString();
}

// The order in which a scan's band counts a block's coefficients: the position of each in the
// block read row by row.
constexpr int kZigzag[DCTSIZE2] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                   12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                   35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                   58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The rows of a block's coefficients, and as many of its columns, that the decoder's inverse
// DCT reads at a scaled size, a bit each. Its 3, 5, 6 and 7 point transforms take the lowest
// frequencies alone; its 2 and 4 point ones average neighbouring outputs of the 8 point one, so
// they read all the odd frequencies too, and the 4 point one every even one but the fourth.
unsigned linesReadAt(int scaledSize)
{
    switch (scaledSize) {
    case 1:
        return 0x01;
    case 2:
        return 0xAB; // 0, 1, 3, 5, 7
    case 4:
        return 0xEF; // all but 4
    case 3:
    case 5:
    case 6:
    case 7:
        return (1u << scaledSize) - 1;
    default:
        return 0xFF;
    }
}

// A bit for each coefficient, in zigzag order.
using Coefficients = quint64;
constexpr Coefficients kAllCoefficients = ~Coefficients(0);

Coefficients coefficientsReadAt(int scaledSize)
{
    const unsigned lines = linesReadAt(scaledSize);
    Coefficients read = 0;
    for (int k = 0; k < DCTSIZE2; ++k) {
        if ((lines >> (kZigzag[k] / DCTSIZE)) & (lines >> (kZigzag[k] % DCTSIZE)) & 1u)
            read |= Coefficients(1) << k;
    }
    return read;
}

Coefficients band(int first, int last)
{
    const Coefficients upTo =
        last == DCTSIZE2 - 1 ? kAllCoefficients : (Coefficients(1) << (last + 1)) - 1;
    return upTo & ~((Coefficients(1) << first) - 1);
}

// One scan of a progressive file: where its bytes lie and what its header says.
struct Scan {
    qsizetype start = 0; // its marker
    qsizetype end = 0;   // the marker after its entropy-coded data
    int count = 0;
    int components[MAX_COMPS_IN_SCAN]{}; // indices into the frame's
    Coefficients band = 0;
    bool tableUsable = true; // the Huffman table it reads could be built by the decoder
};

// The scans of a progressive file, read from its markers strictly: whatever the decoder would
// stop at or warn about, and whatever this reader does not know, makes it give up, and the
// decoder then reads the whole file as ever. Only a file whose every scan is whole, whose
// progression holds and whose coefficients all end complete is read through; in such a file the
// decoder's block smoothing, which guesses coefficients still missing, has nothing to do.
class ProgressiveLayout {
public:
    ProgressiveLayout(const QByteArray &bytes, j_decompress_ptr cinfo)
        : m_data(reinterpret_cast<const uchar *>(bytes.constData()))
        , m_size(bytes.size())
        , m_cinfo(cinfo)
    {
        for (auto &bits : m_bits)
            std::fill(std::begin(bits), std::end(bits), -1);
    }

    // False when the file is not one this reader vouches for.
    bool read();
    const std::vector<Scan> &scans() const { return m_scans; }
    qsizetype end() const { return m_end; } // just past the end-of-image marker

private:
    bool readSegment(uchar marker, qsizetype at, qsizetype length);
    bool readTables(const uchar *p, qsizetype length);
    bool readScan(qsizetype at, qsizetype length);
    bool follows(int ss, int se, int ah, int al, const Scan &scan);
    bool complete() const;

    const uchar *m_data;
    qsizetype m_size;
    j_decompress_ptr m_cinfo;
    std::vector<Scan> m_scans;
    qsizetype m_end = 0;
    bool m_framed = false;
    bool m_acTables[NUM_HUFF_TBLS]{}; // defined by the file and buildable
    // Per component and coefficient, the bit the last scan left it at; -1 before any scan.
    int m_bits[MAX_COMPS_IN_SCAN][DCTSIZE2];
};

bool ProgressiveLayout::read()
{
    if (!m_cinfo->progressive_mode || m_cinfo->arith_code ||
        m_cinfo->num_components > MAX_COMPS_IN_SCAN)
        return false;
    for (qsizetype i = 2; i + 1 < m_size;) {
        const uchar marker = m_data[i + 1];
        if (m_data[i] != 0xFF)
            return false;
        if (marker == 0xFF) { // fill
            ++i;
            continue;
        }
        if (marker == 0xD9) {
            m_end = i + 2;
            return m_framed && complete();
        }
        if (i + 4 > m_size)
            return false;
        const qsizetype length = m_data[i + 2] << 8 | m_data[i + 3];
        if (length < 2 || i + 2 + length > m_size || !readSegment(marker, i, length))
            return false;
        i = marker == 0xDA ? m_scans.back().end : i + 2 + length;
    }
    return false; // cut short
}

bool ProgressiveLayout::readSegment(uchar marker, qsizetype at, qsizetype length)
{
    if (marker == 0xC2 && !m_framed)
        return m_framed = true;
    if (marker == 0xC4)
        return readTables(m_data + at + 4, length - 2);
    if (marker == 0xDA)
        return m_framed && readScan(at, length);
    // quantization tables, restart interval, application segments, comments
    return marker == 0xDB || marker == 0xDD || (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE;
}

// Only AC tables matter here: every DC scan is read anyway.
bool ProgressiveLayout::readTables(const uchar *p, qsizetype length)
{
    while (length > 0) {
        if (length < 17 || (p[0] >> 4) > 1 || (p[0] & 15) >= NUM_HUFF_TBLS)
            return false;
        int symbols = 0;
        bool buildable = true;
        for (int bits = 1, codes = 0; bits <= 16; ++bits) {
            symbols += p[bits];
            codes = symbols ? (codes + p[bits]) << 1 : 0;
            buildable = buildable && codes <= (2 << bits) - 2; // no code of all ones
        }
        if (symbols > 256 || 17 + symbols > length)
            return false;
        if (p[0] >> 4)
            m_acTables[p[0] & 15] = buildable;
        p += 17 + symbols;
        length -= 17 + symbols;
    }
    return true;
}

bool ProgressiveLayout::readScan(qsizetype at, qsizetype length)
{
    if (length < 3)
        return false;
    const uchar *header = m_data + at + 4;
    Scan scan;
    scan.start = at;
    scan.count = header[0];
    if (scan.count < 1 || scan.count > MAX_COMPS_IN_SCAN || length != 6 + 2 * scan.count)
        return false;
    for (int k = 0; k < scan.count; ++k) {
        int index = 0;
        while (index < m_cinfo->num_components &&
               m_cinfo->comp_info[index].component_id != header[1 + 2 * k])
            ++index;
        if (index == m_cinfo->num_components ||
            std::count(scan.components, scan.components + k, index))
            return false;
        scan.components[k] = index;
    }
    const uchar *selection = header + 1 + 2 * scan.count; // Ss, Se, Ah and Al
    const int table = header[2] & 15;
    scan.tableUsable = table < NUM_HUFF_TBLS && m_acTables[table];
    if (!follows(selection[0], selection[1], selection[2] >> 4, selection[2] & 15, scan))
        return false;
    scan.band = band(selection[0], selection[1]);
    scan.end = entropyEnd(m_data, m_size, at + 2 + length);
    m_scans.push_back(scan);
    return scan.end < m_size;
}

// The decoder's own checks on a scan's band and on the progression so far.
bool ProgressiveLayout::follows(int ss, int se, int ah, int al, const Scan &scan)
{
    const bool dc = ss == 0;
    if ((dc && se != 0) || (!dc && (ss > se || se >= DCTSIZE2 || scan.count != 1)) ||
        (ah != 0 && al != ah - 1) || al > 13)
        return false;
    for (int k = 0; k < scan.count; ++k) {
        int *bits = m_bits[scan.components[k]];
        if (!dc && bits[0] < 0) // AC before DC
            return false;
        for (int coefficient = ss; coefficient <= se; ++coefficient) {
            if (ah != std::max(bits[coefficient], 0))
                return false;
            bits[coefficient] = al;
        }
    }
    return true;
}

// Whether every component's coefficients that block smoothing looks at, DC and the first nine AC
// ones, came down to their last bit.
bool ProgressiveLayout::complete() const
{
    constexpr int kSmoothed = 10;
    for (int c = 0; c < m_cinfo->num_components; ++c) {
        if (std::any_of(m_bits[c], m_bits[c] + kSmoothed, [](int bits) { return bits != 0; }))
            return false;
    }
    return true;
}

// The file without the scans a decode at the chosen scale never reads: those with no
// coefficient the inverse DCT of any of their components reads, unless a scan that is read
// later refines what they brought, as the decoder refines only what it holds. Scans that start
// before `keptBefore` stay: the decoder has read past their start already. Empty when nothing can
// be left out, or when the file is not one to cut.
QByteArray scansRead(const QByteArray &bytes, j_decompress_ptr cinfo, qsizetype keptBefore)
{
    Coefficients read[MAX_COMPONENTS];
    bool everything = true;
    for (int c = 0; c < cinfo->num_components; ++c) {
        read[c] = coefficientsReadAt(cinfo->comp_info[c].DCT_scaled_size);
        everything = everything && read[c] == kAllCoefficients;
    }
    ProgressiveLayout layout(bytes, cinfo);
    if (everything || !layout.read())
        return QByteArray();
    const std::vector<Scan> &scans = layout.scans();
    std::vector<bool> kept(scans.size());
    Coefficients refined[MAX_COMPONENTS]{}; // what kept scans go on from
    qsizetype leftOut = 0;
    for (auto i = scans.size(); i-- > 0;) {
        const Scan &scan = scans[i];
        kept[i] = scan.start < keptBefore;
        for (int k = 0; k < scan.count; ++k)
            kept[i] = kept[i] ||
                      (scan.band & (read[scan.components[k]] | refined[scan.components[k]])) != 0;
        for (int k = 0; kept[i] && k < scan.count; ++k)
            refined[scan.components[k]] |= scan.band;
        if (!kept[i] && !scan.tableUsable) // the decoder would have stopped at it
            return QByteArray();
        leftOut += kept[i] ? 0 : scan.end - scan.start;
    }
    if (leftOut == 0)
        return QByteArray();
    QByteArray cut;
    cut.reserve(layout.end() - leftOut);
    qsizetype from = 0;
    for (std::size_t i = 0; i < scans.size(); ++i) {
        if (kept[i])
            continue;
        cut.append(bytes.constData() + from, scans[i].start - from);
        from = scans[i].end;
    }
    cut.append(bytes.constData() + from, layout.end() - from);
    return cut;
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
Step openHeader(Decompressor &d, const QByteArray &data, Header &header, bool metadata)
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

// How far into its bytes the decoder has read.
qsizetype readSoFar(const Decompressor &d, const QByteArray &bytes)
{
    return reinterpret_cast<const char *>(d.cinfo.src->next_input_byte) - bytes.constData();
}

// Goes on reading from `bytes`, which begin as those read so far (the whole file after its
// first part, say, or the scans a decode reads cut from it), at the same place. The memory
// source only ever looks at these two fields.
void readOnFrom(Decompressor &d, const QByteArray &bytes, qsizetype at)
{
    d.cinfo.src->next_input_byte = reinterpret_cast<const JOCTET *>(bytes.constData()) + at;
    d.cinfo.src->bytes_in_buffer = std::size_t(bytes.size() - at);
}

// Where a decode reads on from once the bytes it was given run out: more of the file, into the
// same memory, so that a file in a single scan, which the decoder reads once front to back, is
// never held whole.
struct ReadingOn {
    const JpegReader::ReadOn *readOn;
    QByteArray *buffer;
};

boolean fillFromFile(j_decompress_ptr cinfo)
{
    const auto *on = static_cast<const ReadingOn *>(cinfo->client_data);
    const qsizetype got = (*on->readOn)(on->buffer->data(), on->buffer->size());
    if (got <= 0) {
        // As the memory source does at the end of its bytes: a file cut short shows what it has.
        static const JOCTET end[2] = {0xFF, JPEG_EOI};
        WARNMS(cinfo, JWRN_JPEG_EOF);
        cinfo->src->next_input_byte = end;
        cinfo->src->bytes_in_buffer = sizeof end;
        return TRUE;
    }
    cinfo->src->next_input_byte = reinterpret_cast<const JOCTET *>(on->buffer->constData());
    cinfo->src->bytes_in_buffer = std::size_t(got);
    return TRUE;
}

void skipInFile(j_decompress_ptr cinfo, long count)
{
    jpeg_source_mgr *src = cinfo->src;
    while (count > 0 && std::size_t(count) > src->bytes_in_buffer) {
        count -= long(src->bytes_in_buffer);
        fillFromFile(cinfo);
    }
    if (count > 0) {
        src->next_input_byte += count;
        src->bytes_in_buffer -= std::size_t(count);
    }
}

void readOnFromFile(Decompressor &d, ReadingOn &on)
{
    d.cinfo.client_data = &on;
    d.cinfo.src->fill_input_buffer = fillFromFile;
    d.cinfo.src->skip_input_data = skipInFile;
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

// The pixels a decode writes, in memory decodes hand on to each other: a photo's at the
// screen's size is megabytes, fresh pages for every one cost as much as decoding into them.
QImage decodedImage(int width, int height)
{
    return imageInDecoderBlock(QSize(width, height), qsizetype(width) * 4, QImage::Format_RGB32);
}

} // namespace

bool looksLikeJpeg(const QByteArray &data)
{
    return data.size() > 3 && uchar(data[0]) == 0xFF && uchar(data[1]) == 0xD8 &&
           uchar(data[2]) == 0xFF;
}

struct JpegReader::State {
    Decompressor d;
    Header header;
    bool tried = false;       // a decoder reads one header
    qsizetype headerEnd = -1; // where the header ended in the file's bytes; -1 until read
};

JpegReader::JpegReader()
    : m(std::make_unique<State>())
{
}

JpegReader::~JpegReader() = default;

bool JpegReader::readHeader(const QByteArray &start, const sys::Cancellation *cancel, QString *why)
{
    Decompressor &d = m->d;
    d.monitor.cancel = cancel;
    if (std::exchange(m->tried, true) || openHeader(d, start, m->header, true) != Step::Done) {
        if (why)
            *why = d.message();
        return false;
    }
    m->headerEnd = readSoFar(d, start);
    m_info.stored = QSize(int(d.cinfo.image_width), int(d.cinfo.image_height));
    m_info.orientation = exifOrientation(d.cinfo.marker_list);
    m_info.refusal = refusal(start, &d.cinfo, m->header.multipleScans);
    m_info.directColour = directColour(&d.cinfo);
    m_info.coefficientBytes = coefficientBytes(&d.cinfo, m->header.multipleScans);
    m_info.iccProfile = iccProfileFor(&d.cinfo, m->header);
    return !m_info.stored.isEmpty();
}

QImage JpegReader::decode(const QByteArray &whole, QSize atLeast, qint64 maxPixels, QString *why,
                          JpegScans scans)
{
    QByteArray bytes = whole; // shared, never written: nothing reads on
    return decodeFrom(bytes, nullptr, atLeast, maxPixels, why, scans);
}

QImage JpegReader::decodeOn(QByteArray &start, const ReadOn &readOn, QSize atLeast,
                            qint64 maxPixels, QString *why)
{
    if (m->header.multipleScans) {
        if (why)
            *why = QStringLiteral("a file in several scans is decoded whole");
        return QImage();
    }
    return decodeFrom(start, &readOn, atLeast, maxPixels, why, JpegScans::All);
}

QImage JpegReader::decodeFrom(QByteArray &bytes, const ReadOn *readOn, QSize atLeast,
                              qint64 maxPixels, QString *why, JpegScans scans)
{
    const QByteArray &whole = bytes;
    const auto failed = [why](const QString &reason) {
        if (why)
            *why = reason;
        return QImage();
    };
    Decompressor &d = m->d;
    const qsizetype headerEnd = std::exchange(m->headerEnd, -1); // once
    if (headerEnd < 0 || whole.size() < headerEnd)
        return failed(QStringLiteral("no header read"));
    const QSize stored = m_info.stored;
    if (stored.isEmpty())
        return failed(QStringLiteral("no pixels"));
    // unknown colours are left to another decoder; a refused file to none
    if (!m_info.directColour)
        return failed(QStringLiteral("colours this decoder does not convert"));
    const QString refused = refusal(whole, &d.cinfo, m->header.multipleScans);
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
    // The decoder reads the cut from here on, which must outlive it. Block smoothing guesses
    // coefficients no scan brought; in the whole file every one came, so it did nothing there,
    // and must not guess those left out here.
    const QByteArray cut =
        scans == JpegScans::Read ? scansRead(whole, &d.cinfo, headerEnd) : QByteArray();
    readOnFrom(d, cut.isEmpty() ? whole : cut, headerEnd);
    if (!cut.isEmpty())
        d.cinfo.do_block_smoothing = FALSE;
    ReadingOn on{readOn, &bytes};
    if (readOn)
        readOnFromFile(d, on);
    QImage image = decodedImage(int(d.cinfo.output_width), int(d.cinfo.output_height));
    if (image.isNull())
        return failed(QStringLiteral("no memory for %1 x %2 pixels")
                          .arg(d.cinfo.output_width)
                          .arg(d.cinfo.output_height));
    if (readPixels(d, image.bits(), image.bytesPerLine(), image.size(), cmyk) != Step::Done)
        return failed(d.message());
    return image;
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

QByteArray jpegScansRead(const QByteArray &data, int scale)
{
    Decompressor d;
    Header header;
    if (openHeader(d, data, header, false) != Step::Done ||
        chooseOutput(d, scale, std::numeric_limits<qint64>::max(), isCmyk(&d.cinfo)) != Step::Done)
        return QByteArray();
    return scansRead(data, &d.cinfo, readSoFar(d, data));
}

QImage decodeJpeg(const QByteArray &data, QSize atLeast, qint64 maxPixels,
                  const sys::Cancellation *cancel, QString *why, JpegScans scans)
{
    JpegReader reader;
    if (!reader.readHeader(data, cancel, why))
        return QImage();
    return reader.decode(data, atLeast, maxPixels, why, scans);
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
