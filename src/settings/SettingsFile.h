#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

/// The settings file: its name, sections, keys, value texts and defaults, and the order in
/// which the program reads and writes them.
namespace settings {

inline const QString kPosition = QStringLiteral("Position");
inline const QString kLeft = QStringLiteral("Left");
inline const QString kTop = QStringLiteral("Top");
inline const QString kWidth = QStringLiteral("Width");
inline const QString kHeight = QStringLiteral("Height");
inline const QString kDisplay = QStringLiteral("Display");
inline const QString kTime = QStringLiteral("Time");
inline const QString kFolders = QStringLiteral("Folders");

constexpr float kDefaultLeft = 0.0f; // twips
constexpr float kDefaultTop = 0.0f;  // twips

/// The interval between pictures, in tenths of a second: what the interval scroll bar can take,
/// and its designed value, which is also the value of a missing "Time".
constexpr qint16 kIntervalMin = 5;
constexpr qint16 kIntervalMax = 50;
constexpr qint16 kIntervalDesigned = 20;
/// The unit of "Time" in the timer's milliseconds.
constexpr int kMillisecondsPerTenth = 100;

/// Folders the history keeps, and so the folder keys "00" .. "09" of the file.
constexpr int kFolderHistorySize = 10;

/// The settings file of an executable: its folder (a separator added unless it ends in one),
/// its name without extension, and ".ini".
QString settingsFilePath(const QString &appPath, const QString &exeBaseName);

/// Where the settings live: beside the executable whenever the file is there or can be made
/// there; for a copy installed in a folder we may not write, and always for one in the
/// system's own folders under /usr, "pelmora.ini" in the user's configuration folder, so that
/// its history is not lost at every close and no user's settings live in a package's folder.
/// The empty text when that is needed and there is no configuration folder: nowhere to keep
/// them.
QString settingsLocation(const QString &appPath, const QString &exeBaseName,
                         const QString &configDir);

/// The key of the folder entry at a 0-based list position: "00" .. "09".
QString folderKey(int index);

/// Outer place and size of the main window, in twips.
struct WindowPlace {
    float left = kDefaultLeft;
    float top = kDefaultTop;
    /// Outer width and height, frame included. No value where the file gives none: the window
    /// then keeps its designed inner area in whatever frame the window manager draws.
    std::optional<float> width;
    std::optional<float> height;
    /// False where the window system never tells a window where it stands (Wayland): only the
    /// size is written, and the file keeps the place an earlier session saved.
    bool positionKnown = true;
};

struct StoredSettings {
    WindowPlace place;
    qint16 time = kIntervalDesigned; ///< tenths of a second, within kIntervalMin .. kIntervalMax
    QStringList folders; ///< the history entries that are not empty and still exist, in order
};

/// The stored interval as a scroll-bar value: halves rounded to even, kept within range.
qint16 timeFromStored(float stored);

/// Reads the settings in their order: position, interval, then the folder keys "00" to "09".
StoredSettings readSettings(const QString &file);

/// Writes the settings in their order: the position only when given (the window is in its
/// normal state), the interval, the folder history anew; all of it reaches the file in one
/// replacement, so a crash meanwhile leaves the settings as they were, whole. A file in a
/// folder we may not write is written in place instead, without that guarantee. A failure, and
/// a file without a name (nowhere to write), is logged.
void writeSettings(const QString &file, const std::optional<WindowPlace> &place, int time,
                   const QStringList &folders);

} // namespace settings
