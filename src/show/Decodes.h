#pragma once

#include "imaging/Picture.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace show {

/// What a picture is decoded for: the window's inner area and the screen's scale.
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

/// The size in device pixels a picture of the given size takes on that display.
imaging::DisplaySize displaySizeFor(const DisplayKey &key);

/// Why the show wants a picture decoded.
enum class DecodeFor { Tick, Step, StartPick, Sharpen, Ahead };

/// The pictures the show wants decoded away from the user-interface thread: one wanted for each
/// purpose at a time, but as many ahead as the next ticks show. Asking for a picture that is
/// already being decoded, ahead of its tick say, takes that decode over rather than starting
/// another; a decode that nothing wants any more stops, and its result never comes.
class Decodes {
public:
    using Ready = std::function<void(const imaging::Picture &)>;

    virtual ~Decodes() = default;
    /// Wants `path` decoded for a display, dropping whatever was wanted for `purpose` before.
    /// `ready` runs on this thread once the picture is there: at once when it was decoded
    /// already, unchanged on disk since. A decode wanted without `ready` (ahead of its tick)
    /// waits to be taken over.
    virtual void want(DecodeFor purpose, const QString &path, const DisplayKey &key,
                      Ready ready = {}) = 0;
    /// Wants the pictures of the next ticks decoded ahead, the next first, at once where there are
    /// cores for them; those wanted ahead before and not among them are dropped. `want` for
    /// `DecodeFor::Ahead` wants the one path ahead.
    virtual void wantAhead(const QStringList &paths, const DisplayKey &key) = 0;
    /// Drops what was wanted for `purpose`; a decode nothing else wants stops.
    virtual void drop(DecodeFor purpose) = 0;
    virtual void dropAll() = 0;
    /// Whether a picture wanted for `purpose` (any, ahead) is still being decoded.
    virtual bool waitingFor(DecodeFor purpose) const = 0;
    /// How many pictures decode at once, one on each core.
    virtual int cores() const = 0;
    /// How long a picture took to decode of late, in milliseconds on its worker's clock; 0 before
    /// the first.
    virtual int decodeMs() const = 0;
};

} // namespace show
