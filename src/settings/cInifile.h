#pragma once

#include "settings/PrivateProfile.h"

#include <QString>
#include <QtGlobal>

#include <optional>

/// Typed access to one INI file. The file is read at the first operation and kept in memory:
/// reads see this object's own earlier writes, and the writes reach the file together, in one
/// atomic replacement, at Refresh or when the object goes. So the file is always either as it
/// was or holds every change, whenever the program dies; except for a file in a folder that
/// takes no new files, which is written in place. Another object on the same file sees
/// this one's changes only once they are committed. A file that is there but cannot be read
/// takes no changes: what it holds would be lost.
class cInifile {
public:
    cInifile() = default;
    cInifile(const cInifile &) = delete;
    cInifile &operator=(const cInifile &) = delete;
    /// Commits the changes made since the last commit, if any; a failed Refresh is not tried
    /// again for the same changes.
    ~cInifile();

    /// Removes a key; nonzero on success, 0 when the file cannot be changed.
    qint32 DeleteKey(const QString &Section, const QString &Key);
    /// The key names of a section, each followed by a NUL, then one more NUL; a single NUL for
    /// a missing or empty section.
    QString ReadEntrys(const QString &Section);
    /// The key as a single-precision number, or Def when it is missing, empty, not numeric or
    /// beyond the single range.
    float ReadSingle(const QString &Section, const QString &Key, float Def);
    /// Writes every change to the file in one replacement (in place where none can be made
    /// beside it); nonzero on success (also when there was nothing to write, which leaves the
    /// file untouched), 0 when the file stays as it was.
    qint32 Refresh();
    /// Sets a key (creating file and section as needed); nonzero on success, 0 when the file
    /// cannot be changed or the text cannot be stored.
    qint32 WriteStr(const QString &Section, const QString &Key, const QString &sData);
    /// Removes a section with all its keys; nonzero on success, 0 when the file cannot be
    /// changed.
    qint32 DeleteSection(const QString &Section);
    /// The key as a whole number, halves rounded to even, or Def when it is missing, empty,
    /// not numeric or outside -32768 .. 32767.
    qint16 ReadInt(const QString &Section, const QString &Key, qint16 Def);
    /// The key's text, or Def when it is missing or empty.
    QString ReadStr(const QString &Section, const QString &Key, const QString &Def);

    /// Names the file; changes to a file named before, made since its last commit, are
    /// committed to that one first.
    void setFileName(const QString &vData);
    QString FileName() const { return m_fileName; }

private:
    settings::profile::Document &document();
    QString storedText(const QString &section, const QString &key);
    // The changes are made in memory only when the file could take them at the commit.
    bool editable();
    void commitNewChanges();

    QString m_fileName;
    std::optional<settings::profile::Document> m_document; // read at the first operation
    bool m_changedSinceCommit = false; // since the last commit, whether it worked or not
};
