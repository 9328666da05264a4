#include "controls/Clicks.h"

#include <QMouseEvent>
#include <QWidget>

#include <utility>

namespace controls {

bool releaseIsClick(const QWidget *control, const QMouseEvent *release, bool &doubleClick)
{
    const bool wasDouble = std::exchange(doubleClick, false);
    return release->button() == Qt::LeftButton && !wasDouble &&
           control->rect().contains(release->position().toPoint());
}

} // namespace controls
