#pragma once

#include "imaging/Picture.h"

#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <memory>

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

/// Why the show wants a picture decoded.
enum class DecodeFor { Tick, Step, StartPick, Sharpen, Ahead };

/// The pictures the show has decoded on worker threads, never on the user-interface thread:
/// one wanted for each purpose at a time, each for one file and one display. Asking for a
/// picture that is already being decoded, ahead of its tick say, takes that decode over rather
/// than starting another; a decode that nothing wants any more is cancelled at once, and its
/// result never comes.
class PictureDecodes : public QObject {
    Q_OBJECT
public:
    using Ready = std::function<void(const imaging::Picture &)>;

    explicit PictureDecodes(QObject *parent = nullptr);
    ~PictureDecodes() override;

    /// Wants `path` decoded for a display, dropping whatever was wanted for `purpose` before.
    /// `ready` runs on this thread once the picture is there: at once when it was decoded
    /// already, unchanged on disk since. A decode wanted only Ahead has no `ready`; it waits
    /// to be taken over.
    void want(DecodeFor purpose, const QString &path, const imaging::DisplaySize &display,
              const DisplayKey &key, Ready ready = {});
    /// Drops what was wanted for `purpose`; a decode nothing else wants stops.
    void drop(DecodeFor purpose);
    void dropAll();
    /// Whether a picture wanted for `purpose` is still being decoded.
    bool waitingFor(DecodeFor purpose) const;

private:
    struct Job;
    struct Wish {
        std::shared_ptr<Job> job;
        Ready ready;
    };

    std::shared_ptr<Job> reusable(const QString &path, const DisplayKey &key) const;
    std::shared_ptr<Job> start(const QString &path, const imaging::DisplaySize &display,
                               const DisplayKey &key);
    void finished(Job *job);
    void release(const std::shared_ptr<Job> &job);

    std::map<DecodeFor, Wish> m_wishes;
};
