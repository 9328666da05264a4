#include "show/PictureCache.h"

#include "imaging/DecoderMemory.h"
#include "show/FitGeometry.h"
#include "system/FileStamp.h"

#include <QMetaObject>

#include <algorithm>
#include <climits>

namespace show {

namespace {

// Ranks: what somebody waits for, then the picks ahead, then the pictures kept for a step back.
constexpr int kScreenRank = 0;
constexpr int kTickRank = 1;
constexpr int kAheadRank = PictureCache::kUrgentBelow;
constexpr int kKeptRank = 1000;
constexpr int kUnwanted = INT_MAX;
// How many of the last decodes tell how long one takes: the longest of them, so that a few small
// pictures among large ones do not make the show think it is fast.
constexpr std::size_t kRecentDecodes = 4;
// A show between pictures decodes again within an interval or two; one that went quiet for this
// long (stopped, paused, given up) has no use for memory kept for its next decode.
constexpr int kIdleReleaseMs = 3000;
// The pictures kept for a step back take at most this share of what decodes may use.
constexpr int kKeptShare = 2;
// And they leave room for a decode ahead on every core, and this beside them: the next picture
// is wanted before an old one.
constexpr qint64 kKeptSlackBytes = 16LL * 1024 * 1024;

qint64 bytesOf(const imaging::Picture &picture)
{
    return picture.image.sizeInBytes();
}

} // namespace

imaging::DisplaySize displaySizeFor(const DisplayKey &key)
{
    // Plain values only: the size is asked for on a decoding thread.
    return [key](QSize picture) {
        const QRect fitted =
            fittedRect(picture, key.innerWidth, key.innerHeight, key.twipsPerPixel);
        return (QSizeF(fitted.size()) * key.devicePixelRatio).toSize();
    };
}

PictureCache::PictureCache(QObject *parent)
    : PictureCache(std::make_unique<DecodeQueue>(DecodeLimits::ofMachine(), kUrgentBelow),
                   DecodeLimits::ofMachine().cores, parent)
{
}

PictureCache::PictureCache(std::unique_ptr<DecodeRunner> runner, int cores, QObject *parent)
    : QObject(parent)
    , m_cores(std::max(1, cores))
    , m_queue(std::move(runner))
{
    m_packer.setMaxThreadCount(1);
    m_idle.setSingleShot(true);
    m_idle.setInterval(kIdleReleaseMs);
    connect(&m_idle, &QTimer::timeout, this, [this] {
        // A decode given up still runs out on its worker, and leaves its memory when it ends.
        if (m_queue->busy())
            m_idle.start();
        else
            imaging::releaseDecoderMemory();
    });
    m_queue->setShort([this](qint64 bytes) {
        QMetaObject::invokeMethod(
            this, [this, bytes] { giveUpKept(bytes); }, Qt::QueuedConnection);
    });
    m_queue->setDone([this](const std::shared_ptr<DecodeTask> &task) {
        // Posted to this object: a result for a cache already gone is never delivered.
        QMetaObject::invokeMethod(
            this,
            [this, weak = std::weak_ptr<DecodeTask>(task)] {
                if (const std::shared_ptr<DecodeTask> done = weak.lock())
                    finished(done);
            },
            Qt::QueuedConnection);
    });
}

PictureCache::~PictureCache()
{
    m_queue.reset(); // before the entries: no worker reports to a half-destroyed cache
}

void PictureCache::fetch(Waiter waiter, const QString &path, const DisplayKey &key, Ready ready)
{
    std::optional<Wait> &wait = m_waits[int(waiter)];
    wait.reset();
    if (path.isEmpty()) {
        replan();
        ready(imaging::Picture());
        return;
    }
    const std::shared_ptr<Entry> entry = entryFor(path, key);
    if (entry->picture && !isCurrent(*entry))
        entry->picture.reset(); // changed on disk since: decoded afresh
    wait = Wait{entry, std::move(ready), ++m_serial};
    replan();
    if (entry->picture) {
        entry->picture->image = imaging::unpackedImage(entry->picture->image);
        const Ready now = std::exchange(wait, std::nullopt)->ready;
        now(*entry->picture);
    }
}

void PictureCache::drop(Waiter waiter)
{
    m_waits[int(waiter)].reset();
    replan();
}

bool PictureCache::waitingFor(Waiter waiter) const
{
    return m_waits[int(waiter)].has_value();
}

void PictureCache::plan(const Plan &plan, const DisplayKey &key)
{
    m_plan = plan;
    m_planKey = key;
    replan();
    m_idle.start();
}

imaging::Picture PictureCache::nearest(const QString &path, const DisplayKey &key) const
{
    const std::shared_ptr<Entry> entry = keptFor(path, key);
    if (!entry || !isCurrent(*entry))
        return imaging::Picture();
    imaging::Picture picture = *entry->picture;
    picture.image = imaging::unpackedImage(picture.image);
    return picture;
}

int PictureCache::decodeMs() const
{
    return m_recentMs.empty() ? 0 : *std::max_element(m_recentMs.begin(), m_recentMs.end());
}

void PictureCache::publishKept()
{
    // All but the picture on screen, whose memory the window holds anyway, may go.
    qint64 mayGo = 0;
    for (const std::shared_ptr<Entry> &entry : m_entries) {
        if (entry->rank > kKeptRank && entry->rank != kUnwanted && entry->picture)
            mayGo += bytesOf(*entry->picture);
    }
    m_queue->setKeptBytes(keptBytes(), mayGo);
}

qint64 PictureCache::keptBytes() const
{
    qint64 bytes = 0;
    for (const std::shared_ptr<Entry> &entry : m_entries)
        bytes += entry->picture ? bytesOf(*entry->picture) : 0;
    return bytes;
}

std::shared_ptr<PictureCache::Entry> PictureCache::entryFor(const QString &path,
                                                            const DisplayKey &key)
{
    for (const std::shared_ptr<Entry> &entry : m_entries) {
        if (entry->path == path && entry->key == key)
            return entry;
    }
    auto entry = std::make_shared<Entry>();
    entry->path = path;
    entry->key = key;
    entry->rank = kUnwanted;
    m_entries.push_back(entry);
    return entry;
}

std::shared_ptr<PictureCache::Entry> PictureCache::keptFor(const QString &path,
                                                           const DisplayKey &key) const
{
    // The one for this display, else the largest for another.
    std::shared_ptr<Entry> best;
    for (const std::shared_ptr<Entry> &entry : m_entries) {
        if (entry->path != path || !entry->picture)
            continue;
        if (entry->key == key)
            return entry;
        if (!best || entry->picture->image.width() > best->picture->image.width())
            best = entry;
    }
    return best;
}

bool PictureCache::isCurrent(const Entry &entry)
{
    return entry.picture->stamp == sys::fileStamp(entry.path);
}

void PictureCache::replan()
{
    for (const std::shared_ptr<Entry> &entry : m_entries)
        entry->rank = kUnwanted;
    if (m_waits[int(Waiter::Screen)])
        rank(m_waits[int(Waiter::Screen)]->entry, kScreenRank);
    if (m_waits[int(Waiter::Tick)])
        rank(m_waits[int(Waiter::Tick)]->entry, kTickRank);
    for (int i = 0; i < m_plan.ahead.size(); ++i) {
        if (!m_plan.ahead.at(i).isEmpty())
            rank(entryFor(m_plan.ahead.at(i), m_planKey), kAheadRank + i);
    }
    for (int i = 0; i < m_plan.kept.size(); ++i) {
        // Kept as decoded, for whatever display: a step shows it at once, scaled if need be.
        if (const std::shared_ptr<Entry> kept = keptFor(m_plan.kept.at(i), m_planKey))
            rank(kept, kKeptRank + i);
    }
    keepWithinMemory();
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        Entry &entry = **it;
        if (entry.rank != kUnwanted) {
            if (entry.task)
                entry.task->rank = entry.rank;
            else if (!entry.picture)
                decode(entry);
            else if (entry.rank > kKeptRank) // only kept for a step back, until then packed
                pack(*it);
            ++it;
            continue;
        }
        if (entry.task)
            m_queue->cancel(entry.task);
        it = m_entries.erase(it);
    }
    publishKept();
    m_queue->reorder();
}

void PictureCache::rank(const std::shared_ptr<Entry> &entry, int rank)
{
    entry->rank = std::min(entry->rank, rank);
}

void PictureCache::keepWithinMemory()
{
    // The history goes, the oldest first, so that as many decodes as fit beside each other
    // at all still fit beside it. The picture on screen stays: the window holds it anyway.
    const qint64 budget = m_queue->budget();
    const qint64 together =
        std::clamp<qint64>(budget / std::max<qint64>(1, m_recentBytes), 1, m_cores);
    const qint64 allowed =
        std::min(budget / kKeptShare, budget - together * m_recentBytes - kKeptSlackBytes);
    std::vector<Entry *> kept;
    qint64 bytes = 0;
    for (const std::shared_ptr<Entry> &entry : m_entries) {
        if (entry->rank > kKeptRank && entry->rank != kUnwanted && entry->picture) {
            kept.push_back(entry.get());
            bytes += bytesOf(*entry->picture);
        }
    }
    std::sort(kept.begin(), kept.end(),
              [](const Entry *a, const Entry *b) { return a->rank > b->rank; });
    for (Entry *entry : kept) {
        if (bytes <= allowed)
            break;
        bytes -= bytesOf(*entry->picture);
        entry->rank = kUnwanted;
    }
}

void PictureCache::remember(const DecodeTask &task)
{
    m_recentMs.push_back(task.ms);
    m_recentDecodeBytes.push_back(task.bytes);
    if (m_recentMs.size() > kRecentDecodes) {
        m_recentMs.pop_front();
        m_recentDecodeBytes.pop_front();
    }
    m_recentBytes = *std::max_element(m_recentDecodeBytes.begin(), m_recentDecodeBytes.end());
}

void PictureCache::giveUpKept(qint64 bytes)
{
    // The history, the oldest first; not the picture on screen, whose memory the window holds.
    std::vector<std::shared_ptr<Entry>> history;
    for (const std::shared_ptr<Entry> &entry : m_entries) {
        if (entry->rank > kKeptRank && entry->rank != kUnwanted && entry->picture)
            history.push_back(entry);
    }
    std::sort(history.begin(), history.end(),
              [](const auto &a, const auto &b) { return a->rank > b->rank; });
    qint64 freed = 0;
    for (const std::shared_ptr<Entry> &entry : history) {
        if (freed >= bytes)
            break;
        freed += bytesOf(*entry->picture);
        m_entries.erase(std::find(m_entries.begin(), m_entries.end(), entry));
    }
    publishKept();
}

void PictureCache::decode(Entry &entry)
{
    static quint64 serial = 0;
    auto task = std::make_shared<DecodeTask>();
    task->path = entry.path;
    task->display = displaySizeFor(entry.key);
    task->profile = entry.key.profile;
    // The window's pixels three times over: the decoder's own output before its last scaling,
    // and the picture.
    const qreal side = entry.key.devicePixelRatio / std::max(1.0f, entry.key.twipsPerPixel);
    task->pictureBytes =
        qint64(3 * 4 * (entry.key.innerWidth * side) * (entry.key.innerHeight * side));
    task->rank = entry.rank;
    task->serial = ++serial;
    entry.task = task;
    m_queue->submit(task);
}

void PictureCache::pack(const std::shared_ptr<Entry> &entry)
{
    // The conversion, and the fresh memory of a history still growing, are no work for the
    // thread the window answers on.
    const QImage image = entry->picture->image;
    if (entry->packing || image.format() != QImage::Format_RGB32)
        return;
    entry->packing = true;
    m_packer.start([this, weak = std::weak_ptr<Entry>(entry), image] {
        const QImage packed = imaging::packedImage(image);
        QMetaObject::invokeMethod(
            this,
            [this, weak, key = image.cacheKey(), packed] {
                const std::shared_ptr<Entry> entry = weak.lock();
                if (!entry)
                    return; // not kept any more
                entry->packing = false;
                // Unless it was stepped to meanwhile, or decoded afresh.
                if (entry->rank > kKeptRank && entry->picture &&
                    entry->picture->image.cacheKey() == key) {
                    entry->picture->image = packed;
                    publishKept();
                }
            },
            Qt::QueuedConnection);
    });
}

void PictureCache::finished(const std::shared_ptr<DecodeTask> &task)
{
    const auto found =
        std::find_if(m_entries.begin(), m_entries.end(),
                     [&](const std::shared_ptr<Entry> &e) { return e->task == task; });
    if (found == m_entries.end())
        return; // nobody wants it any more
    const std::shared_ptr<Entry> entry = *found;
    entry->task.reset();
    m_idle.start();
    if (task->preempted) { // made way for a picture somebody waited for: still wanted
        decode(*entry);
        return;
    }
    if (task->decoded)
        remember(*task);
    // Changed on disk while it was decoded (a failure may be a file caught half-written): the
    // file as it is now is decoded.
    const sys::FileStamp &read = task->picture.stamp;
    if (read.exists() && !(read == sys::fileStamp(entry->path))) {
        decode(*entry);
        return;
    }
    entry->picture = task->picture; // the pixels are shared, not copied
    std::vector<quint64> waiting;
    for (const std::optional<Wait> &wait : m_waits) {
        if (wait && wait->entry == entry)
            waiting.push_back(wait->serial);
    }
    for (const quint64 serial : waiting) {
        // One that an earlier one dropped or replaced never comes.
        for (std::optional<Wait> &wait : m_waits) {
            if (wait && wait->serial == serial) {
                const Ready ready = std::exchange(wait, std::nullopt)->ready;
                ready(*entry->picture);
                break;
            }
        }
    }
    // It stays, whoever waited for it, until the show says what it wants next.
    publishKept();
}

} // namespace show
