#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace sys {

/// Attribute masks of a directory search.
constexpr int kAttrNormal = 0;     ///< plain files only
constexpr int kAttrDirectory = 16; ///< plain files and folders

enum class EntryKind { Directory, File, Other };

struct DirEntry {
    QString name;
    EntryKind kind = EntryKind::Other;
};

/// The entries of a folder as the file system lists them (links followed, "." and ".."
/// left out). Empty when the folder cannot be read.
std::vector<DirEntry> readDirectory(const QString &folder);

/// Hidden entries are the ones whose name starts with a dot.
bool isHiddenName(const QString &name);

/// Case-insensitive match of a name against a wildcard pattern with * and ?; "*.*" and "*"
/// match every name, with or without a dot.
bool matchesWildcard(const QString &name, const QString &pattern);

/// Sorts names ascending without regard to case (names equal but for case by code point).
void sortNames(QStringList &names);
/// The order sortNames sorts in.
bool nameLess(const QString &a, const QString &b);

/// True when the path names an existing directory (links followed).
bool isDirectory(const QString &path);

/// The last component of a path when the path itself names an entry a search with these
/// attributes would return (taken literally: no wildcards); the empty text otherwise.
QString existingName(const QString &path, int attributes);

/// Whether a directory search for the path itself finds it: the existence test of a folder.
/// The path is taken literally, its last component too: a folder once called "a?c" that is
/// gone is not found through an "abc" beside it. A path ending in the separator tests the
/// folder it names.
bool searchFinds(const QString &path, int attributes);

/// A directory search: names matching a path pattern, one per call, the empty text at the
/// end. Folders come only with kAttrDirectory; hidden entries and special files never come.
/// A pattern whose last component has no wildcard tests that one entry. Names come in
/// ascending order without regard to case, after "." and ".." for a folder other than the root.
class DirSearch {
public:
    /// Starts a search and returns its first name, or the empty text.
    QString first(const QString &pathPattern, int attributes);
    /// The next name of the search started last, or the empty text.
    QString next();

private:
    QStringList m_names;
    int m_next = 0;
};

} // namespace sys
