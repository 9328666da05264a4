#pragma once

#include <QByteArray>
#include <QString>

namespace sys {

/// File names are bytes; the program's text is UTF-16. Names that are valid UTF-8 decode as
/// such; every byte that is not part of valid UTF-8 becomes a lone surrogate U+DC80..U+DCFF,
/// which encodes back to the same byte. So any name read from a folder opens again.
QString decodePath(const QByteArray &bytes);
QByteArray encodePath(const QString &path);

/// A path or name fit to show a person. A name that is no UTF-8 is read as the Japanese code
/// page (CP932, Shift-JIS) older Japanese systems named files in; where it is not that either,
/// its undecodable bytes show as U+FFFD.
QString displayText(const QString &path);

} // namespace sys
