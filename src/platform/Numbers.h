#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace platform {

/// Nearest whole number, an exact half going to the even neighbour (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double value);

/// Shortest decimal text of a single-precision number, at most seven significant digits,
/// with the user locale's decimal separator and no grouping ("1200", "-45", "3.5").
QString singleToText(float value);

/// The nearest single-precision number to a numeric text (blanks around it, an optional sign,
/// decimal digits with an optional fraction after the user locale's decimal separator, and an
/// optional exponent); no value when the text is not
/// numeric or lies beyond the single range (a number too small to hold gives 0).
std::optional<float> parseSingle(const QString &text);

/// The value of a numeric text as a double; no value when not numeric or out of range.
std::optional<double> parseDouble(const QString &text);

/// Two zero-padded decimal digits ("00" .. "99").
QString twoDigits(int value);

} // namespace platform
