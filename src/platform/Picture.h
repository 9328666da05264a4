#pragma once

#include <QImage>
#include <QSize>
#include <QString>

namespace platform {

/// A loaded picture: the decoded pixels, upright, and the picture's own size in pixels
/// (the size the camera meant, which the pixels may be a reduction of).
struct Picture {
    QImage image;
    QSize size;

    bool isNull() const { return image.isNull(); }
};

/// Loads a picture file by path. The empty path, a missing, unreadable or special file and
/// anything that does not decode give the empty picture; it never blocks on a pipe or device.
Picture loadPicture(const QString &path);

} // namespace platform
