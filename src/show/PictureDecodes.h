#pragma once

#include "show/Decodes.h"

#include <QObject>
#include <QString>

#include <functional>
#include <map>
#include <memory>

namespace show {

/// The show's pictures decoded on worker threads, never on the user-interface thread; a decode
/// that nothing wants any more is cancelled at once.
class PictureDecodes : public QObject, public Decodes {
    Q_OBJECT
public:
    explicit PictureDecodes(QObject *parent = nullptr);
    ~PictureDecodes() override;

    void want(DecodeFor purpose, const QString &path, const DisplayKey &key,
              Ready ready = {}) override;
    void drop(DecodeFor purpose) override;
    void dropAll() override;
    bool waitingFor(DecodeFor purpose) const override;

private:
    struct Job;
    struct Wish {
        std::shared_ptr<Job> job;
        Ready ready;
    };

    std::shared_ptr<Job> reusable(const QString &path, const DisplayKey &key) const;
    std::shared_ptr<Job> start(const QString &path, const DisplayKey &key);
    void finished(Job *job);
    void release(const std::shared_ptr<Job> &job);

    std::map<DecodeFor, Wish> m_wishes;
};

} // namespace show
