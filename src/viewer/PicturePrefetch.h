#pragma once

#include "platform/FileStamp.h"
#include "platform/Picture.h"

#include <QFuture>
#include <QString>

/// What a picture was decoded for: the window's inner area and the screen's scale.
struct DisplayKey {
    float innerWidth = 0, innerHeight = 0; ///< twips
    float twipsPerPixel = 0;
    qreal devicePixelRatio = 0;
    bool operator==(const DisplayKey &o) const
    {
        return innerWidth == o.innerWidth && innerHeight == o.innerHeight &&
               twipsPerPixel == o.twipsPerPixel && devicePixelRatio == o.devicePixelRatio;
    }
};

/// Decodes the picture a show will most likely need next on a worker thread, while the
/// current one is on screen. The next tick still draws its own pick; only when that pick is
/// the file decoded ahead, unchanged on disk and for the same display, is the work reused.
class PicturePrefetch {
public:
    ~PicturePrefetch();

    /// Starts decoding `path` for a display; drops whatever was decoded ahead before.
    void start(const QString &path, const platform::DisplaySize &display, const DisplayKey &key);

    /// The picture decoded ahead, if it is `path` for `key` and the file has not changed since;
    /// waits for the decoding to end. What was decoded ahead is used once at the most.
    bool take(const QString &path, const DisplayKey &key, platform::Picture &picture);

    /// Drops whatever was decoded ahead.
    void clear();

    /// The display the picture decoded ahead is for.
    const DisplayKey &key() const { return m_key; }

private:
    QString m_path;
    DisplayKey m_key;
    platform::FileStamp m_stamp;
    QFuture<platform::Picture> m_future;
};
