#pragma once

#include "imaging/Picture.h"
#include "picture_source/frmFileList.h"
#include "settings/SettingsFile.h"
#include "show/PictureDecodes.h"
#include "show/ShowHistory.h"

#include <QTimer>
#include <QWidget>

#include <memory>
#include <optional>

class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;

namespace controls {
class CheckBox;
class ComboBox;
class ImageBox;
class PictureBox;
class WindowTimer;
} // namespace controls

/// The main window: the control panel while no show runs, the full-window picture display
/// while one does. One class; its implementation is split by job, and each group of members
/// below says in which file it lives.
class frmMain : public QWidget {
    Q_OBJECT
public:
    // frmMain.cpp: the window and its controls in their designed state.
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    /// The picture source, created on first use.
    frmFileList &fileList();

    /// The history of pictures shown by ticks, oldest first, at most ten.
    const ShowHistory &history() const { return colHistory; }
    /// 1-based position in the history of the picture on screen; 0 before the first tick.
    qint16 historyPosition() const { return iHistoryPos; }
    /// Whether a tick, a step through the history or a resize waits for its picture to decode.
    bool isLoading() const;

    // The control panel and its controls.
    QFrame *Frame1 = nullptr;
    controls::CheckBox *chkRND = nullptr;
    QPlainTextEdit *Text1 = nullptr;
    controls::ComboBox *cboFolders = nullptr;
    QPushButton *cmdStart = nullptr;
    QPushButton *cmdEnd = nullptr;
    QScrollBar *HScroll1 = nullptr;
    QPushButton *cmdFolder = nullptr;
    controls::CheckBox *chkSub = nullptr;
    QLabel *lblTime = nullptr;
    QLabel *Label1 = nullptr;
    // The show.
    controls::WindowTimer *Timer1 = nullptr;
    controls::PictureBox *picTemp = nullptr;
    controls::ImageBox *Image1 = nullptr;

public slots:
    // frmMain_show.cpp: the show.
    void cmdStart_Click();
    void cmdEnd_Click();
    void Timer1_Timer();
    /// Back from a running or paused show to the control panel.
    void StopShow();

    // frmMain_panel.cpp: the control panel.
    void cmdFolder_Click();
    void cboFolders_Click();
    void chkSub_Click();
    void HScroll1_Change();

    // frmMain_input.cpp: keys and mouse.
    /// The window's view of a key before the focused control's; setting KeyCode to 0
    /// consumes the key. Modifiers make no difference.
    void Form_KeyDown(qint16 &KeyCode);
    void Form_Click();
    void Form_MouseUp(Qt::MouseButton Button);
    void Image1_Click();
    void Image1_MouseUp(Qt::MouseButton Button);

protected:
    // frmMain_input.cpp
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    // frmMain_lifecycle.cpp
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // frmMain.cpp
    static constexpr float kInnerWidth = 3900; ///< the designed inner area, in twips
    static constexpr float kInnerHeight = 3375;
    void createWindow();
    void createDisplay();
    void createPanel();
    void createPanelFolderChoice();
    void createPanelInterval();
    void createPanelButtons();
    void createPanelFolderList();
    void createHelpText();
    void createPanelOrderOption();
    void createTimer();

    // frmMain_lifecycle.cpp: start-up, resizing and shut-down.
    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    QString settingsFile() const;
    void applyRestoredPlace();
    void ResizeSettled();
    void SharpenIfBlurred();
    void UseSharperPicture(const imaging::Picture &sharper);

    // frmMain_panel.cpp
    bool ScanFolder(const QString &folder);
    void ScanSelectedFolder();
    void appendFolderToHistory(const QString &path);

    // frmMain_input.cpp
    void createInput();
    void TogglePause();
    void ShowHistoryEntry();

    // frmMain_show.cpp
    void CompleteTick(const imaging::Picture &picture);
    void GiveUpTick();
    QString DrawPick();
    /// The pick drawn ahead, or a new one; a tick's pick counts as unshown until it is shown.
    QString NextPick(bool forTick = false);
    imaging::DisplaySize displaySize() const;
    DisplayKey displayKey() const;
    void LoadPick(DecodeFor purpose, const QString &pick, const PictureDecodes::Ready &ready);
    void DecodeAhead();
    void FitAndShow();

    std::unique_ptr<frmFileList> m_fileList;
    PictureDecodes m_decodes;
    std::optional<QString> m_tickPick;   // the pick of a tick that waits for its picture
    bool m_resumeAfterTick = true;       // false when paused while a tick waits
    QTimer m_giveUp;                     // ends a tick whose picture takes too long
    std::optional<QString> m_startPick;  // drawn by Start, decoded only if a resize shows it
    std::optional<QString> m_drawnAhead; // the next random pick, drawn one tick early
    // Where the picture source stood before the first pick drawn and not yet shown.
    std::optional<frmFileList::Place> m_beforeUnshown;
    QTimer m_resizeSettled; // dragging the frame resizes many times; decode once after
    ShowHistory colHistory;
    qint16 iHistoryPos = 0;
    bool m_doubleClick = false;
    QString sAppPath;
    std::optional<settings::WindowPlace> m_restoredPlace; // until the window manager framed it
    bool m_unloaded = false;
};
