// The slide show: start, ticks, fitting the picture to the window, and stopping.
#include "viewer/frmMain.h"

#include "controls/Controls.h"
#include "controls/PictureControls.h"
#include "controls/Window.h"
#include "controls/WindowTimer.h"
#include "imaging/Logging.h"
#include "imaging/Picture.h"
#include "picture_source/frmFileList.h"
#include "show/FitGeometry.h"
#include "show/ShowCaption.h"
#include "system/DirSearch.h"
#include "system/Paths.h"
#include "system/Twips.h"

#include <QFrame>

#include <algorithm>
#include <utility>

namespace {

// A tick gives up a picture that takes longer than this to decode, so no file holds up a show.
constexpr int kGiveUpMs = 10000;
constexpr int kGiveUpIntervals = 20;

} // namespace

void frmMain::cmdStart_Click()
{
    fileList().ResetCursors();
    Frame1->hide();
    // The pick Start draws is shown only if the window is resized before the first tick, and
    // only then decoded.
    m_startPick = NextPick();
    picTemp->setPicture(imaging::Picture());
    repaint(); // the panel goes before the first tick, not at it
    Timer1->setEnabled(true);
    DecodeAhead();
}

void frmMain::cmdEnd_Click()
{
    close();
}

void frmMain::Timer1_Timer()
{
    // Off while working: the interval counts from the end of this tick, and ticks never pile up.
    Timer1->setEnabled(false);
    m_startPick.reset();
    m_decodes.drop(DecodeFor::StartPick);
    m_tickPick = NextPick(true);
    m_resumeAfterTick = true;
    // The window answers while the pick decodes; the tick ends when it is there, or given up.
    m_giveUp.start(std::max(kGiveUpMs, kGiveUpIntervals * Timer1->interval()));
    LoadPick(DecodeFor::Tick, *m_tickPick,
             [this](const imaging::Picture &picture) { CompleteTick(picture); });
}

void frmMain::CompleteTick(const imaging::Picture &picture)
{
    m_giveUp.stop();
    m_decodes.drop(DecodeFor::Step); // a step asked for before this tick is older than it
    const QString pick = *std::exchange(m_tickPick, std::nullopt);
    m_beforeUnshown.reset();
    Image1->hide();
    picTemp->setPicture(picture);
    iHistoryPos = colHistory.add(pick);
    setWindowTitle(showCaption(chkRND->value(), pick));
    FitAndShow();
    Timer1->setEnabled(m_resumeAfterTick);
    DecodeAhead();
    SharpenIfBlurred(); // the window may have grown while the picture decoded
}

void frmMain::GiveUpTick()
{
    qCInfo(imaging::logging::picture).noquote()
        << "given up after" << m_giveUp.interval() / 1000 << "s:" << *m_tickPick;
    // The decode may be the one started ahead of the tick: it stops too.
    m_decodes.drop(DecodeFor::Tick);
    m_decodes.drop(DecodeFor::Ahead);
    CompleteTick(imaging::Picture());
}

void frmMain::StopShow()
{
    Frame1->show();
    Image1->setPicture(imaging::Picture());
    Timer1->setEnabled(false);
    setWindowTitle(idleCaption());
    // Nothing the show was decoding or had drawn ahead is wanted any more.
    m_decodes.dropAll();
    m_giveUp.stop();
    m_tickPick.reset();
    m_startPick.reset();
    m_drawnAhead.reset();
    // A pick the show drew but never showed leaves no trace: the next show starts from the
    // folder of the last picture the user saw.
    if (m_beforeUnshown)
        fileList().returnTo(*std::exchange(m_beforeUnshown, std::nullopt));
}

bool frmMain::isLoading() const
{
    return m_tickPick || m_decodes.waitingFor(DecodeFor::Step) ||
           m_decodes.waitingFor(DecodeFor::StartPick);
}

QString frmMain::DrawPick()
{
    // A pick ending in the separator fell one past a folder's last file: ask again.
    QString pick = fileList().GetRNDFile(static_cast<qint16>(chkRND->value()));
    while (pick.endsWith(sys::pathSeparator()))
        pick = fileList().GetRNDFile(static_cast<qint16>(chkRND->value()));
    return pick;
}

QString frmMain::NextPick(bool forTick)
{
    if (m_drawnAhead)
        return *std::exchange(m_drawnAhead, std::nullopt);
    if (forTick && !m_beforeUnshown)
        m_beforeUnshown = fileList().place();
    return DrawPick();
}

DisplayKey frmMain::displayKey() const
{
    return {controls::innerWidthTwips(this), controls::innerHeightTwips(this), sys::twipsPerPixel(),
            devicePixelRatioF()};
}

imaging::DisplaySize frmMain::displaySize() const
{
    // Plain values only: the size is asked for on a decoding thread.
    const DisplayKey key = displayKey();
    return [key](QSize picture) {
        const QRect fitted =
            fittedRect(picture, key.innerWidth, key.innerHeight, key.twipsPerPixel);
        return (QSizeF(fitted.size()) * key.devicePixelRatio).toSize();
    };
}

void frmMain::LoadPick(DecodeFor purpose, const QString &pick, const PictureDecodes::Ready &ready)
{
    if (pick.isEmpty())
        ready(imaging::Picture()); // the empty pick is the empty picture
    else
        m_decodes.want(purpose, pick, displaySize(), displayKey(), ready);
}

void frmMain::DecodeAhead()
{
    // In order, the next pick is foreseen; at random it is drawn now, one tick early, exactly
    // as the tick would draw it, so its picture can be decoded while this one is on screen.
    if (chkRND->value() == 1 && !m_drawnAhead) {
        m_beforeUnshown = fileList().place();
        m_drawnAhead = DrawPick();
    }
    const QString next = m_drawnAhead ? *m_drawnAhead : fileList().NextInOrder();
    if (next.isEmpty())
        m_decodes.drop(DecodeFor::Ahead);
    else
        m_decodes.want(DecodeFor::Ahead, next, displaySize(), displayKey());
}

void frmMain::FitAndShow()
{
    // One computation serves the display and the decoder's choice of size, so the two always
    // agree to the pixel. Every call reads the window's inner area afresh.
    const QRect fitted = fittedRect(picTemp->picture().size, controls::innerWidthTwips(this),
                                    controls::innerHeightTwips(this), sys::twipsPerPixel());
    // No picture, or a window with no inner area (minimised): nothing to fit, so nothing
    // changes; the next resize or tick fits again.
    if (fitted.isNull())
        return;
    Image1->setGeometry(fitted);
    Image1->setPicture(picTemp->picture());
    Image1->show();
}
