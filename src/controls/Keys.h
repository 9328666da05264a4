#pragma once

#include <QtGlobal>

namespace controls {

/// Virtual-key codes of the keys the program acts on.
constexpr qint16 kVkReturn = 13;
constexpr qint16 kVkEscape = 27;
constexpr qint16 kVkSpace = 32;
constexpr qint16 kVkLeft = 37;
constexpr qint16 kVkRight = 39;
constexpr qint16 kVkF11 = 122;

/// The virtual-key code of a toolkit key, never 0 (0 is how a handler consumes a key).
qint16 virtualKeyCode(int qtKey);

} // namespace controls
