#include "show/ShowCaption.h"

#include "system/DirSearch.h"
#include "system/PathCodec.h"

namespace show {

QString showCaption(Order order, const QString &pick)
{
    const QString mark = order == Order::Random ? QStringLiteral("R") : QStringLiteral("N");
    const QString name = sys::displayText(sys::existingName(pick, sys::kAttrNormal));
    return QStringLiteral("Pelmora(") + mark + QStringLiteral(")\u3000\u3010") + name +
           QStringLiteral("\u3011");
}

QString idleCaption()
{
    return QStringLiteral("Pelmora");
}

} // namespace show
