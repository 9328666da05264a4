// Keyboard and mouse during a show: pause, stepping through the history, stop and quit.
#include "viewer/frmMain.h"

#include "controls/Clicks.h"
#include "controls/KeyPreview.h"
#include "controls/Keys.h"
#include "controls/PictureControls.h"
#include "controls/WindowTimer.h"
#include "imaging/Picture.h"

#include <QFrame>
#include <QMouseEvent>

void frmMain::createInput()
{
    // The window sees every key before the focused control does, so it can consume one.
    new controls::KeyPreview(this, [this](qint16 &keyCode) { Form_KeyDown(keyCode); });
    Frame1->setAttribute(Qt::WA_NoMousePropagation); // the panel is no window background
    connect(Image1, &controls::ImageBox::clicked, this, &frmMain::Image1_Click);
    connect(Image1, &controls::ImageBox::mouseUp, this, &frmMain::Image1_MouseUp);
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
        TogglePause();
        return;
    case controls::kVkEscape:
        if (!Frame1->isHidden()) {
            close();
        } else {
            StopShow();
            KeyCode = 0;
        }
        return;
    default:
        break;
    }
    if (colHistory.count() == 0 || !Frame1->isHidden())
        return;
    if (KeyCode == controls::kVkLeft)
        iHistoryPos = colHistory.previous(iHistoryPos);
    else if (KeyCode == controls::kVkRight)
        iHistoryPos = colHistory.next(iHistoryPos);
    else
        return;
    ShowHistoryEntry();
    KeyCode = 0;
}

void frmMain::Form_Click()
{
    TogglePause();
}

void frmMain::Image1_Click()
{
    TogglePause();
}

void frmMain::Form_MouseUp(Qt::MouseButton Button)
{
    if (Button == Qt::RightButton)
        StopShow();
}

void frmMain::Image1_MouseUp(Qt::MouseButton Button)
{
    Form_MouseUp(Button);
}

void frmMain::TogglePause()
{
    if (!Frame1->isHidden())
        return;
    // A tick waiting for its picture ends first, then stays paused (or runs on).
    if (m_tickPick)
        m_resumeAfterTick = !m_resumeAfterTick;
    else
        Timer1->setEnabled(!Timer1->isEnabled());
}

void frmMain::ShowHistoryEntry()
{
    // A file gone or spoilt since it was shown loads as the empty picture: the step shows
    // nothing and the show goes on.
    LoadPick(DecodeFor::Step, colHistory.item(iHistoryPos), [this](const imaging::Picture &p) {
        picTemp->setPicture(p);
        Image1->hide();
        FitAndShow();
    });
}
