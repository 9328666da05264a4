#pragma once

#include "system/MonitorProfiles.h"

#include <memory>

namespace controls {

/// Each monitor's profile wherever the desktop keeps it: the colour manager's first, which
/// knows every monitor on X11 and Wayland alike, else the one set on the X server. Both are
/// followed as they change.
std::unique_ptr<sys::MonitorProfiles> monitorColours();

} // namespace controls
