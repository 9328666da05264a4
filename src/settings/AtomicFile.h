#pragma once

#include <QByteArray>
#include <QString>

namespace settings {

/// Replaces a file's content all at once: the bytes go to a temporary file beside it, which is
/// written in full, flushed to disk and then renamed over the old file; the folder is flushed
/// last, so that the rename itself outlives a power cut. On any failure (a full disk, a size
/// limit, no permission) the old file stays as it was and the result is false. Whatever the
/// moment the process dies, the file holds either the old bytes or the new ones; a temporary
/// file that a dead process left behind is removed by a later replacement in that folder.
/// A link is followed, so the file it points to is the one replaced (or made, when it names a
/// file not there yet); the link stays, and permissions are kept.
bool writeFileAtomically(const QString &path, const QByteArray &bytes);

/// Writes a file's content over its old one, in the same file: for a file that may be written
/// in a folder that takes no new files, where no replacement can be made beside it. Nothing is
/// atomic here: a process that dies part-way can leave the file half written. A write that
/// fails (a full disk, a size limit) puts the old bytes back as far as the disk lets it, and
/// the result is false. Only a file that is there is written; a link is followed.
bool writeFileInPlace(const QString &path, const QByteArray &bytes);

/// The file that writeFileAtomically replaces for a path: the path with every link followed.
/// Empty for no path, or links in a loop.
QString replacedFile(const QString &path);

} // namespace settings
