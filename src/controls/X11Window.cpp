#include "controls/X11Window.h"

#include <QGuiApplication>
#include <QThread>
#include <QWidget>

#include <xcb/screensaver.h>
#include <xcb/xcb.h>

#include <QtGui/qguiapplication_platform.h>

#include <cstdlib>
#include <memory>

namespace controls::x11 {

namespace {

// How long a window manager that promised frame extents may take to tell them.
constexpr int kAnswerWaitMs = 200;
constexpr int kPollMs = 2;

struct FreeDeleter {
    void operator()(void *p) const { std::free(p); }
};
template <typename T> using XcbReply = std::unique_ptr<T, FreeDeleter>;

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    const XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(qstrlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// The 32-bit values of a window property; empty when it is not set.
QList<quint32> cardinals(xcb_connection_t *c, xcb_window_t window, xcb_atom_t property)
{
    QList<quint32> values;
    const XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, property, XCB_ATOM_ANY, 0, 1024), nullptr));
    if (!reply || reply->format != 32)
        return values;
    const auto *data = static_cast<const quint32 *>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    for (int i = 0; i < count; ++i)
        values << data[i];
    return values;
}

xcb_window_t rootOf(xcb_connection_t *c)
{
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

bool windowManagerAnswers(xcb_connection_t *c, xcb_atom_t request)
{
    return cardinals(c, rootOf(c), atom(c, "_NET_SUPPORTED")).contains(request);
}

void sendRequest(xcb_connection_t *c, xcb_window_t window, xcb_atom_t request)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = request;
    xcb_send_event(c, 0, rootOf(c),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char *>(&event));
    xcb_flush(c);
}

// The frame extents (left, right, top, bottom, in device pixels) the window manager announces
// for a plain top-level window; empty when it does not answer in time.
QList<quint32> askFrameExtents(xcb_connection_t *c, xcb_atom_t request)
{
    // A stand-in window of our own: creating the toolkit's window this early would change how
    // the toolkit places it.
    const xcb_window_t window = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, rootOf(c), 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
    sendRequest(c, window, request);
    const xcb_atom_t extents = atom(c, "_NET_FRAME_EXTENTS");
    QList<quint32> e;
    for (int waited = 0; e.size() != 4 && waited <= kAnswerWaitMs; waited += kPollMs) {
        e = cardinals(c, window, extents);
        if (e.size() != 4)
            QThread::msleep(kPollMs);
    }
    xcb_destroy_window(c, window);
    xcb_flush(c);
    return e.size() == 4 ? e : QList<quint32>();
}

// The connection to the X server, when the program talks to one as its window system (other
// platforms may still offer an X connection).
xcb_connection_t *connection()
{
    const auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    return x11->connection();
}

QMargins marginsOf(const QList<quint32> &extents) // left, right, top, bottom
{
    return QMargins(int(extents[0]), int(extents[2]), int(extents[1]), int(extents[3]));
}

std::optional<QMargins> askWindowManager(xcb_connection_t *c)
{
    const xcb_atom_t request = atom(c, "_NET_REQUEST_FRAME_EXTENTS");
    if (request == XCB_ATOM_NONE || !windowManagerAnswers(c, request))
        return std::nullopt;
    const QList<quint32> e = askFrameExtents(c, request);
    return e.isEmpty() ? std::nullopt : std::optional<QMargins>(marginsOf(e));
}

} // namespace

std::optional<QMargins> announcedFrame(const QWidget *window)
{
    xcb_connection_t *c = connection();
    if (!c || !window->isWindow())
        return std::nullopt;
    // A window manager that does not answer keeps us waiting only once.
    static const std::optional<QMargins> announced = askWindowManager(c);
    return announced;
}

std::optional<QMargins> drawnFrame(const QWidget *window)
{
    xcb_connection_t *c = connection();
    if (!c || !window->isWindow() || !window->isVisible())
        return std::nullopt;
    const QList<quint32> e =
        cardinals(c, xcb_window_t(window->winId()), atom(c, "_NET_FRAME_EXTENTS"));
    return e.size() == 4 ? std::optional<QMargins>(marginsOf(e)) : std::nullopt;
}

std::optional<QPoint> innerPosition(const QWidget *window)
{
    xcb_connection_t *c = connection();
    if (!c || !window->isWindow() || !window->isVisible())
        return std::nullopt;
    const XcbReply<xcb_translate_coordinates_reply_t> reply(xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, xcb_window_t(window->winId()), rootOf(c), 0, 0), nullptr));
    return reply ? std::optional<QPoint>(QPoint(reply->dst_x, reply->dst_y)) : std::nullopt;
}

bool suspendScreenSaver(bool suspend)
{
    xcb_connection_t *c = connection();
    if (!c)
        return false;
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(c, &xcb_screensaver_id);
    if (!extension || !extension->present)
        return false;
    // Suspending came with version 1.1 of the extension.
    const XcbReply<xcb_screensaver_query_version_reply_t> version(
        xcb_screensaver_query_version_reply(c, xcb_screensaver_query_version(c, 1, 1), nullptr));
    if (!version || (version->server_major_version == 1 && version->server_minor_version < 1))
        return false;
    const XcbReply<xcb_generic_error_t> error(
        xcb_request_check(c, xcb_screensaver_suspend_checked(c, suspend ? 1 : 0)));
    return !error;
}

} // namespace controls::x11
