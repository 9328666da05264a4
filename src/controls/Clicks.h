#pragma once

class QMouseEvent;
class QWidget;

namespace controls {

/// Whether a button release completes a click: the left button, let go over the control, and
/// not the second press of a double click. Clears `doubleClick`.
bool releaseIsClick(const QWidget *control, const QMouseEvent *release, bool &doubleClick);

} // namespace controls
