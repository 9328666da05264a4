#include "viewer/PicturePrefetch.h"

#include <QtConcurrent/QtConcurrentRun>

PicturePrefetch::~PicturePrefetch()
{
    // The worker holds nothing of ours but its own copies; let it finish before we go.
    m_future.waitForFinished();
}

void PicturePrefetch::start(const QString &path, const platform::DisplaySize &display,
                            const DisplayKey &key)
{
    clear();
    if (path.isEmpty())
        return;
    m_stamp = platform::fileStamp(path);
    if (!m_stamp.regular)
        return;
    m_path = path;
    m_key = key;
    m_future = QtConcurrent::run([path, display] { return platform::loadPicture(path, display); });
}

bool PicturePrefetch::take(const QString &path, const DisplayKey &key, platform::Picture &picture)
{
    if (m_path.isEmpty() || path != m_path || !(key == m_key)) {
        clear();
        return false;
    }
    const bool unchanged = platform::fileStamp(path) == m_stamp;
    m_future.waitForFinished();
    if (unchanged)
        picture = m_future.result();
    clear();
    return unchanged;
}

void PicturePrefetch::clear()
{
    m_path.clear();
    m_future = QFuture<platform::Picture>();
}
