// Writes the program's icon as PNG files for installation: make_icons <folder> <size>...
#include "viewer/AppIcon.h"

#include <QDir>

int main(int argc, char *argv[])
{
    if (argc < 2)
        return 2;
    const QString folder = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = QString::fromLocal8Bit(argv[i]).toInt();
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
        if (!QDir().mkpath(dir) ||
            !viewer::appIconImage(size).save(dir + QStringLiteral("/pelmora.png")))
            return 1;
    }
    return 0;
}
