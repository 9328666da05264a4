#include "system/Twips.h"

#include <QGuiApplication>
#include <QScreen>

#include <cmath>
#include <utility>

namespace sys {

namespace {

constexpr double kTwipsPerInch = 1440.0;
constexpr double kFallbackDpi = 96.0;

std::unique_ptr<DpiSource> &installedSource()
{
    static std::unique_ptr<DpiSource> source;
    return source;
}

} // namespace

std::unique_ptr<DpiSource> setDpiSource(std::unique_ptr<DpiSource> source)
{
    return std::exchange(installedSource(), std::move(source));
}

double logicalDpi()
{
    if (const auto &source = installedSource())
        return source->logicalDpi();
    const QScreen *screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInch() : 0.0;
    return dpi > 0.0 ? dpi : kFallbackDpi;
}

float twipsPerPixel()
{
    return static_cast<float>(kTwipsPerInch / logicalDpi());
}

int twipsToPixels(float twips)
{
    return twipsToPixels(twips, twipsPerPixel());
}

int twipsToPixels(float twips, float twipsPerPixel)
{
    return static_cast<int>(std::lround(static_cast<double>(twips) / twipsPerPixel));
}

float pixelsToTwips(int pixels)
{
    return static_cast<float>(pixels) * twipsPerPixel();
}

} // namespace sys
