#pragma once

#include <QString>
#include <QtGlobal>

namespace platform {

/// Nearest whole number, an exact half going to the even neighbour (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double value);

/// Shortest decimal text of a single-precision number, at most seven significant digits,
/// with the user locale's decimal separator and no grouping ("1200", "-45", "3.5").
QString singleToText(float value);

/// Two zero-padded decimal digits ("00" .. "99").
QString twoDigits(int value);

} // namespace platform
