#include "controls/Keys.h"

#include <Qt>

namespace controls {

qint16 virtualKeyCode(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Escape:
        return kVkEscape;
    case Qt::Key_Space:
        return kVkSpace;
    case Qt::Key_Left:
        return kVkLeft;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return kVkRight;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_F11:
        return kVkF11;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return kVkReturn;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 9;
    default:
        break;
    }
    if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z))
        return static_cast<qint16>(qtKey); // the same codes as their capital ASCII signs
    return 255;                            // any other key: one no handler acts on
}

} // namespace controls
