#pragma once

#include "settings/SettingsFile.h"

#include <QList>
#include <QRectF>

namespace viewer {

/// A stored window place made fit to open: a width or height the window cannot take becomes
/// none (not positive: the designed inner one) or the screen's (larger than all screens
/// together); a place wholly off every screen moves to the primary screen's top-left corner,
/// keeping its size. A place only partly off-screen stays as it is. All in twips.
/// @param designedWidth, designedHeight the designed size, for a place that has none
/// @param screens the screens' areas; the first is the primary screen's available area.
settings::WindowPlace placeOnScreens(settings::WindowPlace place, float designedWidth,
                                     float designedHeight, const QList<QRectF> &screens);

} // namespace viewer
