#pragma once

#include <QString>

#include <functional>

namespace sys {

/// The folder that holds the executable (as the system reports it, without a trailing separator).
QString applicationDir();

/// The executable's file name without its extension.
QString applicationBaseName();

/// The user's configuration folder: $XDG_CONFIG_HOME where it is an absolute path, else
/// ".config" in the home folder. The home folder is $HOME, or the password database's where
/// $HOME is unset or empty (a program started by a service or an autostart); the empty text
/// when the user has none at all.
QString userConfigDir();

/// Makes the program believe it runs from another executable path; the empty text undoes it.
/// @return the path it replaced (empty for the real one)
QString setApplicationFile(const QString &path);

/// Lets a write beyond the file-size limit (ulimit -f) fail, as on a full disk, instead of
/// ending the program on the spot: the settings are then kept as they were, whole.
void letOversizedWritesFail();

/// Lets blocks of a megabyte or more go back to the system once freed, not stay in the heap of
/// the thread that freed them: decoded pictures are that large, and each worker thread has a
/// heap of its own.
void returnLargeBlocksToSystem();

/// Ends the program at once: no other handler runs after the current one.
void endProcess();

/// Replaces what ending the program does; an empty function restores the default.
/// @return the function it replaced (empty for the default)
std::function<void()> setProcessEnder(std::function<void()> ender);

} // namespace sys
