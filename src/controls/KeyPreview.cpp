#include "controls/KeyPreview.h"

#include "controls/Keys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>
#include <QWindow>

namespace controls {

KeyPreview::KeyPreview(QWidget *window, std::function<void(qint16 &)> handler)
    : QObject(window)
    , m_window(window)
    , m_handler(std::move(handler))
{
    qApp->installEventFilter(this);
}

bool KeyPreview::eventFilter(QObject *watched, QEvent *event)
{
    // A key press reaches the window's toolkit window once, before it is handed to the focused
    // control and from there up through its parents, where a filter would meet it again.
    if (event->type() != QEvent::KeyPress || !watched->isWindowType() ||
        watched != m_window->windowHandle())
        return QObject::eventFilter(watched, event);
    qint16 keyCode = virtualKeyCode(static_cast<QKeyEvent *>(event)->key());
    m_handler(keyCode);
    return keyCode == 0;
}

} // namespace controls
