#include "system/Numbers.h"

#include <QLocale>

#include <QRegularExpression>

#include <cfenv>
#include <charconv>
#include <cmath>
#include <system_error>

namespace sys {

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

QString singleToText(float value, const QLocale &locale)
{
    QLocale plain = locale;
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    return plain.toString(static_cast<double>(value), 'g', 7);
}

namespace {

// The text with a locale's digits, signs, exponent mark and decimal separator put in their
// ASCII forms. Decimal digits are ten consecutive code points in every script.
QString asciiNumber(const QString &text, const QLocale &locale)
{
    QString ascii;
    const uint zero = locale.zeroDigit().toUcs4().value(0, '0');
    for (const uint c : text.toUcs4()) {
        if (c >= zero && c < zero + 10)
            ascii += QChar(char16_t(u'0' + (c - zero)));
        else
            ascii += QString::fromUcs4(reinterpret_cast<const char32_t *>(&c), 1);
    }
    ascii.replace(locale.negativeSign(), QStringLiteral("-"));
    ascii.replace(locale.positiveSign(), QStringLiteral("+"));
    ascii.replace(locale.exponential(), QStringLiteral("e"), Qt::CaseInsensitive);
    return ascii.replace(locale.decimalPoint(), QStringLiteral("."));
}

// The numeric text in the form the C++ parser reads: no blanks, no plus sign, a point as the
// decimal separator. Empty when the text is not numeric.
QByteArray canonicalNumber(const QString &text, const QLocale &locale)
{
    static const QRegularExpression grammar(
        QStringLiteral("^[+-]?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)([eE][+-]?[0-9]+)?$"));
    QString canonical = text.trimmed();
    if (!grammar.match(canonical).hasMatch())
        canonical = asciiNumber(canonical, locale);
    if (!grammar.match(canonical).hasMatch())
        return QByteArray();
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

template <typename T> std::optional<T> parseNumber(const QString &text, const QLocale &locale)
{
    const QByteArray number = canonicalNumber(text, locale);
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

std::optional<float> parseSingle(const QString &text, const QLocale &locale)
{
    return parseNumber<float>(text, locale);
}

std::optional<double> parseDouble(const QString &text, const QLocale &locale)
{
    return parseNumber<double>(text, locale);
}

QString twoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace sys
