#pragma once

#include <QString>
#include <QStringList>

#include <optional>

/// Our private-profile (INI) files. Every call reads the file afresh and every change rewrites
/// it whole and atomically (a temporary file beside it, flushed, then renamed over it), so what
/// one call writes the next reads, and a failed write leaves the old file as it was.
///
/// Section and key names match without regard to case; blanks around names and values are
/// dropped; the first of duplicate sections or keys is the one read and changed. A new section
/// goes at the end of the file, a new key at the end of its section, and a changed key stays
/// where it stands; every other line (comments, blank lines, unknown sections) is kept byte for
/// byte, and so are the file's line ends (CR LF or LF) and a UTF-8 byte-order mark. Text is
/// stored in the system locale's encoding.
namespace platform::profile {

/// The value of a key; no value when the file, the section or the key is missing.
std::optional<QString> readValue(const QString &file, const QString &section, const QString &key);

/// The key names of a section in file order (empty for a missing section).
QStringList readKeys(const QString &file, const QString &section);

/// Sets a key, creating the file, the section and the key as needed. False when the file
/// cannot be written, or a name or the value cannot be stored in a line (line breaks, NULs,
/// "=" in a key, "]" in a section, an empty name).
bool writeValue(const QString &file, const QString &section, const QString &key,
                const QString &value);

/// Removes a key from a section; true also when there was nothing to remove.
bool deleteKey(const QString &file, const QString &section, const QString &key);

/// Removes every section of that name with all its keys; true also when there was none.
bool deleteSection(const QString &file, const QString &section);

/// Makes every change reach the disk. Each change is already there when its call returns,
/// so this only reports whether the file's folder is reachable.
bool flush(const QString &file);

} // namespace platform::profile
