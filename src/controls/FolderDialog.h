#pragma once

#include <QString>

#include <memory>

class QWidget;

namespace controls {

/// The modal folder chooser the program asks the user with. Tests install their own.
class FolderDialog {
public:
    virtual ~FolderDialog() = default;
    /// Asks for a folder, modal to `owner`, starting at the top of the file system.
    /// @return the chosen folder's full path in native form, or the empty text on cancel.
    virtual QString chooseFolder(QWidget *owner) = 0;
};

/// The chooser in use: a folder tree of the whole file system unless another was installed.
FolderDialog &folderDialog();

/// Replaces the chooser; nullptr goes back to the folder tree.
/// @return the chooser it replaced
std::unique_ptr<FolderDialog> setFolderDialog(std::unique_ptr<FolderDialog> dialog);

} // namespace controls
