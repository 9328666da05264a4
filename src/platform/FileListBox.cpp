#include "FileListBox.h"

#include "PathCodec.h"

#include "DirSearch.h"

#include <QFile>

#include <sys/stat.h>

#include <ctime>

namespace platform {

FileListBox::FileListBox(QObject *parent)
    : QObject(parent)
{
}

void FileListBox::setPattern(const QString &pattern)
{
    m_pattern = pattern;
    m_patterns = pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    m_trusted = false;
    for (QString &p : m_patterns)
        p = p.trimmed();
    reread();
}

FileListBox::Stamp FileListBox::stampOf(const QString &folder)
{
    Stamp stamp;
    struct stat st {};
    if (!folder.isEmpty() && ::stat(encodePath(folder).constData(), &st) == 0) {
        stamp = {qint64(st.st_dev), qint64(st.st_ino), qint64(st.st_mtim.tv_sec),
                 qint64(st.st_mtim.tv_nsec)};
    }
    return stamp;
}

void FileListBox::setPath(const QString &folder)
{
    const Stamp stamp = stampOf(folder);
    if (folder == m_path && m_trusted && stamp.inode >= 0 && stamp == m_stamp)
        return;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    m_path = folder;
    reread();
    m_stamp = stamp;
    // A change within the same tick of the file system's clock would leave the modification
    // time as it was; only a listing made well after the last change can be trusted.
    m_trusted = stamp.inode >= 0 && qint64(now.tv_sec) - stamp.seconds >= 2;
}

QString FileListBox::item(int i) const
{
    return i >= 0 && i < m_names.size() ? m_names.at(i) : QString();
}

void FileListBox::reread()
{
    m_names.clear();
    if (m_path.isEmpty())
        return;
    for (const DirEntry &entry : readDirectory(m_path)) {
        if (entry.kind != EntryKind::File || isHiddenName(entry.name))
            continue;
        for (const QString &p : m_patterns) {
            if (matchesWildcard(entry.name, p)) {
                m_names << entry.name;
                break;
            }
        }
    }
    sortNames(m_names);
}

} // namespace platform
