#pragma once

#include "show/Decodes.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>

#include <deque>
#include <map>
#include <memory>

namespace show {

/// How much decoding goes on at once: a decode on each core, within a budget of working memory;
/// one decode always runs, however large its picture, so nothing is refused for the budget.
struct DecodeLimits {
    int cores = 1;
    qint64 memoryBytes = 0;

    /// This machine's cores, and 600 MiB: room for two progressive photos of some 45 megapixels,
    /// their coefficients and their files.
    static DecodeLimits ofMachine();
};

class MemoryGate;

/// The show's pictures decoded on worker threads, never on the user-interface thread; a decode
/// that nothing wants any more is cancelled at once.
class PictureDecodes : public QObject, public Decodes {
    Q_OBJECT
public:
    explicit PictureDecodes(DecodeLimits limits = DecodeLimits::ofMachine(),
                            QObject *parent = nullptr);
    ~PictureDecodes() override;

    void want(DecodeFor purpose, const QString &path, const DisplayKey &key,
              Ready ready = {}) override;
    void wantAhead(const QStringList &paths, const DisplayKey &key) override;
    void drop(DecodeFor purpose) override;
    void dropAll() override;
    bool waitingFor(DecodeFor purpose) const override;
    int cores() const override { return m_limits.cores; }
    int decodeMs() const override;

private:
    struct Job;
    struct Wish {
        std::shared_ptr<Job> job;
        Ready ready;
    };

    void replace(DecodeFor purpose, const QStringList &paths, const DisplayKey &key,
                 const Ready &ready);
    std::shared_ptr<Job> reusable(const QString &path, const DisplayKey &key);
    std::shared_ptr<Job> start(const QString &path, const DisplayKey &key);
    void finished(Job *job);
    /// Forgets a job no wish holds: stops its decode, or keeps a picture nobody was shown.
    void release(const std::shared_ptr<Job> &job);

    DecodeLimits m_limits;
    std::shared_ptr<MemoryGate> m_gate;
    std::multimap<DecodeFor, Wish> m_wishes; // those ahead in the order of their ticks
    std::deque<std::shared_ptr<Job>> m_done; // decoded, dropped unshown, the latest last
    std::deque<int> m_recentMs;              // the last few decodes' times
    quint64 m_asked = 0;
    QTimer m_idle; // no decode for a while: the memory kept for the next goes back
    // Destroyed first: it waits for its workers, which stop within a few rows once cancelled.
    QThreadPool m_pool;
};

} // namespace show
