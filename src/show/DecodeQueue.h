#pragma once

#include "imaging/Picture.h"
#include "system/Cancellation.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace show {

/// How much decoding goes on at once: a decode on each core, and as much memory as the process
/// may use, within a ceiling.
struct DecodeLimits {
    int cores = 1;
    /// Decodes and the pictures kept stay within this however much memory the machine has:
    /// room for two progressive photos of some 45 megapixels, their coefficients and files.
    qint64 ceilingBytes = 600LL * 1024 * 1024;
    /// What the process may hold at the most; read afresh when a decode starts.
    std::function<qint64()> limitBytes;
    /// What the process holds now.
    std::function<qint64()> heldBytes;

    /// This machine's cores, and the memory its control group or the machine allows.
    static DecodeLimits ofMachine();
};

/// One picture to decode, shared by the decodes and the worker decoding it.
struct DecodeTask {
    QString path;
    imaging::DisplaySize display;
    imaging::DisplayProfilePtr profile; ///< the monitor's, whose colours it is decoded in
    qint64 pictureBytes = 0;            ///< the decoded picture's size, about
    sys::Cancellation cancel;
    std::atomic<int> rank{0}; ///< lower goes first
    quint64 serial = 0;       ///< among the same rank, the earlier asked first
    /// Given up for a picture somebody waits for now; still wanted, so decoded again later.
    std::atomic<bool> preempted{false};
    // Written by the worker before it reports the task done.
    qint64 bytes = 0;     ///< what it held while it decoded, about
    bool decoded = false; ///< whether it was decoded, not cancelled or refused first
    imaging::Picture picture;
    int ms = 0; ///< the decode alone, without its waits
};

/// Where the cache's decodes run: the queue of worker threads, or a test's own.
class DecodeRunner {
public:
    using Done = std::function<void(const std::shared_ptr<DecodeTask> &)>;
    using Short = std::function<void(qint64 bytes)>;

    virtual ~DecodeRunner() = default;
    /// `done` runs, on any thread, once a task ends: decoded, failed or cancelled.
    virtual void setDone(Done done) = 0;
    /// `tooFew` runs, on any thread, when a decode waits for memory that the pictures kept would
    /// give: it asks for that many bytes of them.
    virtual void setShort(Short tooFew) = 0;
    virtual void submit(const std::shared_ptr<DecodeTask> &task) = 0;
    /// Stops a task: it never starts, or it stops within a few rows.
    virtual void cancel(const std::shared_ptr<DecodeTask> &task) = 0;
    /// The tasks' ranks changed.
    virtual void reorder() = 0;
    /// The bytes of the decoded pictures kept beside the decodes, and of those that could go
    /// for a decode; the answer to `tooFew` too.
    virtual void setKeptBytes(qint64 bytes, qint64 mayGo) = 0;
    /// What the decodes may hold now, kept pictures and blocks included.
    virtual qint64 budget() const = 0;
    /// Whether a decode is under way or waits.
    virtual bool busy() const = 0;
};

/// Worker threads that decode the most wanted pictures first, each once there is memory for it
/// beside the others. Pictures somebody waits for now (ranked below `urgentBelow`) have threads
/// of their own and go first in the memory queue, where decodes ahead give way to them; a
/// decode that cannot fit even alone is not tried.
class DecodeQueue : public DecodeRunner {
public:
    DecodeQueue(DecodeLimits limits, int urgentBelow);
    /// Cancels everything and waits for the workers, which stop within a few rows.
    ~DecodeQueue() override;
    DecodeQueue(const DecodeQueue &) = delete;
    DecodeQueue &operator=(const DecodeQueue &) = delete;

    void setDone(Done done) override;
    void setShort(Short tooFew) override;
    void submit(const std::shared_ptr<DecodeTask> &task) override;
    void cancel(const std::shared_ptr<DecodeTask> &task) override;
    void reorder() override;
    void setKeptBytes(qint64 bytes, qint64 mayGo) override;
    qint64 budget() const override;
    bool busy() const override;

private:
    struct Admitted {
        DecodeTask *task;
        qint64 bytes;
    };

    void work();
    bool isUrgent(const DecodeTask &task) const { return task.rank < m_urgentBelow; }
    std::shared_ptr<DecodeTask> takeStartable();
    /// Waits until the task's memory fits beside the others; false if it was cancelled or can
    /// never fit.
    bool admit(std::unique_lock<std::mutex> &lock, DecodeTask &task, qint64 bytes);
    /// How many bytes more the decodes admitted and this one need than there is room for.
    qint64 shortOf(qint64 bytes, qint64 room) const;
    bool fits(qint64 bytes, qint64 room) const { return shortOf(bytes, room) <= 0; }
    bool isNextToAdmit(const DecodeTask &task) const;
    void makeRoomFor(const DecodeTask &task, qint64 bytes, qint64 room);
    /// The memory decodes may use: what the process may hold less what it holds besides them.
    qint64 roomLocked() const;

    const DecodeLimits m_limits;
    const int m_urgentBelow;
    Done m_done;
    Short m_short;

    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    std::vector<std::shared_ptr<DecodeTask>> m_pending; // waiting for a thread
    std::vector<DecodeTask *> m_admitting;              // waiting for memory
    std::vector<Admitted> m_admitted;                   // decoding
    int m_running = 0;                                  // tasks on a thread
    int m_runningAhead = 0;                             // of those, started as not urgent
    qint64 m_keptBytes = 0;
    qint64 m_keptMayGo = 0;
    bool m_askedForKept = false; // and no answer yet
    mutable qint64 m_room = -1;  // as last read
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

} // namespace show
