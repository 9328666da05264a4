#pragma once

#include <QLocale>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace sys {

/// Nearest whole number, an exact half going to the even neighbour (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double value);

/// Shortest decimal text of a single-precision number, at most seven significant digits,
/// with a locale's digits and decimal separator and no grouping ("1200", "-45", "3.5").
QString singleToText(float value, const QLocale &locale = QLocale::system());

/// The nearest single-precision number to a numeric text (blanks around it, an optional sign,
/// decimal digits with an optional fraction, and an optional exponent), written either with
/// ASCII digits and a point or in a locale's (the user's by default) digits, signs and decimal
/// separator; no value when the text is not numeric or lies beyond the single range (a number
/// too small to hold gives 0).
std::optional<float> parseSingle(const QString &text, const QLocale &locale = QLocale::system());

/// The value of a numeric text as a double; no value when not numeric or out of range.
std::optional<double> parseDouble(const QString &text, const QLocale &locale = QLocale::system());

/// Two zero-padded decimal digits ("00" .. "99").
QString twoDigits(int value);

} // namespace sys
