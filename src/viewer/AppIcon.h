#pragma once

#include <QIcon>
#include <QImage>

namespace viewer {

/// The program's icon, a small landscape drawn in the 16 standard colours.
/// @param size edge length in pixels (the icon is made at 16 and 32).
QImage appIconImage(int size);

/// The icon at 16×16 and 32×32.
QIcon appIcon();

} // namespace viewer
