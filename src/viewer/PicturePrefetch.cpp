#include "PicturePrefetch.h"

#include "PathCodec.h"

#include <QFile>
#include <QtConcurrent/QtConcurrentRun>

#include <sys/stat.h>

PicturePrefetch::~PicturePrefetch()
{
    // The worker holds nothing of ours but its own copies; let it finish before we go.
    m_future.waitForFinished();
}

PicturePrefetch::FileStamp PicturePrefetch::stampOf(const QString &path)
{
    struct stat st {};
    if (::stat(platform::encodePath(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return FileStamp();
    return {qint64(st.st_size), qint64(st.st_ino), qint64(st.st_mtim.tv_sec),
            qint64(st.st_mtim.tv_nsec)};
}

void PicturePrefetch::start(const QString &path, const platform::DisplaySize &display,
                            const DisplayKey &key)
{
    clear();
    if (path.isEmpty())
        return;
    m_stamp = stampOf(path);
    if (m_stamp.inode < 0)
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
    const bool unchanged = stampOf(path) == m_stamp;
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
