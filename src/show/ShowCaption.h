#pragma once

#include <QString>

namespace show {

enum class Order { Sequential, Random };

/// The window caption while a show runs: the order mark ("N" in order, "R" at random) and the
/// file name of the pick as the file system lists it (empty when no such file exists).
QString showCaption(Order order, const QString &pick);

/// The caption of the window whenever no show runs.
QString idleCaption();

} // namespace show
