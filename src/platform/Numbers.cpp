#include "Numbers.h"

#include <QLocale>

#include <cfenv>
#include <cmath>

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

QString twoDigits(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

} // namespace platform
