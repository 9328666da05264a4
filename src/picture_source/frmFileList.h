#pragma once

#include <QObject>
#include <QStringList>

#include <functional>
#include <optional>

namespace source {
class DirListBox;
class FileListBox;
} // namespace source

/// The picture source's cursors, shared by the whole program: a show resets both to -1 when it
/// starts, and only the picture source moves them.
namespace Module1 {

/// Index into the picture source's list of folders.
extern qint32 lFolderIndex;
/// Index into the current folder's list of pictures.
extern qint32 lFileIndex;

} // namespace Module1

/// The picture source, a form that is never shown, so a plain object here. It scans a chosen folder
/// (and, with the sub-folder option, its immediate sub-folders) into the folders that hold
/// pictures, and hands out the next picture path in order or at random.
class frmFileList : public QObject {
    Q_OBJECT
public:
    /// @param subFolderOption reads the main window's sub-folder check box (1 = ticked).
    explicit frmFileList(std::function<int()> subFolderOption, QObject *parent = nullptr);
    ~frmFileList() override;

    /// Puts the cursors before the first picture, as a show does when it starts.
    void ResetCursors();

    /// Where the source stands: the folder it lists and both cursors.
    struct Place {
        QString folder;
        qint32 folderIndex = -1;
        qint32 fileIndex = -1;
    };
    Place place() const;
    /// Goes back to where the source stood, as if the picks since had never been drawn.
    void returnTo(const Place &place);

    /// Scans a folder into the folder list; true when at least one folder with pictures was
    /// stored. A path that does not exist changes nothing.
    bool SetFolder(const QString &strFolder);

    /// The next pick: a picture's full path; the empty text when the chosen folder lists no
    /// picture; the folder path and a separator when a random pick falls past the last file.
    /// @param iType 1 for a random pick, anything else for the next picture in order.
    QString GetRNDFile(qint16 iType);

    /// The pick the next in-order GetRNDFile would most likely return, without moving anything:
    /// the next picture of the current listing (wrapping in a single folder); the empty text
    /// when the walk would go on to another folder.
    QString NextInOrder() const;

    /// The stored folders; no value before the first scan of an existing folder.
    const std::optional<QStringList> &folders() const { return m_folders; }

    source::DirListBox *Dir1 = nullptr;
    source::FileListBox *File1 = nullptr;

private:
    bool IsDirectory(const QString &path) const;
    void Dir1_Change();
    QString randomPick();
    QString inOrderPick();
    QString currentPick() const;

    std::function<int()> m_subFolderOption;
    std::optional<QStringList> m_folders;
};
