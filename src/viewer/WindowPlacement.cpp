#include "viewer/WindowPlacement.h"

#include <cmath>

namespace viewer {

namespace {

std::optional<float> usableLength(std::optional<float> stored, float screen, float desktop)
{
    if (!stored || !(*stored > 0.0f) || !std::isfinite(*stored))
        return std::nullopt;
    return *stored > desktop ? screen : *stored;
}

} // namespace

settings::WindowPlace placeOnScreens(settings::WindowPlace place, float designedWidth,
                                     float designedHeight, const QList<QRectF> &screens)
{
    if (screens.isEmpty())
        return place;
    QRectF desktop;
    for (const QRectF &screen : screens)
        desktop = desktop.united(screen);
    const QRectF &primary = screens.first();
    place.width = usableLength(place.width, float(primary.width()), float(desktop.width()));
    place.height = usableLength(place.height, float(primary.height()), float(desktop.height()));

    const QRectF window(place.left, place.top, place.width.value_or(designedWidth),
                        place.height.value_or(designedHeight));
    for (const QRectF &screen : screens) {
        if (screen.intersects(window))
            return place;
    }
    place.left = static_cast<float>(primary.left());
    place.top = static_cast<float>(primary.top());
    return place;
}

} // namespace viewer
