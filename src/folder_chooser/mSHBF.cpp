#include "folder_chooser/mSHBF.h"

#include "controls/FolderDialog.h"

#include <QPointer>
#include <QWidget>

namespace mSHBF {

namespace {

QPointer<QWidget> &ownerWindow()
{
    static QPointer<QWidget> owner;
    return owner;
}

} // namespace

void SetOwnerWindow(QWidget *owner)
{
    ownerWindow() = owner;
}

QString BrowseFolder()
{
    return controls::folderDialog().chooseFolder(ownerWindow());
}

} // namespace mSHBF
