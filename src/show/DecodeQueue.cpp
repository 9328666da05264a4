#include "show/DecodeQueue.h"

#include "imaging/DecoderMemory.h"
#include "show/Logging.h"
#include "system/FileStamp.h"
#include "system/Memory.h"
#include "system/PathCodec.h"

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>

namespace show {

namespace {

// Threads beyond one a core, so that a picture somebody waits for now (a step, the tick's own)
// never waits for a thread behind the pictures decoding ahead, nor behind a cancelled one still
// running out its read.
constexpr int kSpareThreads = 2;
// Left to what the program allocates besides the large blocks the queue counts: the window's
// buffers, the toolkit, the decoder's small pools.
constexpr qint64 kMarginBytes = 48LL * 1024 * 1024;

qint64 megabytes(qint64 bytes)
{
    return bytes / (1024 * 1024);
}

bool before(const DecodeTask &a, const DecodeTask &b)
{
    const int ra = a.rank, rb = b.rank;
    return ra != rb ? ra < rb : a.serial < b.serial;
}

} // namespace

DecodeLimits DecodeLimits::ofMachine()
{
    DecodeLimits limits;
    limits.cores = std::max(1, QThread::idealThreadCount());
    limits.limitBytes = sys::memoryLimitBytes;
    limits.heldBytes = sys::residentBytes;
    return limits;
}

DecodeQueue::DecodeQueue(DecodeLimits limits, int urgentBelow)
    : m_limits(std::move(limits))
    , m_urgentBelow(urgentBelow)
{
    const int threads = std::max(1, m_limits.cores) + kSpareThreads;
    for (int i = 0; i < threads; ++i)
        m_threads.emplace_back([this] { work(); });
}

DecodeQueue::~DecodeQueue()
{
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_stopping = true;
        m_pending.clear();
        for (DecodeTask *task : m_admitting)
            task->cancel.cancel();
        for (const Admitted &admitted : m_admitted)
            admitted.task->cancel.cancel();
    }
    m_wake.notify_all();
    for (std::thread &thread : m_threads)
        thread.join();
}

void DecodeQueue::setDone(Done done)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    m_done = std::move(done);
}

void DecodeQueue::setShort(Short tooFew)
{
    const std::lock_guard<std::mutex> lock(m_lock);
    m_short = std::move(tooFew);
}

void DecodeQueue::submit(const std::shared_ptr<DecodeTask> &task)
{
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_pending.push_back(task);
    }
    m_wake.notify_all();
}

void DecodeQueue::cancel(const std::shared_ptr<DecodeTask> &task)
{
    Done done;
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        task->cancel.cancel();
        const auto pending = std::find(m_pending.begin(), m_pending.end(), task);
        if (pending != m_pending.end()) { // never started: it ends here
            m_pending.erase(pending);
            done = m_done;
        }
    }
    m_wake.notify_all(); // one waiting for memory leaves the queue
    if (done)
        done(task);
}

void DecodeQueue::reorder()
{
    m_wake.notify_all();
}

void DecodeQueue::setKeptBytes(qint64 bytes, qint64 mayGo)
{
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_keptBytes = bytes;
        m_keptMayGo = mayGo;
        m_askedForKept = false;
    }
    m_wake.notify_all();
}

qint64 DecodeQueue::budget() const
{
    // As the last decode to start found it: asked for often, and read afresh when it counts.
    const std::lock_guard<std::mutex> lock(m_lock);
    if (m_room < 0)
        m_room = roomLocked();
    return std::min(m_limits.ceilingBytes, m_room);
}

bool DecodeQueue::busy() const
{
    const std::lock_guard<std::mutex> lock(m_lock);
    return m_running > 0 || !m_pending.empty();
}

qint64 DecodeQueue::roomLocked() const
{
    if (!m_limits.limitBytes || !m_limits.heldBytes)
        return m_room = m_limits.ceilingBytes;
    // What the process holds beyond what the decodes and their pictures hold (in the decoders'
    // blocks, pictures kept included) is not ours to use; the rest of what it may hold is.
    const qint64 ours = qint64(imaging::decoderMemoryInUse() + imaging::decoderMemoryKept());
    const qint64 besides = std::max<qint64>(0, m_limits.heldBytes() - ours);
    return m_room = m_limits.limitBytes() - besides - kMarginBytes;
}

std::shared_ptr<DecodeTask> DecodeQueue::takeStartable()
{
    // Decodes ahead take a core each at the most; the spare threads are for those waited for.
    auto best = m_pending.end();
    for (auto it = m_pending.begin(); it != m_pending.end(); ++it) {
        const bool startable = isUrgent(**it) || m_runningAhead < std::max(1, m_limits.cores);
        if (startable && (best == m_pending.end() || before(**it, **best)))
            best = it;
    }
    if (best == m_pending.end())
        return nullptr;
    std::shared_ptr<DecodeTask> task = *best;
    m_pending.erase(best);
    return task;
}

void DecodeQueue::work()
{
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        std::shared_ptr<DecodeTask> task;
        m_wake.wait(lock, [&] { return m_stopping || (task = takeStartable()); });
        if (m_stopping)
            return;
        const bool ahead = !isUrgent(*task);
        ++m_running;
        m_runningAhead += ahead;
        lock.unlock();
        // The header says how much the decode will hold: the file, and a progressive one's
        // coefficients. The load keeps the file open and its header read while it waits.
        auto load = std::make_unique<imaging::PictureLoad>(task->path, task->display, &task->cancel,
                                                           task->profile);
        const qint64 bytes = task->cancel.isCancelled() ? 0 : load->memory() + task->pictureBytes;
        task->bytes = bytes;
        lock.lock();
        const bool admitted = admit(lock, *task, bytes);
        lock.unlock();
        if (admitted) {
            QElapsedTimer clock;
            clock.start();
            task->picture = imaging::loadPictureWith(*load);
            task->ms = int(clock.elapsed());
            task->decoded = !task->cancel.isCancelled();
        }
        load.reset(); // its memory is free before the next admission counts it
        lock.lock();
        if (admitted) {
            m_admitted.erase(std::find_if(m_admitted.begin(), m_admitted.end(),
                                          [&](const Admitted &a) { return a.task == task.get(); }));
        }
        --m_running;
        m_runningAhead -= ahead;
        m_wake.notify_all(); // memory and a thread are free
        const Done done = m_done;
        lock.unlock();
        if (done)
            done(task);
        lock.lock();
    }
}

bool DecodeQueue::admit(std::unique_lock<std::mutex> &lock, DecodeTask &task, qint64 bytes)
{
    m_admitting.push_back(&task);
    bool never = false;
    for (;;) {
        if (task.cancel.isCancelled() || m_stopping)
            break;
        if (isNextToAdmit(task)) {
            qint64 room = roomLocked();
            if (!fits(bytes, room) && imaging::decoderMemoryKept() > 0) {
                // Blocks kept for the next decodes give way to a decode that needs the memory.
                imaging::releaseDecoderMemory();
                room = roomLocked();
            }
            if (fits(bytes, room))
                break;
            if (isUrgent(task))
                makeRoomFor(task, bytes, room);
            // The pictures kept for a step back give way to any picture about to be shown, where
            // their going is enough or no other decode's end can make the room. With none of
            // them left to go and no other decode to end, the room there is now is all there
            // will be.
            const qint64 shortBy = shortOf(bytes, room);
            if (m_keptMayGo > 0 && !m_askedForKept && m_short &&
                (m_keptMayGo >= shortBy || m_admitted.empty())) {
                m_askedForKept = true;
                m_short(std::min(m_keptMayGo, shortBy));
            } else if (!m_askedForKept && m_admitted.empty()) {
                never = true;
                qCWarning(logging::show).noquote()
                    << "cannot show" << sys::displayText(task.path) << "- its decode needs"
                    << megabytes(bytes) << "MB, and the program may use"
                    << megabytes(room - m_keptBytes) << "MB more";
                break;
            }
        }
        m_wake.wait(lock);
    }
    m_admitting.erase(std::find(m_admitting.begin(), m_admitting.end(), &task));
    m_wake.notify_all(); // another may be next now
    if (never) {         // shown as a picture that does not load, and the show goes on
        task.picture = imaging::Picture();
        task.picture.stamp = sys::fileStamp(task.path); // not tried again while unchanged
    }
    if (never || task.cancel.isCancelled() || m_stopping)
        return false;
    m_admitted.push_back({&task, bytes});
    return true;
}

qint64 DecodeQueue::shortOf(qint64 bytes, qint64 room) const
{
    qint64 taken = m_keptBytes + qint64(imaging::decoderMemoryKept());
    for (const Admitted &admitted : m_admitted)
        taken += admitted.bytes;
    // One decode always runs when it fits at all, above the ceiling if need be.
    const qint64 limit = m_admitted.empty() ? room : std::min(m_limits.ceilingBytes, room);
    return taken + bytes - limit;
}

bool DecodeQueue::isNextToAdmit(const DecodeTask &task) const
{
    return std::none_of(m_admitting.begin(), m_admitting.end(), [&](const DecodeTask *other) {
        return other != &task && !other->cancel.isCancelled() && before(*other, task);
    });
}

void DecodeQueue::makeRoomFor(const DecodeTask &task, qint64 bytes, qint64 room)
{
    // The least wanted decodes ahead give up their memory, and are decoded again later; the
    // pictures only kept go before them, and are not counted here.
    std::vector<Admitted> ahead;
    qint64 taken = 0;
    for (const Admitted &admitted : m_admitted) {
        if (admitted.task->cancel.isCancelled())
            continue; // leaving already
        taken += admitted.bytes;
        if (!isUrgent(*admitted.task) && before(task, *admitted.task))
            ahead.push_back(admitted);
    }
    std::sort(ahead.begin(), ahead.end(),
              [](const Admitted &a, const Admitted &b) { return before(*b.task, *a.task); });
    const qint64 limit = std::min(m_limits.ceilingBytes, room);
    for (const Admitted &admitted : ahead) {
        if (taken + bytes <= limit)
            break;
        admitted.task->preempted = true;
        admitted.task->cancel.cancel();
        taken -= admitted.bytes;
    }
}

} // namespace show
