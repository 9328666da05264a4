#pragma once

// The photos the benchmark shows, made by itself: nothing of them is committed, and a folder
// named by PELMORA_BENCH_PHOTOS keeps them from one run to the next.

#include <QSize>
#include <QString>
#include <QStringList>

namespace bench {

/// How a photo is stored.
struct Encoding {
    int quality = 90;
    bool fullChroma = false; ///< colour at full resolution (4:4:4), else halved both ways (4:2:0)
    bool progressive = false;
};

/// Smooth light and shade with sensor noise, as Qt writes it: decodes like a camera picture.
void writePhoto(const QString &path, QSize size, quint32 seed);

/// A large photo-like picture made of tiles, each a smaller photo with noise in light and
/// colour, written row by row: a picture of 100 megapixels never has to be in memory whole.
bool writeMosaic(const QString &path, QSize size, const Encoding &encoding, quint32 seed);

/// The same picture re-encoded in progressive scans, losslessly, by jpegtran; false without it.
bool writeProgressiveCopy(const QString &from, const QString &to);

/// The JPEGs of a folder (not its sub-folders), by name.
QStringList photosIn(const QString &folder);

/// A folder of `folders` sub-folders, each holding `namesEach` names for the photos of `photos`,
/// as many for each, every name different, hard links where they can be. At random the same name
/// twice in a row, which leaves the window's title unchanged, comes once in folders x namesEach
/// picks; and a pick, which reads one folder, reads only a few names.
bool writeManyNames(const QString &photos, const QString &folder, int folders, int namesEach);

} // namespace bench
