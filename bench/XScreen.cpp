#include "XScreen.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <cstdlib>
#include <cstring>

namespace {

Window windowOf(const QString &window)
{
    return Window(window.toULong());
}

// One row or column of the window, appended to `pixels`; false when it cannot be read.
bool readLine(Display *display, Window window, int x, int y, unsigned width, unsigned height,
              std::vector<unsigned char> &pixels)
{
    XImage *image = XGetImage(display, window, x, y, width, height, AllPlanes, ZPixmap);
    if (!image)
        return false;
    for (unsigned j = 0; j < height; ++j) {
        for (unsigned i = 0; i < width; ++i) {
            const unsigned long pixel = XGetPixel(image, int(i), int(j));
            pixels.push_back((unsigned char)(pixel >> 16));
            pixels.push_back((unsigned char)(pixel >> 8));
            pixels.push_back((unsigned char)pixel);
            pixels.push_back(0);
        }
    }
    XDestroyImage(image);
    return true;
}

// A read of a window that went away is no reason to end the benchmark.
int ignoreErrors(Display *, XErrorEvent *)
{
    return 0;
}

} // namespace

XScreen::~XScreen()
{
    if (m_display)
        XCloseDisplay(m_display);
}

bool XScreen::open(const QString &display)
{
    m_display = XOpenDisplay(display.toLocal8Bit().constData());
    if (!m_display)
        return false;
    XSetErrorHandler(ignoreErrors);
    int event = 0, error = 0, major = 0, minor = 0;
    return XTestQueryExtension(m_display, &event, &error, &major, &minor);
}

bool XScreen::key(const char *name)
{
    const KeySym symbol = XStringToKeysym(name);
    const KeyCode code = symbol == NoSymbol ? 0 : XKeysymToKeycode(m_display, symbol);
    if (code == 0)
        return false;
    XTestFakeKeyEvent(m_display, code, True, CurrentTime);
    XTestFakeKeyEvent(m_display, code, False, CurrentTime);
    XSync(m_display, False);
    return true;
}

void XScreen::resize(const QString &window, QSize inner)
{
    XResizeWindow(m_display, windowOf(window), unsigned(inner.width()), unsigned(inner.height()));
    XSync(m_display, False);
}

std::vector<unsigned char> XScreen::cross(const QString &window)
{
    std::vector<unsigned char> pixels;
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(m_display, windowOf(window), &attributes) ||
        attributes.map_state != IsViewable || attributes.width < 2 || attributes.height < 2)
        return pixels;
    const int w = attributes.width, h = attributes.height;
    if (!readLine(m_display, windowOf(window), 0, h / 2, unsigned(w), 1, pixels) ||
        !readLine(m_display, windowOf(window), w / 2, 0, 1, unsigned(h), pixels))
        pixels.clear();
    return pixels;
}

double difference(const std::vector<unsigned char> &a, const std::vector<unsigned char> &b)
{
    if (a.size() != b.size() || a.empty())
        return 255;
    long long sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        sum += std::abs(int(a[i]) - int(b[i]));
    return double(sum) / (double(a.size()) * 3 / 4); // the fourth byte is always 0
}
