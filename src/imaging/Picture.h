#pragma once

#include "imaging/ColourProfile.h"
#include "system/Cancellation.h"
#include "system/FileStamp.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>

namespace imaging {

/// A loaded picture: its pixels, upright, and the picture's own size in pixels (the size the
/// camera meant, of which the pixels may be a reduction made for the screen).
struct Picture {
    QImage image;
    QSize size;
    QString path;
    sys::FileStamp stamp;      ///< the file as it was when it was read
    DisplayProfilePtr profile; ///< the monitor its colours are for (null: sRGB)

    bool isNull() const { return image.isNull(); }
    /// Whether the pixels are fewer than the picture has, so a larger display needs a new decode.
    bool isReduced() const { return !isNull() && image.width() < size.width(); }
};

/// The device pixels a picture of a given upright size will be shown at; an invalid size
/// asks for the picture whole.
using DisplaySize = std::function<QSize(QSize pictureSize)>;

/// One picture file's load, in two steps so that what it will hold is known before it holds it:
/// memory() opens the file and reads its header, picture() reads the rest and decodes from
/// there. The file is opened once and its header read once. Safe on any one thread.
class PictureLoad {
public:
    /// With `display`, a larger picture is decoded only as large as it will be shown (at the
    /// least DCT scale that covers it, then smoothly scaled to exactly that size); smaller ones
    /// are decoded whole. Once `cancel` is set the load stops within a few rows of decoding and
    /// gives the empty picture. Its colours are made those the monitor of `profile` shows.
    explicit PictureLoad(QString path, DisplaySize display = {},
                         const sys::Cancellation *cancel = nullptr, DisplayProfilePtr profile = {});
    ~PictureLoad();
    PictureLoad(const PictureLoad &) = delete;
    PictureLoad &operator=(const PictureLoad &) = delete;

    const QString &path() const;
    bool cancelled() const;

    /// The memory the load holds at its height beside the picture it gives: for a JPEG in a
    /// single scan, which is decoded as it is read, its first part alone; else the file's bytes
    /// and, for a JPEG in several scans, all its coefficients. 0 for what is no regular file.
    qint64 memory();
    /// The picture. The empty path, a missing, unreadable or special file, a file made to keep
    /// the decoder busy and anything that does not decode give the empty picture (stamped with
    /// the file as read, if it was); a pipe or device never blocks it. Once.
    Picture picture();

private:
    struct State;
    std::unique_ptr<State> m;
};

/// Loads a picture file by path, as a PictureLoad does. Safe to call from any thread.
Picture loadPicture(const QString &path, const DisplaySize &display = {},
                    const sys::Cancellation *cancel = nullptr, DisplayProfilePtr profile = {});

/// The image smoothly scaled to exactly `size`, its proportions not kept, in its own format; fast
/// for the formats a decode gives (4 bytes a pixel). Safe to call from any thread.
QImage scaledTo(const QImage &image, QSize size);

/// The image in three bytes a pixel where a decode gave it in four, opaque: the same colours in
/// a quarter less memory, for a picture only kept; any other image as it is, and so is one there
/// is no memory for. Safe to call from any thread.
QImage packedImage(const QImage &image);

/// An image packedImage made, in four bytes a pixel again, as a decode gives it, to be shown;
/// any other image as it is. Safe to call from any thread.
QImage unpackedImage(const QImage &image);

/// How the show ends its loads, once their memory is there; a test may install a loader of its
/// own (a slow one, say).
using PictureLoader = std::function<Picture(PictureLoad &load)>;

/// Ends a load with the installed loader: its picture() unless another was installed.
Picture loadPictureWith(PictureLoad &load);

/// Replaces the loader; an empty one goes back to loadPicture. Install before any show runs.
/// @return the loader it replaced (empty for loadPicture)
PictureLoader setPictureLoader(PictureLoader loader);

} // namespace imaging
