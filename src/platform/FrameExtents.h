#pragma once

#include <QMargins>

#include <optional>

class QWidget;

namespace platform {

/// The frame the window manager says it will draw around a top-level window that is not shown
/// yet, in device-independent pixels, rounded as the toolkit rounds a framed window's margins.
/// Knowing it before the window appears lets the window open at its final outer size at once.
/// No value where nobody can tell: no X11 window manager, or one that does not answer.
std::optional<QMargins> announcedFrameMargins(const QWidget *window);

} // namespace platform
