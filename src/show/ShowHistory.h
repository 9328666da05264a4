#pragma once

#include <QString>
#include <QStringList>

namespace show {

/// The last pictures a show put on screen, oldest at position 1, newest at count().
class ShowHistory {
public:
    static constexpr int kCapacity = 10;

    int count() const { return static_cast<int>(m_entries.size()); }
    /// Entry at a 1-based position; the empty text outside 1 .. count().
    QString item(int position) const;
    /// Appends at the newest end, dropping the oldest entry beyond the capacity.
    /// @return the new entry's position, which is count().
    qint16 add(const QString &pick);
    void clear() { m_entries.clear(); }

    /// The position one step back from `position`, wrapping from the oldest to the newest.
    qint16 previous(qint16 position) const;
    /// The position one step forward from `position`, wrapping from the newest to the oldest.
    qint16 next(qint16 position) const;

private:
    QStringList m_entries;
};

} // namespace show
