#include "SettingsFile.h"

#include "DirSearch.h"
#include "Numbers.h"
#include "PathCodec.h"
#include "cInifile.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QtGlobal>

#include <unistd.h>

#include <cmath>
#include <limits>

namespace settings {

QString settingsFilePath(const QString &appPath, const QString &exeBaseName)
{
    QString path = appPath;
    if (!path.endsWith(platform::pathSeparator()))
        path += platform::pathSeparator();
    return path + exeBaseName + QStringLiteral(".ini");
}

namespace {

// The system's program folders belong to its packages: nothing of one user's goes there, even
// when the user may write them.
bool isSystemFolder(const QString &folder)
{
    return QFileInfo(folder).canonicalFilePath().startsWith(QLatin1String("/usr/"));
}

} // namespace

QString settingsLocation(const QString &appPath, const QString &exeBaseName,
                         const QString &configDir)
{
    const QString beside = settingsFilePath(appPath, exeBaseName);
    const QFileInfo file(beside);
    const bool writable =
        ::access(platform::encodePath(file.absolutePath()).constData(), W_OK) == 0;
    if (file.exists() || (writable && !isSystemFolder(appPath)) || configDir.isEmpty())
        return beside;
    return settingsFilePath(configDir, QStringLiteral("pelmora"));
}

QString folderKey(int index)
{
    return platform::twoDigits(index);
}

qint16 timeFromStored(float stored)
{
    if (!std::isfinite(stored))
        return static_cast<qint16>(kDefaultTime);
    const double rounded = platform::roundHalfEven(stored);
    return static_cast<qint16>(qBound<double>(kTimeMin, rounded, kTimeMax));
}

namespace {

// Numbers go into the file alike in every locale (ASCII digits, a point, no grouping), so the
// next start reads them back whatever locale it runs in.
QString storedNumber(float value)
{
    return platform::singleToText(value, QLocale::c());
}

std::optional<float> storedLength(cInifile &ini, const QString &key)
{
    const float none = std::numeric_limits<float>::quiet_NaN();
    const float stored = ini.ReadSingle(kPosition, key, none);
    return std::isnan(stored) ? std::nullopt : std::optional<float>(stored);
}

} // namespace

StoredSettings readSettings(const QString &file)
{
    cInifile ini;
    ini.setFileName(file);
    StoredSettings stored;
    stored.place.left = ini.ReadSingle(kPosition, kLeft, kDefaultLeft);
    stored.place.top = ini.ReadSingle(kPosition, kTop, kDefaultTop);
    stored.place.width = storedLength(ini, kWidth);
    stored.place.height = storedLength(ini, kHeight);
    stored.time = timeFromStored(ini.ReadSingle(kDisplay, kTime, kDefaultTime));
    for (int i = 0; i < kFolderSlots; ++i) {
        const QString folder = ini.ReadStr(kFolders, folderKey(i), QString());
        if (!folder.isEmpty() && platform::searchFinds(folder, platform::kAttrDirectory))
            stored.folders << folder;
    }
    return stored;
}

void writeSettings(const QString &file, const std::optional<WindowPlace> &place, int time,
                   const QStringList &folders)
{
    QDir().mkpath(QFileInfo(file).absolutePath()); // a configuration folder may not exist yet
    cInifile ini;
    ini.setFileName(file);
    if (place) {
        ini.WriteStr(kPosition, kLeft, storedNumber(place->left));
        ini.WriteStr(kPosition, kTop, storedNumber(place->top));
        // A size nobody knows is not stored: the next start then keeps the designed one.
        if (place->width)
            ini.WriteStr(kPosition, kWidth, storedNumber(*place->width));
        if (place->height)
            ini.WriteStr(kPosition, kHeight, storedNumber(*place->height));
    }
    ini.WriteStr(kDisplay, kTime, QString::number(time));
    ini.DeleteSection(kFolders);
    for (int i = 0; i < folders.size(); ++i)
        ini.WriteStr(kFolders, folderKey(i), folders.at(i));
    ini.Refresh();
}

} // namespace settings
