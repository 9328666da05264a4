#pragma once

#include <QRect>
#include <QSize>

namespace show {

/// Where the show puts a picture of the given size in pixels: the rectangle, in pixels of the
/// window's inner area, that fitting it to that area with its proportions kept and centred
/// gives. The lengths are worked out in twips and each is rounded to whole pixels in turn, the
/// centring using the rounded size. A null rectangle when the picture or the area has no
/// width or height. Works on plain values, so it can run away from the user-interface thread.
/// @param innerWidth, innerHeight the inner area in twips
/// @param twipsPerPixel the screen's scale (15 at 96 DPI)
QRect fittedRect(QSize picture, float innerWidth, float innerHeight, float twipsPerPixel);

} // namespace show
