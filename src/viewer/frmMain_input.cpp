// Keyboard and mouse: pause, stepping through the history, stop and quit.
#include "viewer/frmMain.h"

#include "controls/Clicks.h"
#include "controls/KeyPreview.h"
#include "controls/Keys.h"
#include "controls/PictureControls.h"

#include <QFrame>
#include <QMouseEvent>

namespace {

// How long the pointer may stay still over a show before it hides.
constexpr int kPointerHideMs = 2000;

} // namespace

void frmMain::createInput()
{
    // The window sees every key before the focused control does, so it can consume one. A key
    // held down does what one press does, but for the arrows, which step on while held.
    new controls::KeyPreview(
        this, [this](qint16 &keyCode) { Form_KeyDown(keyCode); },
        {controls::kVkEscape, controls::kVkSpace, controls::kVkReturn, controls::kVkF11});
    Frame1->setAttribute(Qt::WA_NoMousePropagation); // the panel is no window background
    connect(Image1, &controls::ImageBox::clicked, this, &frmMain::Image1_Click);
    connect(Image1, &controls::ImageBox::mouseUp, this, &frmMain::Image1_MouseUp);

    // Moves without a button reach the window over the picture too, so the pointer comes back.
    setMouseTracking(true);
    Image1->setMouseTracking(true);
    m_pointerStill.setSingleShot(true);
    m_pointerStill.setInterval(kPointerHideMs);
    connect(&m_pointerStill, &QTimer::timeout, this, [this] {
        if (Frame1->isHidden())
            setCursor(Qt::BlankCursor);
    });
}

void frmMain::showPointer()
{
    unsetCursor();
    if (Frame1->isHidden())
        m_pointerStill.start();
    else
        m_pointerStill.stop();
}

void frmMain::mouseMoveEvent(QMouseEvent *event)
{
    // The toolkit reports a move whenever the widget under the pointer changes, as the picture
    // does at every tick; only a pointer that went somewhere counts.
    const QPointF at = event->globalPosition();
    if (at != m_pointerAt) {
        m_pointerAt = at;
        showPointer();
    }
    event->accept();
}

void frmMain::mousePressEvent(QMouseEvent *event)
{
    event->accept();
}

void frmMain::mouseDoubleClickEvent(QMouseEvent *event)
{
    m_doubleClick = true;
    event->accept();
}

void frmMain::mouseReleaseEvent(QMouseEvent *event)
{
    Form_MouseUp(event->button());
    if (controls::releaseIsClick(this, event, m_doubleClick))
        Form_Click();
}

void frmMain::Form_KeyDown(qint16 &KeyCode)
{
    switch (KeyCode) {
    case controls::kVkSpace:
        KeyCode = 0; // also on the panel: Space never presses a button or ticks a box
        m_show->togglePause();
        return;
    case controls::kVkEscape:
        if (m_show->state() == show::SlideShow::State::Panel) {
            close();
        } else {
            m_show->stop();
            KeyCode = 0;
        }
        return;
    case controls::kVkF11:
        // Full screen belongs to the show; on the panel the key is the focused control's.
        if (m_show->state() != show::SlideShow::State::Panel) {
            toggleFullScreen();
            KeyCode = 0;
        }
        return;
    case controls::kVkLeft:
    case controls::kVkRight:
        // On the panel, or with nothing to step through, the arrows reach the focused control.
        if (m_show->step(KeyCode == controls::kVkLeft ? -1 : 1))
            KeyCode = 0;
        return;
    default:
        return;
    }
}

void frmMain::Form_Click()
{
    m_show->togglePause();
}

void frmMain::Image1_Click()
{
    m_show->togglePause();
}

void frmMain::Form_MouseUp(Qt::MouseButton Button)
{
    if (Button == Qt::RightButton)
        m_show->stop();
}

void frmMain::Image1_MouseUp(Qt::MouseButton Button)
{
    Form_MouseUp(Button);
}
