#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

/// Our private-profile (INI) files. A file is read once into a Document, which answers queries
/// and takes changes in memory; commit() then writes it back whole in one atomic replacement (a
/// temporary file beside it, flushed, renamed over it, the folder flushed), so the file on disk
/// is always either what it was or everything the document holds, and a failed commit leaves
/// it as it was. A file that may be written in a folder that takes no new files has no room
/// for a replacement beside it; it is written in place instead, without that guarantee. A
/// document without changes is never written.
///
/// Section and key names match without regard to case; blanks around names and values are
/// dropped, and then one pair of double quotes around a value; a value that would lose
/// anything so is written in double quotes, every other value as it is. The first of
/// duplicate sections or keys is the one read and changed. A new section
/// goes at the end of the file, a new key at the end of its section, and a changed key stays
/// where it stands; every other line (comments, blank lines, unknown sections) is kept byte for
/// byte, and so are the file's line ends (CR LF or LF) and a UTF-8 byte-order mark. Text is
/// stored in UTF-8; bytes that are not UTF-8 are kept as they are, as in file names (PathCodec).
namespace settings::profile {

class Document {
public:
    /// The file as it is now; an empty document when it is missing, and an empty one that is
    /// unreadable() when it is there but cannot be read.
    static Document load(const QString &file);
    /// Whether the file was there but could not be read. What it holds is unknown, so it is
    /// never replaced: writing it would lose everything in it.
    bool unreadable() const { return m_unreadable; }

    /// The value of a key; no value when the section or the key is missing.
    std::optional<QString> value(const QString &section, const QString &key) const;
    /// The key names of a section in file order (empty for a missing section).
    QStringList keys(const QString &section) const;

    /// Sets a key, adding the section and the key as needed. False, changing nothing, when a
    /// name or the value cannot be stored in a line (line breaks, NULs, "=" in a key, "]" in a
    /// section, an empty name).
    bool setValue(const QString &section, const QString &key, const QString &value);
    /// Removes a key from every section of that name.
    void removeKey(const QString &section, const QString &key);
    /// Removes every section of that name with all its keys.
    void removeSection(const QString &section);

    /// The bytes the file holds once the document is committed.
    QByteArray serialize() const;
    /// Whether the document differs from the file as last read or committed.
    bool changed() const;

private:
    // One line of the file: its bytes as they stand (without the line end) and what they mean.
    struct Line {
        enum Kind { Other, Section, Entry };
        QByteArray raw;
        Kind kind = Other;
        QString name; // section or key name, blanks dropped
        QString value;
    };
    // Index range [begin, end) of the lines of a section; begin is its header.
    struct Range {
        size_t begin, end;
    };

    static Document parse(const QByteArray &bytes);
    static Line parseLine(const QByteArray &raw);
    std::optional<Range> findSection(const QString &section, size_t from = 0) const;
    std::optional<size_t> findKey(const Range &range, const QString &key) const;
    void insertEntry(const Range &range, const Line &entry);
    void eraseLines(size_t begin, size_t end);

    friend bool commit(const QString &file, Document &document, bool *inPlace);

    bool m_bom = false;
    QByteArray m_eol = "\n";
    bool m_endsWithEol = true;
    std::vector<Line> m_lines;
    QByteArray m_onDisk; // the file's bytes as last read or written
    bool m_edited = false;
    bool m_unreadable = false;
};

/// Whether a change to the file could be committed: it has a name, and either it is there and
/// not marked read-only, or its folder takes new files (for a link, the file it names and its
/// folder).
bool writable(const QString &file);

/// Replaces the file with the document when the document has changes; true also when there
/// was nothing to write. False when the file could not be written, or could not be read: it
/// then stays as it was, and the document keeps its changes. `inPlace`, when given, tells
/// whether the file was written in place, without the atomic replacement.
bool commit(const QString &file, Document &document, bool *inPlace = nullptr);

} // namespace settings::profile
