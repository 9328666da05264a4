#pragma once

#include "system/Cancellation.h"

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <functional>
#include <memory>

namespace imaging {

/// What a JPEG's header says.
struct JpegInfo {
    QSize stored;        ///< width and height as stored, before any turn
    int orientation = 1; ///< EXIF orientation, 1 (upright) .. 8; 1 when absent or invalid
    /// Whether our decoder converts its colours itself (grey, YCbCr, RGB, CMYK and YCCK).
    bool directColour = true;
    /// The embedded ICC profile, all its segments joined, when it describes the picture's kind
    /// of colours: an RGB profile for a colour or grey picture, a grey one for a grey picture.
    /// Empty when there is none, when its segments do not fit together, and for CMYK.
    QByteArray iccProfile;
    /// What the decoder holds while it runs: all the coefficients of a file in several scans
    /// (a progressive one), 0 for one in a single scan.
    qint64 coefficientBytes = 0;
    /// Why no decoder should try the file (too much memory, too many scans, too much work for
    /// one picture); empty when it may be decoded.
    QString refusal;
};

/// Whether the bytes start like a JPEG file.
bool looksLikeJpeg(const QByteArray &data);

/// Which scans of a progressive JPEG a reduced decode reads.
enum class JpegScans {
    Read, ///< those with coefficients the reduced inverse DCT reads; the pixels are the same
    All,  ///< every one
};

/// One JPEG's decode, its header read once: from the file's first bytes, so that what the decode
/// will hold is known before the rest of the file is read, and then on into the whole file.
class JpegReader {
public:
    JpegReader();
    ~JpegReader();
    JpegReader(const JpegReader &) = delete;
    JpegReader &operator=(const JpegReader &) = delete;

    /// Reads the header from `start`, the file's first bytes (the whole file will do), which
    /// must stay as they are until decode(); false when they hold no readable header, with the
    /// decoder's reason in `why` when it gave one. The decode stops, within a few rows, once
    /// `cancel` is set.
    bool readHeader(const QByteArray &start, const sys::Cancellation *cancel = nullptr,
                    QString *why = nullptr);
    /// What the header said; its refusal judged by the bytes it was read from.
    const JpegInfo &info() const { return m_info; }

    /// Decodes the whole file, which begins with the bytes the header was read from, as
    /// decodeJpeg does. Once.
    QImage decode(const QByteArray &whole, QSize atLeast, qint64 maxPixels, QString *why = nullptr,
                  JpegScans scans = JpegScans::Read);

    /// Reads on in the file into `buffer`, at most `size` bytes; how many it got, 0 at its end.
    using ReadOn = std::function<qsizetype(char *buffer, qsizetype size)>;
    /// Decodes a file in a single scan (no coefficients held) as decode() does, from the bytes
    /// the header was read from and then on through `readOn`, into those same bytes' memory: the
    /// file is never held whole. Once.
    QImage decodeOn(QByteArray &start, const ReadOn &readOn, QSize atLeast, qint64 maxPixels,
                    QString *why = nullptr);

private:
    /// Decodes from `bytes`, and on through `readOn` into `bytes` where it is given.
    QImage decodeFrom(QByteArray &bytes, const ReadOn *readOn, QSize atLeast, qint64 maxPixels,
                      QString *why, JpegScans scans);

    struct State;
    std::unique_ptr<State> m;
    JpegInfo m_info;
};

/// Decodes a JPEG at the smallest DCT scale (1/8 .. 8/8) whose output still covers `atLeast`
/// (stored orientation; an invalid size asks for full size), never above `maxPixels` pixels.
/// The result is as stored, not turned, in the file's own colours (CMYK already made RGB); null
/// on any decoding error, a refused file, an unsupported colour space (the caller may try
/// another decoder then) or once `cancel` is set, which the decoder looks at every few rows.
/// When null, `why` says why: the decoder's own message when it gave up.
QImage decodeJpeg(const QByteArray &data, QSize atLeast, qint64 maxPixels,
                  const sys::Cancellation *cancel = nullptr, QString *why = nullptr,
                  JpegScans scans = JpegScans::Read);

/// What a decode at `scale` eighths reads of a progressive JPEG: the file without the scans whose
/// coefficients that scale never shows. Empty when it reads the whole file.
QByteArray jpegScansRead(const QByteArray &data, int scale);

/// The smallest scale numerator M (of M/8) whose output covers `atLeast`; 8 for an invalid size.
int jpegScaleFor(QSize stored, QSize atLeast);

/// Turns an image as stored into its upright form for an EXIF orientation.
QImage uprightImage(const QImage &stored, int orientation);

/// Whether an orientation turns the picture a quarter (width and height trade places).
bool orientationSwapsSides(int orientation);

} // namespace imaging
