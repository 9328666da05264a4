#pragma once

#include <QtGlobal>

/// The picture source's cursors, shared by the whole program: a show resets both to -1
/// when it starts, and only the picture source moves them.
namespace Module1 {

/// Index into the picture source's list of folders.
extern qint32 lFolderIndex;
/// Index into the current folder's list of pictures.
extern qint32 lFileIndex;

} // namespace Module1
