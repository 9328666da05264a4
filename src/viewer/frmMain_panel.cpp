// The control panel: the folder dialog, the folder history, the sub-folder option and the
// interval.
#include "viewer/frmMain.h"

#include "controls/BusyCursor.h"
#include "controls/Controls.h"
#include "folder_chooser/mSHBF.h"
#include "picture_source/frmFileList.h"
#include "settings/SettingsFile.h"
#include "system/Numbers.h"
#include "system/PathCodec.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

void frmMain::cmdFolder_Click()
{
    mSHBF::SetOwnerWindow(this);
    const QString path = mSHBF::BrowseFolder();
    if (path.isEmpty())
        return;
    cmdStart->setEnabled(scanFolder(path));
    appendFolderToHistory(path);
    cboFolders->setCurrentIndex(cboFolders->count() - 1); // scans it again, as any selection does
    cboFolders->repaint();
}

void frmMain::cboFolders_Click()
{
    scanSelectedFolder();
}

void frmMain::chkSub_Click()
{
    scanSelectedFolder();
}

void frmMain::HScroll1_Change()
{
    const qint16 tenths = static_cast<qint16>(HScroll1->value());
    lblTime->setText(sys::singleToText(static_cast<float>(tenths) / 10.0f));
    Timer1->setInterval(static_cast<qint16>(HScroll1->value() * settings::kMillisecondsPerTenth));
}

bool frmMain::scanFolder(const QString &folder)
{
    // A scan blocks the window; say so with the pointer.
    const controls::BusyCursor busy;
    return fileList().SetFolder(folder);
}

void frmMain::scanSelectedFolder()
{
    if (cboFolders->currentIndex() < 0)
        return;
    cmdStart->setEnabled(scanFolder(folderAt(cboFolders->currentIndex())));
}

void frmMain::appendFolderToHistory(const QString &path)
{
    cboFolders->setEnabled(false);
    if (cboFolders->count() >= settings::kFolderHistorySize)
        cboFolders->removeItem(0);
    addFolderEntry(path);
    cboFolders->setEnabled(true);
}

void frmMain::addFolderEntry(const QString &path)
{
    // A name that is no UTF-8 is shown readably, and the folder kept by its own bytes.
    cboFolders->addItem(sys::displayText(path), path);
}

QString frmMain::folderAt(int index) const
{
    return cboFolders->itemData(index).toString();
}
