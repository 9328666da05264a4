#pragma once

#include <QString>

namespace show {

/// The window caption while a show runs: the order mark ("N" in order, "R" at random) and the
/// file name of the pick as the file system lists it (empty when no such file exists).
/// @param orderFlag the order check box's value, 0 or 1.
QString showCaption(int orderFlag, const QString &pick);

/// The caption of the window whenever no show runs.
QString idleCaption();

} // namespace show
