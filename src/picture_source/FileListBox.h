#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include "system/FileStamp.h"

namespace source {

/// The pictures one folder listed when it was read.
struct Listing {
    QString folder;
    QStringList names;
    sys::FileStamp stamp;
    bool trusted = false; ///< whether the stamp may stand for the names next time
};

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
    QString path() const { return m_listing.folder; }

    int count() const { return static_cast<int>(m_listing.names.size()); }
    /// Name at index i; the empty text for any index outside 0 .. count - 1 (count included).
    QString item(int i) const;

    /// What the list holds now.
    const Listing &listing() const { return m_listing; }
    /// Makes the list hold a listing read before, without reading the folder.
    void setListing(const Listing &listing) { m_listing = listing; }
    /// What the list would hold if pointed at `folder`, which `previous` may already tell; the
    /// list itself stays as it is.
    Listing listingOf(const QString &folder, const Listing &previous) const;

private:
    QStringList namesIn(const QString &folder) const;

    QString m_pattern = QStringLiteral("*.*");
    QStringList m_patterns{QStringLiteral("*.*")};
    Listing m_listing;
};

} // namespace source
