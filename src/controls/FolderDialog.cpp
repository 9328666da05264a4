#include "controls/FolderDialog.h"

#include <QDir>
#include <QFileDialog>

#include <utility>

namespace controls {

namespace {

class ToolkitFolderDialog : public FolderDialog {
public:
    QString chooseFolder(QWidget *owner) override
    {
        const QString chosen = QFileDialog::getExistingDirectory(
            owner, QString(), QDir::rootPath(),
            QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
        return chosen.isEmpty() ? QString() : QDir::toNativeSeparators(chosen);
    }
};

std::unique_ptr<FolderDialog> &installed()
{
    static std::unique_ptr<FolderDialog> dialog = std::make_unique<ToolkitFolderDialog>();
    return dialog;
}

} // namespace

FolderDialog &folderDialog()
{
    return *installed();
}

std::unique_ptr<FolderDialog> setFolderDialog(std::unique_ptr<FolderDialog> dialog)
{
    return std::exchange(installed(),
                         dialog ? std::move(dialog) : std::make_unique<ToolkitFolderDialog>());
}

} // namespace controls
