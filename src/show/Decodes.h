#pragma once

#include "imaging/Picture.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace show {

/// What a picture is decoded for: the window's inner area, the screen's scale and the colour
/// profile of the monitor the window is on.
struct DisplayKey {
    float innerWidth = 0, innerHeight = 0; ///< twips
    float twipsPerPixel = 0;
    qreal devicePixelRatio = 0;
    imaging::DisplayProfilePtr profile; ///< null: sRGB
    bool operator==(const DisplayKey &o) const
    {
        return innerWidth == o.innerWidth && innerHeight == o.innerHeight &&
               twipsPerPixel == o.twipsPerPixel && devicePixelRatio == o.devicePixelRatio &&
               imaging::sameProfile(profile, o.profile);
    }
};

/// The size in device pixels a picture of the given size takes on that display.
imaging::DisplaySize displaySizeFor(const DisplayKey &key);

/// Who waits for a picture: the screen (a step, the Start pick, a sharper copy of the picture
/// on screen), or the tick that shows its pick once it is there.
enum class Waiter { Screen, Tick };

/// The show's pictures, decoded away from the user-interface thread and kept by what was
/// decoded: the file as it is on disk and the display it was decoded for. A picture is decoded
/// once for everybody who wants it, and a result arrives only where it is still wanted.
class Decodes {
public:
    using Ready = std::function<void(const imaging::Picture &)>;

    /// What the show will want next, besides what waits: the picks ahead, the next first, which
    /// are decoded as cores and memory allow; and the pictures it may want again, the one on
    /// screen and then the history, newest first, which stay while memory allows but are not
    /// decoded for them. Whatever else is decoded goes, and a decode nobody wants stops.
    struct Plan {
        QStringList ahead;
        QStringList kept;
    };

    virtual ~Decodes() = default;
    /// `waiter` waits for `path` decoded for a display, and no longer for what it waited for
    /// before. `ready` runs on this thread once the picture is there: at once when it was
    /// decoded already and the file is unchanged on disk since. The empty path is the empty
    /// picture, there at once.
    virtual void fetch(Waiter waiter, const QString &path, const DisplayKey &key, Ready ready) = 0;
    /// `waiter` waits for nothing: what it waited for never comes.
    virtual void drop(Waiter waiter) = 0;
    virtual bool waitingFor(Waiter waiter) const = 0;
    /// Replaces what the show will want next, all of it for one display.
    virtual void plan(const Plan &plan, const DisplayKey &key) = 0;
    /// The picture of `path`, unchanged on disk, as decoded for `key` or else for another
    /// display, to show scaled until one for `key` comes; the null picture when there is none.
    virtual imaging::Picture nearest(const QString &path, const DisplayKey &key) const = 0;
    /// How many pictures decode at once, one on each core.
    virtual int cores() const = 0;
    /// How long a picture took to decode of late, in milliseconds on its worker's clock; 0 before
    /// the first.
    virtual int decodeMs() const = 0;
};

} // namespace show
