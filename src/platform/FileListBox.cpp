#include "FileListBox.h"

#include "DirSearch.h"

namespace platform {

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
    reread();
}

void FileListBox::setPath(const QString &folder)
{
    m_path = folder;
    reread();
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
