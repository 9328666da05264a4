#include "controls/KeyPreview.h"

#include "controls/Keys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

namespace controls {

namespace {

// How far apart a repeat's release and press may lie; no finger lets go and presses again so
// fast. The toolkit allows as much.
constexpr quint32 kRepeatMs = 10;

} // namespace

bool KeyPreview::ServerRepeats::nativeEventFilter(const QByteArray &eventType, void *message,
                                                  qintptr *)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    const int type = event->response_type & ~0x80;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    const auto *key = static_cast<const xcb_key_press_event_t *>(message);
    if (type == XCB_KEY_RELEASE)
        m_releasedAt.insert(key->detail, key->time);
    else if (m_releasedAt.contains(key->detail) &&
             key->time - m_releasedAt.value(key->detail) <= kRepeatMs)
        m_repeats.insert({key->detail, key->time});
    return false;
}

bool KeyPreview::ServerRepeats::isRepeat(const QKeyEvent *press)
{
    return m_repeats.remove({press->nativeScanCode(), quint32(press->timestamp())});
}

KeyPreview::KeyPreview(QWidget *window, std::function<void(qint16 &)> handler, QList<qint16> once)
    : QObject(window)
    , m_window(window)
    , m_handler(std::move(handler))
    , m_once(std::move(once))
{
    qApp->installEventFilter(this);
    qApp->installNativeEventFilter(&m_serverRepeats);
}

bool KeyPreview::eventFilter(QObject *watched, QEvent *event)
{
    // A key press reaches the window's toolkit window once, before it is handed to the focused
    // control and from there up through its parents, where a filter would meet it again.
    if (event->type() != QEvent::KeyPress || !watched->isWindowType())
        return QObject::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    const bool repeat = m_serverRepeats.isRepeat(key) || key->isAutoRepeat();
    if (!repeat)
        m_downIn.insert(key->key(), watched);
    else if (m_downIn.value(key->key()) != watched)
        return true; // held on from a window that has closed or lost the keyboard since
    if (watched != m_window->windowHandle())
        return QObject::eventFilter(watched, event);
    qint16 keyCode = virtualKeyCode(key->key());
    if (repeat && m_once.contains(keyCode))
        return true;
    m_handler(keyCode);
    return keyCode == 0;
}

} // namespace controls
