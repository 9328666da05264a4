#include "settings/SettingsFile.h"

#include "settings/Logging.h"
#include "settings/cInifile.h"
#include "system/DirSearch.h"
#include "system/Numbers.h"
#include "system/PathCodec.h"
#include "system/Paths.h"

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
    return sys::withTrailingSeparator(appPath) + exeBaseName + QStringLiteral(".ini");
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
    const bool writable = ::access(sys::encodePath(file.absolutePath()).constData(), W_OK) == 0;
    if (!isSystemFolder(appPath) && (file.exists() || writable))
        return beside;
    return configDir.isEmpty() ? QString() : settingsFilePath(configDir, QStringLiteral("pelmora"));
}

QString folderKey(int index)
{
    return sys::twoDigits(index);
}

qint16 timeFromStored(float stored)
{
    if (!std::isfinite(stored))
        return kIntervalDesigned;
    const double rounded = sys::roundHalfEven(stored);
    return static_cast<qint16>(qBound<double>(kIntervalMin, rounded, kIntervalMax));
}

namespace {

// Numbers go into the file alike in every locale (ASCII digits, a point, no grouping), so the
// next start reads them back whatever locale it runs in.
QString storedNumber(float value)
{
    return sys::singleToText(value, QLocale::c());
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
    stored.time = timeFromStored(ini.ReadSingle(kDisplay, kTime, float(kIntervalDesigned)));
    for (int i = 0; i < kFolderHistorySize; ++i) {
        const QString folder = ini.ReadStr(kFolders, folderKey(i), QString());
        if (!folder.isEmpty() && sys::searchFinds(folder, sys::kAttrDirectory))
            stored.folders << folder;
        else if (!folder.isEmpty())
            qCInfo(settings::logging::settings).noquote()
                << "a stored folder is gone:" << sys::displayText(folder);
    }
    return stored;
}

void writeSettings(const QString &file, const std::optional<WindowPlace> &place, int time,
                   const QStringList &folders)
{
    if (file.isEmpty()) {
        qCWarning(settings::logging::settings)
            << "the settings cannot be saved: the user has no home folder to keep them in";
        return;
    }
    QDir().mkpath(QFileInfo(file).absolutePath()); // a configuration folder may not exist yet
    cInifile ini;
    ini.setFileName(file);
    if (place && place->positionKnown) {
        ini.WriteStr(kPosition, kLeft, storedNumber(place->left));
        ini.WriteStr(kPosition, kTop, storedNumber(place->top));
    }
    if (place) {
        // A size nobody knows is not stored: the next start then keeps the designed one.
        if (place->width)
            ini.WriteStr(kPosition, kWidth, storedNumber(*place->width));
        if (place->height)
            ini.WriteStr(kPosition, kHeight, storedNumber(*place->height));
    }
    // The interval is always written: whether it takes tells whether the file takes any.
    const bool takesChanges = ini.WriteStr(kDisplay, kTime, QString::number(time)) != 0;
    ini.DeleteSection(kFolders);
    for (int i = 0; i < folders.size(); ++i) {
        // A line of the file holds one value: a name with a line break in it has no place there.
        if (ini.WriteStr(kFolders, folderKey(i), folders.at(i)) == 0 && takesChanges)
            qCWarning(settings::logging::settings).noquote()
                << "a folder whose name the settings file cannot hold is not kept:"
                << sys::displayText(folders.at(i));
    }
    if (ini.Refresh() == 0 || !takesChanges)
        qCWarning(settings::logging::settings).noquote()
            << "the settings could not be written to" << sys::displayText(file)
            << "- they stay as they were";
}

} // namespace settings
