#pragma once

#include "system/ScreenSaver.h"

#include <memory>

namespace controls {

/// The screen kept on wherever the program can reach: the desktop over D-Bus and, on X11, the
/// X server's own screen saver, which no desktop service may be watching.
std::unique_ptr<sys::ScreenSaverInhibitor> screenKeeper();

} // namespace controls
