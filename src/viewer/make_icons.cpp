// Writes the program's icon as PNG files for installation: make_icons <folder>.
#include "viewer/AppIcon.h"

#include <QDir>

int main(int argc, char *argv[])
{
    if (argc < 2)
        return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    for (int size : {16, 32}) {
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
        if (!QDir().mkpath(dir) || !appIconImage(size).save(dir + QStringLiteral("/pelmora.png")))
            return 1;
    }
    return 0;
}
