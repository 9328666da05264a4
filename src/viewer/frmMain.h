#pragma once

#include "picture_source/frmFileList.h"
#include "settings/SettingsFile.h"
#include "show/SlideShow.h"

#include <QHash>
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
} // namespace controls

/// The main window: the control panel while no show runs, the full-window picture display
/// while one does. The show itself is a state machine of its own that this window listens to;
/// the window's event handlers only hand their events on. One class; its implementation is
/// split by job, and each group of members below says in which file it lives.
class frmMain : public QWidget, private show::View {
    Q_OBJECT
public:
    // frmMain.cpp: the window and its controls in their designed state.
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    /// The picture source, created on first use.
    frmFileList &fileList();

    /// The show this window displays.
    show::SlideShow &slideShow() { return *m_show; }
    const show::ShowHistory &history() const { return m_show->history(); }
    qint16 historyPosition() const { return m_show->historyPosition(); }
    bool isLoading() const { return m_show->isLoading(); }

    /// Saves the settings as a close does, without closing: the desktop session asks for it
    /// before it ends.
    void saveSettings();

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
    show::Timer *Timer1 = nullptr; ///< the show's own
    controls::PictureBox *picTemp = nullptr;
    controls::ImageBox *Image1 = nullptr;

public slots:
    // frmMain_show.cpp: the show.
    void cmdStart_Click();
    void cmdEnd_Click();
    void Timer1_Timer();

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
    void mouseMoveEvent(QMouseEvent *event) override;
    // frmMain_lifecycle.cpp
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
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
    void createShow();

    // frmMain_lifecycle.cpp: start-up, resizing and shut-down.
    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    QString settingsFile() const;
    void applyPlace(const settings::WindowPlace &p);
    void reapplyRestoredPlace();
    bool eventFilter(QObject *watched, QEvent *event) override;

    // frmMain_panel.cpp
    bool scanFolder(const QString &folder);
    void scanSelectedFolder();
    void appendFolderToHistory(const QString &path);
    /// The history's entries: the folder's path as its data, shown readably.
    void addFolderEntry(const QString &path);
    QString folderAt(int index) const;

    // frmMain_input.cpp
    void createInput();
    /// Shows the pointer; over a show it hides again once it has been still for a while.
    void showPointer();

    // frmMain_show.cpp: what the show asks of its window and tells it to show.
    show::Order order() const override;
    show::DisplayKey display() const override;
    bool isMinimised() const override;
    void showPanel() override;
    void showShow() override;
    void showPicture(const imaging::Picture &picture) override;
    void showCaption(const QString &caption) override;
    void FitAndShow();
    void toggleFullScreen();
    void keepScreenOnWhileShown();
    void followMonitorColours();
    void takeMonitorProfile();

    std::unique_ptr<frmFileList> m_fileList;
    std::unique_ptr<show::SlideShow> m_show;
    bool m_doubleClick = false;
    QTimer m_pointerStill; // hides the pointer over a show
    QPointF m_pointerAt;   // where it was last seen, on the screen
    QString m_appPath;
    std::optional<settings::WindowPlace> m_restoredPlace; // until the window manager framed it
    bool m_unloaded = false;
    QByteArray m_monitorIcc; // as the desktop gave it for the window's monitor
    QHash<QByteArray, imaging::DisplayProfilePtr> m_readProfiles; // by the desktop's bytes
    imaging::DisplayProfilePtr m_monitorProfile; // what pictures are converted for (null: sRGB)
};
