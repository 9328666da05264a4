#include "ShowHistory.h"

QString ShowHistory::item(int position) const {
    return position >= 1 && position <= count() ? m_entries.at(position - 1) : QString();
}

qint16 ShowHistory::add(const QString &pick) {
    if (count() + 1 > kCapacity)
        m_entries.removeFirst();
    m_entries.append(pick);
    return static_cast<qint16>(count());
}
