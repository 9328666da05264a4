#include "viewer/ShowCaption.h"

#include "platform/DirSearch.h"
#include "platform/PathCodec.h"

QString showCaption(int orderFlag, const QString &pick)
{
    const QString mark =
        orderFlag == 0 || orderFlag == 1 ? QStringLiteral("NR").mid(orderFlag, 1) : QString();
    const QString name = platform::displayText(platform::existingName(pick, platform::kAttrNormal));
    return QStringLiteral("Pelmora(") + mark + QStringLiteral(")\u3000\u3010") + name +
           QStringLiteral("\u3011");
}

QString idleCaption()
{
    return QStringLiteral("Pelmora");
}
