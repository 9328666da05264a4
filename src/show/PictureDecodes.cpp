#include "show/PictureDecodes.h"

#include "imaging/DecoderMemory.h"
#include "show/FitGeometry.h"
#include "system/FileStamp.h"

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

namespace show {

namespace {

// Threads beyond one a core, so that a picture the user waits for now (a step, a sharper one)
// never queues behind the pictures decoding ahead.
constexpr int kSpareThreads = 2;
// How many of the last decodes tell how long one takes: the longest of them, so that a few small
// pictures among large ones do not make the show think it is fast.
constexpr std::size_t kRecentDecodes = 4;
// Pictures decoded and dropped unshown, kept in case they are wanted again: a pause drops the
// pictures ahead, and the resumed show draws the same ones. Each is only of the display's size.
constexpr std::size_t kKeptPictures = 4;
// A show between pictures decodes again within an interval or two; one that went quiet for this
// long (stopped, paused, given up) has no use for memory kept for its next decode.
constexpr int kIdleReleaseMs = 3000;
// How often a decode waiting for memory looks whether it is still wanted.
constexpr std::chrono::milliseconds kGatePoll{10};

// What a worker shares with the decodes: whether its picture is still wanted, and whether
// somebody waits for it now.
struct Ticket {
    sys::Cancellation cancel;
    std::atomic<bool> urgent{false};
    quint64 asked = 0; // earlier asked, earlier let in
};

struct Decoded {
    imaging::Picture picture;
    int ms = 0; // the decode alone, without its wait for a thread or for memory
};

} // namespace

/// The working memory of the decodes that run. A decode waits for room beside the others, but
/// never when none runs. A picture somebody waits for now goes before those decoded ahead, and
/// among them the earlier asked goes first.
class MemoryGate {
public:
    explicit MemoryGate(qint64 budget)
        : m_budget(budget)
    {
    }

    /// Holds a decode's memory while it lives, once there is room; holds none when the decode
    /// was cancelled while it waited.
    class Pass {
    public:
        Pass(MemoryGate &gate, const Ticket &ticket, qint64 bytes)
            : m_gate(gate)
            , m_bytes(gate.enter(ticket, bytes) ? bytes : -1)
        {
        }
        ~Pass()
        {
            if (m_bytes >= 0)
                m_gate.leave(m_bytes);
        }
        Pass(const Pass &) = delete;
        Pass &operator=(const Pass &) = delete;

    private:
        MemoryGate &m_gate;
        const qint64 m_bytes;
    };

private:
    /// Blocks until `bytes` may be taken; false when the decode was cancelled meanwhile.
    bool enter(const Ticket &ticket, qint64 bytes)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_waiting.push_back(&ticket);
        while (!ticket.cancel.isCancelled() &&
               !(isNext(ticket) && (m_running == 0 || m_taken + bytes <= m_budget)))
            m_room.wait_for(lock, kGatePoll); // the cancellation comes without a notification
        m_waiting.erase(std::find(m_waiting.begin(), m_waiting.end(), &ticket));
        m_room.notify_all(); // another may be next now
        if (ticket.cancel.isCancelled())
            return false;
        ++m_running;
        m_taken += bytes;
        return true;
    }

    void leave(qint64 bytes)
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        --m_running;
        m_taken -= bytes;
        m_room.notify_all();
    }

    bool isNext(const Ticket &ticket) const
    {
        const auto before = [](const Ticket &a, const Ticket &b) {
            const bool urgent = a.urgent.load();
            return urgent != b.urgent.load() ? urgent : a.asked < b.asked;
        };
        return std::none_of(m_waiting.begin(), m_waiting.end(), [&](const Ticket *other) {
            return !other->cancel.isCancelled() && before(*other, ticket);
        });
    }

    const qint64 m_budget;
    std::mutex m_lock;
    std::condition_variable m_room;
    std::vector<const Ticket *> m_waiting;
    int m_running = 0;
    qint64 m_taken = 0;
};

namespace {

// On a worker: waits for memory, then decodes. A decode cancelled meanwhile still goes to the
// loader, which gives it up at once, as one cancelled while it waited for a thread.
Decoded decodeOnWorker(const QString &path, const imaging::DisplaySize &display,
                       const Ticket &ticket, MemoryGate &gate)
{
    const MemoryGate::Pass pass(gate, ticket,
                                ticket.cancel.isCancelled() ? 0 : imaging::loadMemory(path));
    QElapsedTimer clock;
    clock.start();
    Decoded decoded{imaging::loadPictureWith(path, display, &ticket.cancel), 0};
    decoded.ms = int(clock.elapsed());
    return decoded;
}

} // namespace

struct PictureDecodes::Job {
    QString path;
    DisplayKey key;
    std::shared_ptr<Ticket> ticket = std::make_shared<Ticket>();
    QFutureWatcher<Decoded> *watcher = nullptr;
    std::optional<imaging::Picture> result;
    bool shown = false; // given to somebody waiting for it
};

DecodeLimits DecodeLimits::ofMachine()
{
    return {std::max(1, QThread::idealThreadCount()), 600LL * 1024 * 1024};
}

PictureDecodes::PictureDecodes(DecodeLimits limits, QObject *parent)
    : QObject(parent)
    , m_limits(limits)
    , m_gate(std::make_shared<MemoryGate>(limits.memoryBytes))
{
    m_limits.cores = std::max(1, m_limits.cores);
    m_pool.setMaxThreadCount(m_limits.cores + kSpareThreads);
    m_idle.setSingleShot(true);
    m_idle.setInterval(kIdleReleaseMs);
    connect(&m_idle, &QTimer::timeout, this, [this] {
        // A decode given up still runs out on its worker, and leaves its memory when it ends.
        if (m_pool.activeThreadCount() > 0)
            m_idle.start();
        else
            imaging::releaseDecoderMemory();
    });
}

imaging::DisplaySize displaySizeFor(const DisplayKey &key)
{
    // Plain values only: the size is asked for on a decoding thread.
    return [key](QSize picture) {
        const QRect fitted =
            fittedRect(picture, key.innerWidth, key.innerHeight, key.twipsPerPixel);
        return (QSizeF(fitted.size()) * key.devicePixelRatio).toSize();
    };
}

PictureDecodes::~PictureDecodes()
{
    dropAll();
}

void PictureDecodes::want(DecodeFor purpose, const QString &path, const DisplayKey &key,
                          Ready ready)
{
    replace(purpose, {path}, key, ready);
    const auto wish = m_wishes.find(purpose);
    const std::shared_ptr<Job> job = wish->second.job;
    if (job->result && ready) {
        m_wishes.erase(wish);
        job->shown = true;
        release(job);
        ready(*job->result);
    }
}

void PictureDecodes::wantAhead(const QStringList &paths, const DisplayKey &key)
{
    replace(DecodeFor::Ahead, paths, key, {});
}

void PictureDecodes::replace(DecodeFor purpose, const QStringList &paths, const DisplayKey &key,
                             const Ready &ready)
{
    // The new wishes come first, so that a decode wanted before and again is taken over, not
    // stopped and started anew.
    const std::size_t before = m_wishes.count(purpose);
    for (const QString &path : paths) {
        std::shared_ptr<Job> job = reusable(path, key);
        if (!job)
            job = start(path, key);
        if (ready)
            job->ticket->urgent = true;
        m_wishes.emplace(purpose, Wish{job, ready}); // after those of the same purpose
    }
    auto old = m_wishes.lower_bound(purpose);
    for (std::size_t i = 0; i < before; ++i) {
        const std::shared_ptr<Job> job = old->second.job;
        old = m_wishes.erase(old);
        release(job);
    }
}

void PictureDecodes::drop(DecodeFor purpose)
{
    replace(purpose, {}, {}, {});
}

void PictureDecodes::dropAll()
{
    while (!m_wishes.empty())
        drop(m_wishes.begin()->first);
    m_done.clear(); // their pixels go to the memory kept for the next decodes, until idle
    m_idle.start();
}

bool PictureDecodes::waitingFor(DecodeFor purpose) const
{
    const auto [first, last] = m_wishes.equal_range(purpose);
    return std::any_of(first, last, [](const auto &wish) { return !wish.second.job->result; });
}

int PictureDecodes::decodeMs() const
{
    return m_recentMs.empty() ? 0 : *std::max_element(m_recentMs.begin(), m_recentMs.end());
}

std::shared_ptr<PictureDecodes::Job> PictureDecodes::reusable(const QString &path,
                                                              const DisplayKey &key)
{
    // A picture decoded a while ago stands only for the file as it still is.
    const auto serves = [&](const Job &job) {
        return job.path == path && job.key == key &&
               (!job.result || job.result->stamp == sys::fileStamp(path));
    };
    for (const auto &[purpose, wish] : m_wishes) {
        if (serves(*wish.job))
            return wish.job;
    }
    for (auto done = m_done.begin(); done != m_done.end(); ++done) {
        if (serves(**done)) {
            const std::shared_ptr<Job> job = *done;
            m_done.erase(done); // wanted again: kept by its wish from now
            return job;
        }
    }
    return nullptr;
}

std::shared_ptr<PictureDecodes::Job> PictureDecodes::start(const QString &path,
                                                           const DisplayKey &key)
{
    const imaging::DisplaySize display = displaySizeFor(key);
    auto job = std::make_shared<Job>();
    job->path = path;
    job->key = key;
    job->ticket->asked = ++m_asked;
    job->watcher = new QFutureWatcher<Decoded>(this);
    Job *raw = job.get();
    connect(job->watcher, &QFutureWatcherBase::finished, this, [this, raw] { finished(raw); });
    // The worker holds copies and shared parts only: nothing of ours has to outlive it.
    job->watcher->setFuture(
        QtConcurrent::run(&m_pool, [path, display, ticket = job->ticket, gate = m_gate] {
            return decodeOnWorker(path, display, *ticket, *gate);
        }));
    return job;
}

void PictureDecodes::finished(Job *job)
{
    const Decoded decoded = job->watcher->result();
    m_idle.start();
    job->result = decoded.picture; // the pixels are shared, not copied
    job->watcher->deleteLater();
    job->watcher = nullptr;
    m_recentMs.push_back(decoded.ms);
    if (m_recentMs.size() > kRecentDecodes)
        m_recentMs.pop_front();
    // Changed on disk while it was decoded (a failure may be a file caught half-written): what
    // waits for it gets the file as it is now.
    const sys::FileStamp &read = job->result->stamp;
    if (read.exists() && !(read == sys::fileStamp(job->path))) {
        for (const auto &[purpose, wish] :
             std::vector<std::pair<DecodeFor, Wish>>(m_wishes.begin(), m_wishes.end())) {
            if (wish.job.get() == job && wish.ready)
                want(purpose, job->path, job->key, wish.ready);
        }
        return;
    }
    std::shared_ptr<Job> keep;
    std::vector<Ready> waiting;
    for (auto wish = m_wishes.begin(); wish != m_wishes.end();) {
        if (wish->second.job.get() == job && wish->second.ready) {
            keep = wish->second.job;
            waiting.push_back(wish->second.ready);
            wish = m_wishes.erase(wish);
        } else {
            ++wish;
        }
    }
    if (keep)
        keep->shown = true;
    for (const Ready &ready : waiting)
        ready(*keep->result);
}

void PictureDecodes::release(const std::shared_ptr<Job> &job)
{
    for (const auto &[purpose, wish] : m_wishes) {
        if (wish.job == job)
            return;
    }
    if (job->result && !job->shown) {
        m_done.push_back(job);
        if (m_done.size() > kKeptPictures)
            m_done.pop_front();
        return;
    }
    job->ticket->cancel.cancel();
    m_idle.start();
    if (job->watcher) {
        job->watcher->disconnect(this);
        job->watcher->deleteLater(); // the worker runs out on its own, within a few rows
        job->watcher = nullptr;
    }
}

} // namespace show
