#pragma once

#include "system/Cancellation.h"
#include "system/FileStamp.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>

namespace imaging {

/// A loaded picture: its pixels, upright, and the picture's own size in pixels (the size the
/// camera meant, of which the pixels may be a reduction made for the screen).
struct Picture {
    QImage image;
    QSize size;
    QString path;
    sys::FileStamp stamp; ///< the file as it was when it was read

    bool isNull() const { return image.isNull(); }
    /// Whether the pixels are fewer than the picture has, so a larger display needs a new decode.
    bool isReduced() const { return !isNull() && image.width() < size.width(); }
};

/// The device pixels a picture of a given upright size will be shown at; an invalid size
/// asks for the picture whole.
using DisplaySize = std::function<QSize(QSize pictureSize)>;

/// Loads a picture file by path. With `display`, a larger picture is decoded only as large as
/// it will be shown (at the least DCT scale that covers it, then smoothly scaled to exactly
/// that size); smaller ones are decoded whole. The empty path, a missing, unreadable or special
/// file, a file made to keep the decoder busy and anything that does not decode give the empty
/// picture (stamped with the file as read, if it was); a pipe or device never blocks it. Once
/// `cancel` is set the load stops within a few rows of decoding and gives the empty picture. Safe
/// to call from any thread.
Picture loadPicture(const QString &path, const DisplaySize &display = {},
                    const sys::Cancellation *cancel = nullptr);

/// The memory a load of the file holds at its height beside the picture it gives, from the
/// file's size and header alone: the file's bytes and, for a JPEG in several scans, all its
/// coefficients. Reads the header, and the whole file only where the header runs on past the
/// first quarter megabyte; 0 for what is no regular file. Safe to call from any thread.
qint64 loadMemory(const QString &path);

/// The image smoothly scaled to exactly `size`, its proportions not kept, in its own format; fast
/// for the formats a decode gives (4 bytes a pixel). Safe to call from any thread.
QImage scaledTo(const QImage &image, QSize size);

/// How the show loads its pictures; a test may install a loader of its own (a slow one, say).
using PictureLoader = std::function<Picture(const QString &path, const DisplaySize &display,
                                            const sys::Cancellation *cancel)>;

/// Loads with the installed loader: loadPicture unless another was installed.
Picture loadPictureWith(const QString &path, const DisplaySize &display,
                        const sys::Cancellation *cancel);

/// Replaces the loader; an empty one goes back to loadPicture. Install before any show runs.
/// @return the loader it replaced (empty for loadPicture)
PictureLoader setPictureLoader(PictureLoader loader);

} // namespace imaging
