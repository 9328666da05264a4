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
    for (QString &p : m_patterns)
        p = p.trimmed();
    m_listing.trusted = false;
    m_listing.names = namesIn(m_listing.folder);
}

void FileListBox::setPath(const QString &folder)
{
    m_listing = listingOf(folder, m_listing);
}

Listing FileListBox::listingOf(const QString &folder, const Listing &previous) const
{
    const sys::FileStamp stamp = sys::fileStamp(folder);
    if (folder == previous.folder && previous.trusted && stamp.exists() && stamp == previous.stamp)
        return previous;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    Listing listing{folder, namesIn(folder), stamp, false};
    // A change within the same tick of the file system's clock would leave the modification
    // time as it was; only a listing made well after the last change can be trusted.
    listing.trusted = stamp.exists() && qint64(now.tv_sec) - stamp.seconds >= 2;
    return listing;
}

QString FileListBox::item(int i) const
{
    return m_listing.names.value(i);
}

QStringList FileListBox::namesIn(const QString &folder) const
{
    QStringList names;
    if (folder.isEmpty())
        return names;
    for (const sys::DirEntry &entry : sys::readDirectory(folder)) {
        if (entry.kind != sys::EntryKind::File || sys::isHiddenName(entry.name))
            continue;
        for (const QString &p : m_patterns) {
            if (sys::matchesWildcard(entry.name, p)) {
                names << entry.name;
                break;
            }
        }
    }
    sys::sortNames(names);
    return names;
}

} // namespace source
