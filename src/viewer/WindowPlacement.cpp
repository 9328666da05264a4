#include "WindowPlacement.h"

#include <cmath>

namespace {

float usableLength(float stored, float designed, float screen, float desktop)
{
    if (!(stored > 0.0f) || !std::isfinite(stored))
        return designed;
    return stored > desktop ? screen : stored;
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
    place.width = usableLength(place.width, designedWidth, primary.width(), desktop.width());
    place.height = usableLength(place.height, designedHeight, primary.height(), desktop.height());

    const QRectF window(place.left, place.top, place.width, place.height);
    for (const QRectF &screen : screens) {
        if (screen.intersects(window))
            return place;
    }
    place.left = static_cast<float>(primary.left());
    place.top = static_cast<float>(primary.top());
    return place;
}
