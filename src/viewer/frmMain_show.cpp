// The show as this window displays it: its handlers hand their events to the show, and the
// show tells the window what to show.
#include "viewer/frmMain.h"

#include "controls/Controls.h"
#include "controls/PictureControls.h"
#include "controls/Window.h"
#include "imaging/Logging.h"
#include "show/FitGeometry.h"
#include "show/PictureCache.h"
#include "show/ShowCaption.h"
#include "system/MonitorProfiles.h"
#include "system/ScreenSaver.h"
#include "system/Twips.h"

#include <QEvent>
#include <QFrame>
#include <QScreen>
#include <QWindow>

void frmMain::createShow()
{
    show::View &view = *this;
    m_show = std::make_unique<show::SlideShow>(
        view, [this]() -> frmFileList & { return fileList(); },
        std::make_unique<show::PictureCache>());
    Timer1 = &m_show->tickTimer();
    Timer1->setInterval(settings::kIntervalDesigned * settings::kMillisecondsPerTenth);
    Timer1->setEnabled(false);
    connect(Timer1, &show::Timer::timer, this, &frmMain::Timer1_Timer);
}

void frmMain::cmdStart_Click()
{
    m_show->start();
}

void frmMain::cmdEnd_Click()
{
    close();
}

void frmMain::Timer1_Timer()
{
    m_show->tick();
}

show::Order frmMain::order() const
{
    return chkRND->value() == 1 ? show::Order::Random : show::Order::Sequential;
}

show::DisplayKey frmMain::display() const
{
    return {controls::innerWidthTwips(this), controls::innerHeightTwips(this), sys::twipsPerPixel(),
            devicePixelRatioF(), m_monitorProfile};
}

namespace {

// Monitors' profiles read and kept: a desktop has a few; one that keeps making new ones is
// read afresh.
constexpr int kProfilesRemembered = 16;

} // namespace

void frmMain::followMonitorColours()
{
    // The window's monitor is known once it is on screen; a move to another monitor, or a new
    // profile for the one it is on, changes what its pictures are converted for.
    connect(windowHandle(), &QWindow::screenChanged, this, &frmMain::takeMonitorProfile,
            Qt::UniqueConnection);
    connect(&sys::monitorProfiles(), &sys::MonitorProfiles::changed, this,
            &frmMain::takeMonitorProfile, Qt::UniqueConnection);
    takeMonitorProfile();
}

void frmMain::takeMonitorProfile()
{
    const QScreen *monitor = screen();
    const QByteArray icc = monitor ? sys::monitorProfiles().profileFor(monitor) : QByteArray();
    if (icc == m_monitorIcc)
        return;
    m_monitorIcc = icc;
    // Read once each, and a profile that cannot be used said once, however often the window
    // goes back to its monitor.
    if (!m_readProfiles.contains(icc)) {
        if (m_readProfiles.size() >= kProfilesRemembered)
            m_readProfiles.clear();
        QString why;
        m_readProfiles.insert(icc, imaging::DisplayProfile::fromIcc(icc, &why));
        if (!why.isEmpty())
            qCWarning(imaging::logging::picture).noquote()
                << "the profile of monitor" << monitor->name() << "is" << why
                << "- colours are shown as for sRGB";
    }
    imaging::DisplayProfilePtr profile = m_readProfiles.value(icc);
    if (imaging::sameProfile(profile, m_monitorProfile))
        return;
    m_monitorProfile = std::move(profile);
    m_show->resize(); // a show's picture, and those ahead, in the new colours
}

bool frmMain::isMinimised() const
{
    return controls::windowState(this) == controls::WindowState::Minimized;
}

void frmMain::showPanel()
{
    const bool fromShow = Frame1->isHidden();
    Frame1->show();
    keepScreenOnWhileShown();
    Image1->setPicture(imaging::Picture());
    setWindowTitle(show::idleCaption());
    showPointer();
    // The panel comes back in the window as it was before the show went full screen; a window
    // the window manager made full screen on the panel stays so.
    if (fromShow && isFullScreen())
        setWindowState(windowState() & ~Qt::WindowFullScreen);
}

void frmMain::showShow()
{
    Frame1->hide();
    picTemp->setPicture(imaging::Picture());
    repaint(); // the panel goes before the first tick, not at it
    keepScreenOnWhileShown();
    showPointer();
}

void frmMain::keepScreenOnWhileShown()
{
    // Running or paused, nobody touches the mouse during a show; a minimised one shows nothing,
    // and the screen saver may work.
    if (Frame1->isHidden() && !isMinimised())
        sys::screenSaverInhibitor().inhibit(tr("Slide show"));
    else
        sys::screenSaverInhibitor().release();
}

void frmMain::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && Frame1 && Frame1->isHidden()) {
        keepScreenOnWhileShown();
        m_show->resize(); // minimised, nothing is decoded; restored, the picture due is
    }
}

void frmMain::toggleFullScreen()
{
    // A maximised window stays maximised underneath and comes back so. The picture refits as
    // for any resize, whoever changed the state: this key or the window manager.
    setWindowState(windowState() ^ Qt::WindowFullScreen);
}

void frmMain::showPicture(const imaging::Picture &picture)
{
    picTemp->setPicture(picture);
    Image1->hide();
    FitAndShow();
}

void frmMain::showCaption(const QString &caption)
{
    setWindowTitle(caption);
}

void frmMain::FitAndShow()
{
    // One computation serves the display and the decoder's choice of size, so the two always
    // agree to the pixel. Every call reads the window's inner area afresh.
    const QRect fitted = show::fittedRect(picTemp->picture().size, controls::innerWidthTwips(this),
                                          controls::innerHeightTwips(this), sys::twipsPerPixel());
    // No picture, or a window with no inner area (minimised): nothing to fit, so nothing
    // changes; the next resize or tick fits again.
    if (fitted.isNull())
        return;
    Image1->setGeometry(fitted);
    Image1->setPicture(picTemp->picture());
    Image1->show();
}
