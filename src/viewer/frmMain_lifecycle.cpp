// Start-up and shut-down: the saved place, interval and folder history, and resizing.
#include "viewer/frmMain.h"

#include "controls/Controls.h"
#include "controls/PictureControls.h"
#include "controls/Window.h"
#include "imaging/Picture.h"
#include "picture_source/frmFileList.h"
#include "settings/SettingsFile.h"
#include "system/DirSearch.h"
#include "system/Paths.h"
#include "system/Process.h"
#include "system/ScreenSaver.h"
#include "system/Twips.h"
#include "viewer/WindowPlacement.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTimer>
#include <QWindow>

#include <utility>

namespace {

// Long enough for any window manager to have framed a new window.
constexpr int kFramingWaitMs = 2000;

QList<QRectF> screensInTwips()
{
    QList<QRectF> screens;
    const auto toTwips = [](const QRect &r) {
        return QRectF(sys::pixelsToTwips(r.x()), sys::pixelsToTwips(r.y()),
                      sys::pixelsToTwips(r.width()), sys::pixelsToTwips(r.height()));
    };
    if (const QScreen *primary = QGuiApplication::primaryScreen())
        screens << toTwips(primary->availableGeometry());
    for (const QScreen *screen : QGuiApplication::screens())
        screens << toTwips(screen->geometry());
    return screens;
}

} // namespace

QString frmMain::settingsFile() const
{
    return settings::settingsLocation(m_appPath, sys::applicationBaseName(), sys::userConfigDir());
}

void frmMain::Form_Load()
{
    m_appPath = sys::withTrailingSeparator(sys::applicationDir());

    const settings::StoredSettings stored = settings::readSettings(settingsFile());
    m_restoredPlace =
        viewer::placeOnScreens(stored.place, kInnerWidth, kInnerHeight, screensInTwips());
    if (m_restoredPlace)
        applyPlace(*m_restoredPlace);

    HScroll1->setValue(stored.time); // its change handler runs only for a value other than 20

    cboFolders->setEnabled(false);
    for (const QString &folder : stored.folders)
        addFolderEntry(folder);
    cboFolders->setEnabled(true);
    if (cboFolders->count() == 0)
        cmdStart->setEnabled(false);
    else
        cboFolders->setCurrentIndex(cboFolders->count() - 1); // scans it and sets Start
    cboFolders->repaint();
}

void frmMain::applyPlace(const settings::WindowPlace &p)
{
    // Without a stored size the window keeps its designed inner area, so its outer size is
    // that and whatever frame the window manager has drawn by now.
    controls::moveOuterTwips(this, p.left, p.top,
                             p.width.value_or(kInnerWidth + controls::frameWidthTwips(this)),
                             p.height.value_or(kInnerHeight + controls::frameHeightTwips(this)));
}

void frmMain::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The place was applied before the frame's size was known; once framed, it is applied
    // again so the outer size is the saved one. Later moves are the user's. A window framed
    // by the toolkit itself (on Wayland) is framed once first drawn, and hears of no move.
    reapplyRestoredPlace();
    if (m_restoredPlace && windowHandle())
        windowHandle()->installEventFilter(this);
    QTimer::singleShot(kFramingWaitMs, this, [this] { m_restoredPlace.reset(); });
    followMonitorColours();
}

void frmMain::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    reapplyRestoredPlace();
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == windowHandle() && event->type() == QEvent::Expose)
        reapplyRestoredPlace();
    return QWidget::eventFilter(watched, event);
}

void frmMain::reapplyRestoredPlace()
{
    if (!m_restoredPlace || !controls::hasFrame(this))
        return;
    // Taken before it is applied: the move it makes comes back here.
    const settings::WindowPlace place = *std::exchange(m_restoredPlace, std::nullopt);
    if (windowHandle())
        windowHandle()->removeEventFilter(this);
    applyPlace(place);
}

void frmMain::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void frmMain::Form_Resize()
{
    // Only a show has a picture to refit; the panel keeps its designed places at any size. The
    // picture held is refitted at once, without touching its file; the show decodes what the
    // new size needs once it has settled.
    if (!Frame1 || !Frame1->isHidden())
        return;
    FitAndShow();
    m_show->resize();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (!m_unloaded)
        Form_Unload();
}

void frmMain::Form_Unload()
{
    m_unloaded = true;
    saveSettings();
    m_show->close();
    sys::screenSaverInhibitor().release();
    m_fileList.reset();
    sys::endProcess();
}

void frmMain::saveSettings()
{
    // Only a normal window has a place to save: maximised, minimised or full screen, the file
    // keeps the last normal one.
    std::optional<settings::WindowPlace> place;
    if (controls::windowState(this) == controls::WindowState::Normal)
        place =
            settings::WindowPlace{controls::outerLeftTwips(this), controls::outerTopTwips(this),
                                  controls::outerWidthTwips(this), controls::outerHeightTwips(this),
                                  controls::windowPositionKnown()};
    QStringList folders;
    for (int i = 0; i < cboFolders->count(); ++i)
        folders << folderAt(i);
    settings::writeSettings(settingsFile(), place, HScroll1->value(), folders);
}
