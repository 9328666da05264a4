#pragma once

#include "picture_source/FileListBox.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <optional>

namespace source {
class DirListBox;
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

    /// Where picks stand: both cursors and the listing the file cursor counts into.
    struct Cursor {
        qint32 folderIndex = -1;
        qint32 fileIndex = -1;
        source::Listing listing;
    };
    /// Where the source stands: the program-wide cursors and what the file list holds.
    Cursor cursor() const;
    /// The pick GetRNDFile would give from `at`, moving `at` past it as GetRNDFile moves the
    /// source; the source itself stays where it is, so picks can be drawn ahead of their turn.
    QString pickAfter(Cursor &at, qint16 iType);
    /// Makes the source stand at `at`, as if the picks that led there had been drawn here.
    void moveTo(const Cursor &at);
    /// `at` with its folder listed afresh and the file cursor on the same name, or on the last
    /// name before it that is still there: picks go on after what was last drawn.
    Cursor relisted(const Cursor &at) const;
    /// Whether the folder `at` counts into would list the same names now.
    bool listsAsBefore(const Cursor &at) const;

    /// Scans a folder into the folder list; true when at least one folder with pictures was
    /// stored. A path that does not exist changes nothing.
    bool SetFolder(const QString &strFolder);

    /// The next pick: a picture's full path; the empty text when the chosen folder lists no
    /// picture; the folder path and a separator when a random pick falls past the last file.
    /// @param iType 1 for a random pick, anything else for the next picture in order.
    QString GetRNDFile(qint16 iType);

    /// The stored folders; no value before the first scan of an existing folder.
    const std::optional<QStringList> &folders() const { return m_folders; }

    source::DirListBox *Dir1 = nullptr;
    source::FileListBox *File1 = nullptr;

private:
    bool IsDirectory(const QString &path) const;
    void Dir1_Change();
    QString randomPick(Cursor &at);
    QString inOrderPick(Cursor &at) const;
    static QString pickAt(const Cursor &at);

    std::function<int()> m_subFolderOption;
    std::optional<QStringList> m_folders;
};
