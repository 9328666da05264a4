#include "controls/X11Window.h"

#include <QGuiApplication>
#include <QHash>
#include <QScreen>
#include <QThread>
#include <QWidget>

#include <xcb/screensaver.h>
#include <xcb/xcb.h>
#include <xcb/xinerama.h>

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

namespace {

// A profile set on the X server is one monitor's: a few kilobytes, a calibrated one's tables
// a few megabytes.
constexpr uint32_t kMaxProfileWords = 16 * 1024 * 1024 / 4;

// Where the screen is among the monitors Xinerama lists, by the corner both agree on; 0 for
// the only one where Xinerama is off.
std::optional<int> xineramaIndex(xcb_connection_t *c, const QScreen *screen)
{
    const XcbReply<xcb_xinerama_is_active_reply_t> active(
        xcb_xinerama_is_active_reply(c, xcb_xinerama_is_active(c), nullptr));
    if (!active || !active->state)
        return 0;
    const XcbReply<xcb_xinerama_query_screens_reply_t> screens(
        xcb_xinerama_query_screens_reply(c, xcb_xinerama_query_screens(c), nullptr));
    if (!screens)
        return std::nullopt;
    // The toolkit keeps a screen's corner in the X server's pixels, whatever its scale.
    const QPoint corner = screen->geometry().topLeft();
    const xcb_xinerama_screen_info_t *info = xcb_xinerama_query_screens_screen_info(screens.get());
    const int count = xcb_xinerama_query_screens_screen_info_length(screens.get());
    for (int i = 0; i < count; ++i) {
        if (info[i].x_org == corner.x() && info[i].y_org == corner.y())
            return i;
    }
    return std::nullopt;
}

QByteArray iccAtomName(int index)
{
    return index == 0 ? QByteArrayLiteral("_ICC_PROFILE")
                      : QByteArrayLiteral("_ICC_PROFILE_") + QByteArray::number(index);
}

} // namespace

QByteArray iccProfile(const QScreen *screen)
{
    xcb_connection_t *c = connection();
    const std::optional<int> index = c && screen ? xineramaIndex(c, screen) : std::nullopt;
    if (!index)
        return QByteArray();
    const QByteArray name = iccAtomName(*index);
    const XcbReply<xcb_intern_atom_reply_t> known(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 1, uint16_t(name.size()), name.constData()), nullptr));
    if (!known || known->atom == XCB_ATOM_NONE)
        return QByteArray(); // no client ever named it: no profile was ever set
    const XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, rootOf(c), known->atom, XCB_ATOM_ANY, 0, kMaxProfileWords),
        nullptr));
    if (!reply || reply->format != 8 || reply->bytes_after > 0)
        return QByteArray();
    return QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}

bool watchRootProperties()
{
    xcb_connection_t *c = connection();
    if (!c)
        return false;
    // Added to what the toolkit asked for on the root window, not instead of it.
    const XcbReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, rootOf(c)), nullptr));
    if (!attributes)
        return false;
    const uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, rootOf(c), XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
    return true;
}

bool changesIccProfile(const void *event)
{
    const auto *generic = static_cast<const xcb_generic_event_t *>(event);
    if ((generic->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
        return false;
    const auto *notify = static_cast<const xcb_property_notify_event_t *>(event);
    xcb_connection_t *c = connection();
    if (!c || notify->window != rootOf(c))
        return false;
    // The root's properties change all the time (the active window, the desktop); their names
    // are asked once each.
    static QHash<xcb_atom_t, bool> known;
    const auto found = known.constFind(notify->atom);
    if (found != known.constEnd())
        return *found;
    const XcbReply<xcb_get_atom_name_reply_t> reply(
        xcb_get_atom_name_reply(c, xcb_get_atom_name(c, notify->atom), nullptr));
    const QByteArray name = reply ? QByteArray(xcb_get_atom_name_name(reply.get()),
                                               xcb_get_atom_name_name_length(reply.get()))
                                  : QByteArray();
    const bool icc = name == iccAtomName(0) || name.startsWith(iccAtomName(0) + '_');
    known.insert(notify->atom, icc);
    return icc;
}

} // namespace controls::x11
