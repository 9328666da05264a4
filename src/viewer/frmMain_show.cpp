// The slide show: start, ticks, fitting the picture to the window, and stopping.
#include "viewer/frmMain.h"

#include "picture_source/frmFileList.h"
#include "platform/Controls.h"
#include "platform/DirSearch.h"
#include "platform/Paths.h"
#include "platform/Picture.h"
#include "platform/PictureControls.h"
#include "platform/Twips.h"
#include "platform/Window.h"
#include "platform/WindowTimer.h"
#include "viewer/FitGeometry.h"
#include "viewer/ShowCaption.h"

#include <QFrame>

void frmMain::cmdStart_Click()
{
    fileList().ResetCursors();
    Frame1->hide();
    picTemp->setPicture(LoadPick(DrawPick()));
    repaint(); // the panel goes before the first tick, not at it
    Timer1->setEnabled(true);
    PrefetchNextPick();
}

void frmMain::cmdEnd_Click()
{
    close();
}

void frmMain::Timer1_Timer()
{
    // Off while working: the interval counts from the end of this tick, and ticks never pile up.
    Timer1->setEnabled(false);
    Image1->hide();
    const QString pick = DrawPick();
    picTemp->setPicture(LoadPick(pick));
    iHistoryPos = colHistory.add(pick);
    setWindowTitle(showCaption(chkRND->value(), pick));
    FitAndShow();
    Timer1->setEnabled(true);
    PrefetchNextPick();
}

void frmMain::StopShow()
{
    Frame1->show();
    Image1->setPicture(platform::Picture());
    Timer1->setEnabled(false);
    setWindowTitle(idleCaption());
    m_prefetch.clear();
    m_sharpening.drop();
}

QString frmMain::DrawPick()
{
    // A pick ending in the separator fell one past a folder's last file: ask again.
    QString pick = fileList().GetRNDFile(static_cast<qint16>(chkRND->value()));
    while (pick.endsWith(platform::pathSeparator()))
        pick = fileList().GetRNDFile(static_cast<qint16>(chkRND->value()));
    return pick;
}

DisplayKey frmMain::displayKey() const
{
    return {platform::innerWidthTwips(this), platform::innerHeightTwips(this),
            platform::twipsPerPixel(), devicePixelRatioF()};
}

platform::DisplaySize frmMain::displaySize() const
{
    // Plain values only: the size may be asked for on a decoding thread.
    const DisplayKey key = displayKey();
    return [key](QSize picture) {
        const QRect fitted =
            fittedRect(picture, key.innerWidth, key.innerHeight, key.twipsPerPixel);
        return (QSizeF(fitted.size()) * key.devicePixelRatio).toSize();
    };
}

platform::Picture frmMain::LoadPick(const QString &pick)
{
    platform::Picture picture;
    if (m_prefetch.take(pick, displayKey(), picture))
        return picture;
    return platform::loadPicture(pick, displaySize());
}

void frmMain::PrefetchNextPick()
{
    // Random picks cannot be foreseen: the generator is seeded from the clock at the pick.
    if (chkRND->value() == 0)
        m_prefetch.start(fileList().NextInOrder(), displaySize(), displayKey());
}

void frmMain::FitAndShow()
{
    // One computation serves the display and the decoder's choice of size, so the two always
    // agree to the pixel. Every call reads the window's inner area afresh.
    const QRect fitted = fittedRect(picTemp->picture().size, platform::innerWidthTwips(this),
                                    platform::innerHeightTwips(this), platform::twipsPerPixel());
    // No picture, or a window with no inner area (minimised): nothing to fit, so nothing
    // changes; the next resize or tick fits again.
    if (fitted.isNull())
        return;
    Image1->setGeometry(fitted);
    Image1->setPicture(picTemp->picture());
    Image1->show();
}
