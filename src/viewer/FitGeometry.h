#pragma once

#include <QRect>
#include <QSize>

/// Where the show puts a picture of the given size in pixels: the rectangle, in pixels of the
/// window's inner area, that fitting it to that area with its proportions kept and centred
/// gives, rounded to whole pixels exactly as the picture display rounds. Empty when either
/// has no area. Works on plain values, so it can run away from the user-interface thread.
/// @param innerWidth, innerHeight the inner area in twips
/// @param twipsPerPixel the screen's scale (15 at 96 DPI)
QRect fittedRect(QSize picture, float innerWidth, float innerHeight, float twipsPerPixel);
