#include "BenchPhotos.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace bench {

namespace {

constexpr QSize kTile(1500, 1000);
constexpr int kTileKinds = 4;

struct ErrorJump {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

[[noreturn]] void jumpOut(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorJump *>(cinfo->err)->jump, 1);
}

// Light and shade across the tile, noise in light and some in colour, as a camera's sensor
// leaves it: at high quality, about as many bytes per pixel as a camera's own files.
std::vector<JSAMPLE> makeTile(quint32 seed)
{
    std::vector<JSAMPLE> pixels(size_t(kTile.width()) * kTile.height() * 3);
    QRandomGenerator random(seed);
    JSAMPLE *p = pixels.data();
    for (int y = 0; y < kTile.height(); ++y) {
        for (int x = 0; x < kTile.width(); ++x, p += 3) {
            const quint32 bits = random.generate();
            const int light = int(bits & 31) - 16;
            const int colour = int((bits >> 5) % 15) - 7;
            p[0] = JSAMPLE(
                qBound(0, (x * 255 / kTile.width() + int(seed * 37)) % 256 + light + colour, 255));
            p[1] = JSAMPLE(qBound(0, y * 255 / kTile.height() + light, 255));
            p[2] = JSAMPLE(qBound(0, (x + y) * 127 / kTile.width() + light - colour, 255));
        }
    }
    return pixels;
}

// One row of the mosaic: the tiles of its band, a different kind from one to the next.
void mosaicRow(const std::vector<std::vector<JSAMPLE>> &tiles, int y, std::vector<JSAMPLE> &row)
{
    const int width = int(row.size() / 3);
    const int band = y / kTile.height();
    const size_t tileRow = size_t(y % kTile.height()) * kTile.width() * 3;
    for (int x = 0; x < width; x += kTile.width()) {
        const auto &tile = tiles[size_t(x / kTile.width() + 3 * band) % tiles.size()];
        const int n = std::min(kTile.width(), width - x);
        std::copy_n(tile.begin() + qsizetype(tileRow), n * 3, row.begin() + x * 3);
    }
}

bool compress(FILE *file, QSize size, const Encoding &encoding,
              const std::vector<std::vector<JSAMPLE>> &tiles)
{
    jpeg_compress_struct cinfo{};
    ErrorJump errors{};
    cinfo.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = jumpOut;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = JDIMENSION(size.width());
    cinfo.image_height = JDIMENSION(size.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, encoding.quality, TRUE);
    if (encoding.fullChroma) {
        for (int c = 0; c < cinfo.num_components; ++c)
            cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
    }
    if (encoding.progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(size_t(size.width()) * 3);
    JSAMPROW rows[1] = {row.data()};
    for (int y = 0; y < size.height(); ++y) {
        mosaicRow(tiles, y, row);
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

// A photo is kept only once it is whole: a run stopped half-way leaves nothing to be taken for
// a photo in the next.
bool keepWhole(const QString &part, const QString &path, bool written)
{
    if (written && QFile::rename(part, path))
        return true;
    QFile::remove(part);
    return false;
}

} // namespace

void writePhoto(const QString &path, QSize size, quint32 seed)
{
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int noise = int(random.generate() & 31) - 16;
            const int r = qBound(0, (x * 255 / size.width() + int(seed * 37)) % 256 + noise, 255);
            const int g = qBound(0, (y * 255 / size.height()) + noise, 255);
            const int b = qBound(0, ((x + y) * 127 / size.width()) + noise, 255);
            line[x] = qRgb(r, g, b);
        }
    }
    image.save(path, "JPEG", 90);
}

bool writeMosaic(const QString &path, QSize size, const Encoding &encoding, quint32 seed)
{
    std::vector<std::vector<JSAMPLE>> tiles;
    for (int kind = 0; kind < kTileKinds; ++kind)
        tiles.push_back(makeTile(seed * kTileKinds + quint32(kind)));
    const QString part = path + QStringLiteral(".part");
    FILE *file = std::fopen(QFile::encodeName(part).constData(), "wb");
    if (!file)
        return false;
    const bool written = compress(file, size, encoding, tiles);
    return keepWhole(part, path, std::fclose(file) == 0 && written);
}

bool writeProgressiveCopy(const QString &from, const QString &to)
{
    const QString jpegtran = QStandardPaths::findExecutable(QStringLiteral("jpegtran"));
    if (jpegtran.isEmpty())
        return false;
    const QString part = to + QStringLiteral(".part");
    QProcess tool;
    tool.start(jpegtran, {QStringLiteral("-progressive"), QStringLiteral("-copy"),
                          QStringLiteral("all"), QStringLiteral("-outfile"), part, from});
    const bool written = tool.waitForFinished(120000) &&
                         tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
    return keepWhole(part, to, written);
}

QStringList photosIn(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
}

bool writeManyNames(const QString &photos, const QString &folder, int folders, int namesEach)
{
    const QStringList originals = photosIn(photos);
    if (originals.isEmpty())
        return false;
    for (int f = 0; f < folders; ++f) {
        const QString sub = folder + QStringLiteral("/s%1").arg(f);
        if (!QDir().mkpath(sub))
            return false;
        for (int n = 0; n < namesEach; ++n) {
            const QString &photo = originals[n % originals.size()];
            const QString from = photos + QLatin1Char('/') + photo;
            const QString name = sub + QStringLiteral("/%1-%2-%3").arg(f).arg(n).arg(photo);
            // A link costs the listing no more than the photo's own name, and no disk.
            if (QFile::exists(name) || ::link(QFile::encodeName(from).constData(),
                                              QFile::encodeName(name).constData()) == 0)
                continue;
            if (!QFile::link(from, name))
                return false;
        }
    }
    return true;
}

} // namespace bench
