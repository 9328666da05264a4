#include "show/FitGeometry.h"

#include "system/Twips.h"

namespace show {

QRect fittedRect(QSize picture, float innerWidth, float innerHeight, float twipsPerPixel)
{
    const float pw = static_cast<float>(picture.width()) * twipsPerPixel;
    const float ph = static_cast<float>(picture.height()) * twipsPerPixel;
    if (!(pw > 0 && ph > 0 && innerWidth > 0 && innerHeight > 0))
        return QRect();
    const auto px = [twipsPerPixel](float twips) {
        return sys::twipsToPixels(twips, twipsPerPixel);
    };
    const float rp = ph / pw;
    const float rw = innerHeight / innerWidth;
    if (rp > rw) {
        const int h = px(innerHeight);
        const int w = px(innerHeight / rp);
        const float readBack = static_cast<float>(w) * twipsPerPixel;
        return QRect(px((innerWidth - readBack) / 2.0f), 0, w, h);
    }
    const int w = px(innerWidth);
    const int h = px(innerWidth * rp);
    const float readBack = static_cast<float>(h) * twipsPerPixel;
    return QRect(0, px((innerHeight - readBack) / 2.0f), w, h);
}

} // namespace show
