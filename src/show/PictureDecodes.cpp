#include "show/PictureDecodes.h"

#include "show/FitGeometry.h"
#include "system/FileStamp.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <optional>

namespace show {

struct PictureDecodes::Job {
    QString path;
    DisplayKey key;
    std::shared_ptr<sys::Cancellation> cancel = std::make_shared<sys::Cancellation>();
    QFutureWatcher<imaging::Picture> *watcher = nullptr;
    std::optional<imaging::Picture> result;
};

PictureDecodes::PictureDecodes(QObject *parent)
    : QObject(parent)
{
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
    std::shared_ptr<Job> job = reusable(path, key);
    if (!job)
        job = start(path, key);
    const auto before = m_wishes.find(purpose);
    const std::shared_ptr<Job> old = before != m_wishes.end() ? before->second.job : nullptr;
    m_wishes[purpose] = Wish{job, ready};
    if (old && old != job)
        release(old);
    if (job->result && ready) {
        m_wishes.erase(purpose);
        release(job);
        ready(*job->result);
    }
}

void PictureDecodes::drop(DecodeFor purpose)
{
    const auto wish = m_wishes.find(purpose);
    if (wish == m_wishes.end())
        return;
    const std::shared_ptr<Job> job = wish->second.job;
    m_wishes.erase(wish);
    release(job);
}

void PictureDecodes::dropAll()
{
    while (!m_wishes.empty())
        drop(m_wishes.begin()->first);
}

bool PictureDecodes::waitingFor(DecodeFor purpose) const
{
    const auto wish = m_wishes.find(purpose);
    return wish != m_wishes.end() && !wish->second.job->result;
}

std::shared_ptr<PictureDecodes::Job> PictureDecodes::reusable(const QString &path,
                                                              const DisplayKey &key) const
{
    for (const auto &[purpose, wish] : m_wishes) {
        const Job &job = *wish.job;
        // A picture decoded a while ago stands only for the file as it still is.
        if (job.path == path && job.key == key &&
            (!job.result || job.result->stamp == sys::fileStamp(path)))
            return wish.job;
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
    job->watcher = new QFutureWatcher<imaging::Picture>(this);
    Job *raw = job.get();
    connect(job->watcher, &QFutureWatcherBase::finished, this, [this, raw] { finished(raw); });
    // The worker holds copies and the cancellation only: nothing of ours has to outlive it.
    job->watcher->setFuture(QtConcurrent::run([path, display, cancel = job->cancel] {
        return imaging::loadPictureWith(path, display, cancel.get());
    }));
    return job;
}

void PictureDecodes::finished(Job *job)
{
    job->result = job->watcher->result();
    job->watcher->deleteLater();
    job->watcher = nullptr;
    // Changed on disk while it was decoded (a failure may be a file caught half-written): what
    // waits for it gets the file as it is now.
    const sys::FileStamp &read = job->result->stamp;
    if (read.exists() && !(read == sys::fileStamp(job->path))) {
        for (const auto &[purpose, wish] : std::map<DecodeFor, Wish>(m_wishes)) {
            if (wish.job.get() == job && wish.ready)
                want(purpose, job->path, job->key, wish.ready);
        }
        return;
    }
    std::shared_ptr<Job> keep;
    std::map<DecodeFor, Ready> waiting;
    for (auto wish = m_wishes.begin(); wish != m_wishes.end();) {
        if (wish->second.job.get() == job && wish->second.ready) {
            keep = wish->second.job;
            waiting[wish->first] = wish->second.ready;
            wish = m_wishes.erase(wish);
        } else {
            ++wish;
        }
    }
    for (const auto &[purpose, ready] : waiting)
        ready(*keep->result);
}

void PictureDecodes::release(const std::shared_ptr<Job> &job)
{
    for (const auto &[purpose, wish] : m_wishes) {
        if (wish.job == job)
            return;
    }
    job->cancel->cancel();
    if (job->watcher) {
        job->watcher->disconnect(this);
        job->watcher->deleteLater(); // the worker runs out on its own, within a few rows
        job->watcher = nullptr;
    }
}

} // namespace show
