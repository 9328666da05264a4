#pragma once

#include "ShowHistory.h"

#include <QWidget>

#include <memory>

class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;
class frmFileList;

namespace platform {
class CheckBox;
class ComboBox;
class ImageBox;
class PictureBox;
class WindowTimer;
} // namespace platform

/// The main window: the control panel while no show runs, the full-window picture display
/// while one does.
class frmMain : public QWidget {
    Q_OBJECT
public:
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    /// The picture source, created on first use.
    frmFileList &fileList();

    /// The history of pictures shown by ticks, oldest first, at most ten.
    const ShowHistory &history() const { return colHistory; }
    /// 1-based position in the history of the picture on screen; 0 before the first tick.
    qint16 historyPosition() const { return iHistoryPos; }

    // The control panel and its controls.
    QFrame *Frame1 = nullptr;
    platform::CheckBox *chkRND = nullptr;
    QPlainTextEdit *Text1 = nullptr;
    platform::ComboBox *cboFolders = nullptr;
    QPushButton *cmdStart = nullptr;
    QPushButton *cmdEnd = nullptr;
    QScrollBar *HScroll1 = nullptr;
    QPushButton *cmdFolder = nullptr;
    platform::CheckBox *chkSub = nullptr;
    QLabel *lblTime = nullptr;
    QLabel *Label1 = nullptr;
    // The show.
    platform::WindowTimer *Timer1 = nullptr;
    platform::PictureBox *picTemp = nullptr;
    platform::ImageBox *Image1 = nullptr;

public slots:
    void cmdStart_Click();
    void cmdEnd_Click();
    void Timer1_Timer();
    /// Back from a running or paused show to the control panel.
    void StopShow();

    void cmdFolder_Click();
    void cboFolders_Click();
    void chkSub_Click();
    void HScroll1_Change();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void createWindow();
    void createDisplay();
    void createPanel();
    void createPanelButtons();
    void createPanelInterval();
    void createPanelFolders();
    void createHelpText();
    void createTimer();
    void createTabOrder();

    void Form_Resize();
    bool ScanFolder(const QString &folder);
    void ScanSelectedFolder();
    void appendFolderToHistory(const QString &path);
    QString DrawPick();
    void FitAndShow();

    std::unique_ptr<frmFileList> m_fileList;
    ShowHistory colHistory;
    qint16 iHistoryPos = 0;
};
