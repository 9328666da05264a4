#include "show/ShowHistory.h"

namespace show {

QString ShowHistory::item(int position) const
{
    return position >= 1 && position <= count() ? m_entries.at(position - 1) : QString();
}

qint16 ShowHistory::add(const QString &pick)
{
    if (count() + 1 > kCapacity)
        m_entries.removeFirst();
    m_entries.append(pick);
    return static_cast<qint16>(count());
}

qint16 ShowHistory::previous(qint16 position) const
{
    const qint16 back = static_cast<qint16>(position - 1);
    return back <= 0 ? static_cast<qint16>(count()) : back;
}

qint16 ShowHistory::next(qint16 position) const
{
    const qint16 forward = static_cast<qint16>(position + 1);
    return forward > count() ? qint16(1) : forward;
}

} // namespace show
