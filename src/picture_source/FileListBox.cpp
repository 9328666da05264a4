#include "picture_source/FileListBox.h"

#include "system/DirSearch.h"

#include <QFile>

#include <ctime>

namespace source {

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

void FileListBox::setPath(const QString &folder)
{
    const sys::FileStamp stamp = sys::fileStamp(folder);
    if (folder == m_path && m_trusted && stamp.exists() && stamp == m_stamp)
        return;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    m_path = folder;
    reread();
    m_stamp = stamp;
    // A change within the same tick of the file system's clock would leave the modification
    // time as it was; only a listing made well after the last change can be trusted.
    m_trusted = stamp.exists() && qint64(now.tv_sec) - stamp.seconds >= 2;
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
    for (const sys::DirEntry &entry : sys::readDirectory(m_path)) {
        if (entry.kind != sys::EntryKind::File || sys::isHiddenName(entry.name))
            continue;
        for (const QString &p : m_patterns) {
            if (sys::matchesWildcard(entry.name, p)) {
                m_names << entry.name;
                break;
            }
        }
    }
    sys::sortNames(m_names);
}

} // namespace source
