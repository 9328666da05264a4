#include "viewer/AppIcon.h"

#include <QPixmap>

#include <cmath>

namespace viewer {

namespace {

// The 16 colours of the classic palette; the icon uses a few of them.
enum Colour : uchar {
    Black,
    DarkRed,
    DarkGreen,
    DarkYellow,
    DarkBlue,
    DarkMagenta,
    DarkCyan,
    LightGray,
    Gray,
    Red,
    Green,
    Yellow,
    Blue,
    Magenta,
    Cyan,
    White
};

QVector<QRgb> sixteenColours()
{
    return {qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
            qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
            qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
            qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
}

bool inEllipse(double u, double v, double cu, double cv, double ru, double rv)
{
    const double du = (u - cu) / ru;
    const double dv = (v - cv) / rv;
    return du * du + dv * dv <= 1.0;
}

bool onGlint(double u, double v, double step)
{
    struct Dash {
        double u, v, length;
    };
    static const Dash dashes[] = {
        {0.08, 0.78, 0.16}, {0.62, 0.74, 0.14}, {0.74, 0.88, 0.18}, {0.30, 0.90, 0.12}};
    for (const Dash &d : dashes) {
        if (u >= d.u && u < d.u + d.length && std::fabs(v - d.v) < step / 2)
            return true;
    }
    return false;
}

// Colour of the scene at a point of the unit square (u to the right, v downwards).
Colour sceneAt(double u, double v, double step)
{
    constexpr double horizon = 0.62;
    if (inEllipse(u, v, 0.76, 0.22, 0.15, 0.15))
        return Yellow;
    if (inEllipse(u, v, 0.36, 0.34, 0.18, 0.17))
        return v < 0.30 && u < 0.34 ? Green : DarkGreen;
    if (u >= 0.33 && u < 0.40 && v >= 0.45 && v < horizon + 0.04)
        return DarkRed;
    if (v >= horizon - 0.06 && inEllipse(u, v, 0.36, horizon + 0.04, 0.30, 0.10))
        return DarkRed;
    if (v < horizon)
        return Cyan;
    if (onGlint(u, v, step))
        return White;
    return v < 0.8 ? Blue : DarkBlue;
}

} // namespace

QImage appIconImage(int size)
{
    QImage image(size, size, QImage::Format_Indexed8);
    image.setColorTable(sixteenColours());
    const double step = 1.0 / size;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x)
            image.setPixel(x, y, sceneAt((x + 0.5) * step, (y + 0.5) * step, step));
    }
    return image;
}

QIcon appIcon()
{
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(appIconImage(16)));
    icon.addPixmap(QPixmap::fromImage(appIconImage(32)));
    return icon;
}

} // namespace viewer
