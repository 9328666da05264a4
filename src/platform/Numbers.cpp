#include "Numbers.h"

#include <QLocale>

#include <QRegularExpression>

#include <cfenv>
#include <charconv>
#include <cmath>
#include <system_error>

namespace platform {

double roundHalfEven(double value)
{
    // nearbyint follows the current rounding mode, which is to-nearest-even unless
    // somebody changed it; say so explicitly rather than rely on it.
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(saved);
    return rounded;
}

QString singleToText(float value)
{
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(static_cast<double>(value), 'g', 7);
}

namespace {

// The numeric text in the form the C++ parser reads: no blanks, no plus sign, a point as the
// decimal separator. Empty when the text is not numeric.
QByteArray canonicalNumber(const QString &text)
{
    const QString point = QLocale::system().decimalPoint();
    const QString trimmed = text.trimmed();
    const QRegularExpression grammar(
        QStringLiteral("^[+-]?([0-9]+(%1[0-9]*)?|%1[0-9]+)([eE][+-]?[0-9]+)?$")
            .arg(QRegularExpression::escape(point)));
    if (!grammar.match(trimmed).hasMatch())
        return QByteArray();
    QString canonical = trimmed;
    canonical.replace(point, QStringLiteral("."));
    if (canonical.startsWith(QLatin1Char('+')))
        canonical.remove(0, 1);
    return canonical.toLatin1();
}

bool tooSmallToHold(const QByteArray &number)
{
    // Out of range with a negative exponent: the number is nearer zero than any we can hold.
    const qsizetype e = number.indexOf('e') >= 0 ? number.indexOf('e') : number.indexOf('E');
    return e >= 0 && number.mid(e + 1).startsWith('-');
}

} // namespace

namespace {

template <typename T> std::optional<T> parseNumber(const QString &text)
{
    const QByteArray number = canonicalNumber(text);
    if (number.isEmpty())
        return std::nullopt;
    T value = 0;
    const auto result =
        std::from_chars(number.constData(), number.constData() + number.size(), value);
    if (result.ec == std::errc::result_out_of_range)
        return tooSmallToHold(number) ? std::optional<T>(T(0)) : std::nullopt;
    return result.ec == std::errc() ? std::optional<T>(value) : std::nullopt;
}

} // namespace

std::optional<float> parseSingle(const QString &text)
{
    return parseNumber<float>(text);
}

std::optional<double> parseDouble(const QString &text)
{
    return parseNumber<double>(text);
}

QString twoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace platform
