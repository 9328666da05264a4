#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include "system/FileStamp.h"

namespace source {

/// A file list: the names of the plain, non-hidden files of one folder that match its
/// pattern, without regard to case, in ascending order without regard to case.
class FileListBox : public QObject {
    Q_OBJECT
public:
    explicit FileListBox(QObject *parent = nullptr);

    /// Wildcard patterns separated by ";" ("*.JPG;*.JPEG").
    void setPattern(const QString &pattern);
    QString pattern() const { return m_pattern; }

    /// Points the list at a folder and reads it; a folder that cannot be read lists nothing.
    /// Pointing it again at the folder it lists reads nothing while the folder is unchanged on
    /// disk (same folder, same modification time), so huge folders cost one read.
    void setPath(const QString &folder);
    QString path() const { return m_path; }

    int count() const { return static_cast<int>(m_names.size()); }
    /// Name at index i; the empty text for any index outside 0 .. count - 1 (count included).
    QString item(int i) const;

private:
    void reread();

    sys::FileStamp m_stamp;
    bool m_trusted = false; // whether the stamp may stand for the listing next time

    QString m_path;
    QString m_pattern = QStringLiteral("*.*");
    QStringList m_patterns{QStringLiteral("*.*")};
    QStringList m_names;
};

} // namespace source
