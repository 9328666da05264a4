#include "system/DirSearch.h"

#include "system/PathCodec.h"
#include "system/Paths.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

namespace sys {

namespace {

EntryKind kindOfMode(mode_t mode)
{
    if (S_ISDIR(mode))
        return EntryKind::Directory;
    if (S_ISREG(mode))
        return EntryKind::File;
    return EntryKind::Other;
}

EntryKind kindOfPath(const QString &path)
{
    struct stat st {};
    if (::stat(encodePath(path).constData(), &st) != 0)
        return EntryKind::Other;
    return kindOfMode(st.st_mode);
}

bool hasWildcard(const QString &text)
{
    return text.contains(QLatin1Char('*')) || text.contains(QLatin1Char('?'));
}

bool globMatch(QStringView name, QStringView pattern)
{
    // Iterative glob with single-star backtracking: linear in practice, never recursive.
    qsizetype n = 0, p = 0, starP = -1, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == QLatin1Char('?') ||
                                          pattern[p].toCaseFolded() == name[n].toCaseFolded())) {
            ++p;
            ++n;
        } else if (starP >= 0) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == QLatin1Char('*'))
        ++p;
    return p == pattern.size();
}

bool caseInsensitiveLess(const QString &a, const QString &b)
{
    const int c = QString::compare(a, b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

} // namespace

std::vector<DirEntry> readDirectory(const QString &folder)
{
    std::vector<DirEntry> entries;
    const QByteArray encoded = encodePath(folder.isEmpty() ? QStringLiteral(".") : folder);
    DIR *dir = ::opendir(encoded.constData());
    if (!dir)
        return entries;
    const int fd = ::dirfd(dir);
    while (const dirent *ent = ::readdir(dir)) {
        const char *raw = ent->d_name;
        if (raw[0] == '.' && (raw[1] == '\0' || (raw[1] == '.' && raw[2] == '\0')))
            continue;
        EntryKind kind = EntryKind::Other;
        switch (ent->d_type) {
        case DT_DIR:
            kind = EntryKind::Directory;
            break;
        case DT_REG:
            kind = EntryKind::File;
            break;
        case DT_LNK:
        case DT_UNKNOWN: {
            struct stat st {};
            if (::fstatat(fd, raw, &st, 0) == 0)
                kind = kindOfMode(st.st_mode);
            break;
        }
        default:
            break;
        }
        entries.push_back({decodePath(raw), kind});
    }
    ::closedir(dir);
    return entries;
}

bool isHiddenName(const QString &name)
{
    return name.startsWith(QLatin1Char('.'));
}

bool matchesWildcard(const QString &name, const QString &pattern)
{
    if (pattern == QLatin1String("*") || pattern == QLatin1String("*.*"))
        return true;
    return globMatch(name, pattern);
}

void sortNames(QStringList &names)
{
    std::sort(names.begin(), names.end(), caseInsensitiveLess);
}

bool nameLess(const QString &a, const QString &b)
{
    return caseInsensitiveLess(a, b);
}

bool isDirectory(const QString &path)
{
    return !path.isEmpty() && kindOfPath(path) == EntryKind::Directory;
}

QString existingName(const QString &path, int attributes)
{
    const QString name = path.mid(path.lastIndexOf(pathSeparator()) + 1);
    if (name.isEmpty() || isHiddenName(name))
        return QString();
    const EntryKind kind = kindOfPath(path);
    const bool wanted =
        kind == EntryKind::File || ((attributes & kAttrDirectory) && kind == EntryKind::Directory);
    return wanted ? name : QString();
}

QString DirSearch::first(const QString &pathPattern, int attributes)
{
    m_names.clear();
    m_next = 0;
    if (pathPattern.isEmpty())
        return QString();

    const bool wantFolders = (attributes & kAttrDirectory) != 0;
    const qsizetype cut = pathPattern.lastIndexOf(pathSeparator());
    const QString folder = cut < 0 ? QString() : pathPattern.left(cut == 0 ? 1 : cut);
    const QString last = pathPattern.mid(cut + 1);

    if (!last.isEmpty() && !hasWildcard(last)) {
        const QString name = existingName(pathPattern, attributes);
        if (!name.isEmpty())
            m_names << name;
        return next();
    }

    // A pattern ending in the separator lists the folder itself, like "folder/*".
    const QString pattern = last.isEmpty() ? QStringLiteral("*") : last;
    const bool isRoot = folder == QString(pathSeparator());
    QStringList found;
    for (const DirEntry &entry : readDirectory(folder)) {
        if (isHiddenName(entry.name) || !matchesWildcard(entry.name, pattern))
            continue;
        if (entry.kind == EntryKind::File || (wantFolders && entry.kind == EntryKind::Directory))
            found << entry.name;
    }
    sortNames(found);
    if (wantFolders && !isRoot && isDirectory(folder.isEmpty() ? QStringLiteral(".") : folder)) {
        for (const char *dots : {".", ".."}) {
            if (matchesWildcard(QLatin1String(dots), pattern))
                m_names << QLatin1String(dots);
        }
    }
    m_names << found;
    return next();
}

bool searchFinds(const QString &path, int attributes)
{
    // A saved or chosen folder's name is a name, whatever characters it holds: as a pattern
    // it would find its neighbours, and a vanished folder would live on through them.
    if (!path.endsWith(pathSeparator()))
        return !existingName(path, attributes).isEmpty();
    // The folder's own listing, whose path is never a pattern.
    return !DirSearch().first(path, attributes).isEmpty();
}

QString DirSearch::next()
{
    return m_next < m_names.size() ? m_names.at(m_next++) : QString();
}

} // namespace sys
