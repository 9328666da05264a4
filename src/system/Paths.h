#pragma once

#include <QChar>
#include <QString>

namespace sys {

/// The path separator the program joins folder and name with.
inline QChar pathSeparator()
{
    return QLatin1Char('/');
}

/// A folder's path ending in the separator, as a root folder's does already.
inline QString withTrailingSeparator(QString folder)
{
    if (!folder.endsWith(pathSeparator()))
        folder += pathSeparator();
    return folder;
}

} // namespace sys
