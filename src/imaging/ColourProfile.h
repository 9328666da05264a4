#pragma once

#include <QByteArray>
#include <QColorSpace>
#include <QImage>
#include <QString>

#include <memory>

namespace imaging {

/// A monitor's colour profile, read once: what its pixel values mean, so that a picture's
/// colours can be given as that monitor shows them. Immutable; safe to share between threads.
class DisplayProfile {
public:
    /// The profile an ICC file holds. Null for an sRGB monitor's, which needs no conversion,
    /// and for one pictures cannot be converted into (unreadable, not RGB, not for a display),
    /// which is then taken for sRGB and says why in `why`.
    static std::shared_ptr<const DisplayProfile> fromIcc(const QByteArray &icc,
                                                         QString *why = nullptr);

    const QByteArray &icc() const { return m_icc; }
    /// What tells two profiles apart: the digest of their bytes.
    const QByteArray &id() const { return m_id; }
    /// The profile's own name for itself, for log lines.
    const QString &description() const { return m_description; }
    /// The profile as the toolkit reads it where it is only curves and a matrix; invalid where
    /// it has tables, which only a full colour engine reads.
    const QColorSpace &curves() const { return m_curves; }

private:
    DisplayProfile(QByteArray icc, QByteArray id, QString description, QColorSpace curves);

    QByteArray m_icc;
    QByteArray m_id;
    QString m_description;
    QColorSpace m_curves;
};

using DisplayProfilePtr = std::shared_ptr<const DisplayProfile>;

/// Whether two monitors' profiles are the same (null: sRGB).
bool sameProfile(const DisplayProfilePtr &a, const DisplayProfilePtr &b);

/// The image's colours, which `source` (an ICC profile; empty for sRGB) describes, as the
/// monitor of `display` (null: sRGB) shows them. A source profile that cannot be used, or
/// that does not fit the image (grey on a colour picture), counts as sRGB. Conversions are
/// made once for each pair of profiles. Safe to call from any thread.
QImage convertedForDisplay(QImage image, const QByteArray &source, const DisplayProfile *display);

} // namespace imaging
