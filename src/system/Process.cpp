#include "system/Process.h"

#include "system/PathCodec.h"
#include "system/Paths.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <malloc.h>
#include <pwd.h>
#include <unistd.h>

#include <csignal>
#include <utility>

namespace sys {

namespace {

QString &applicationFileOverride()
{
    static QString path;
    return path;
}

std::function<void()> &processEnder()
{
    static std::function<void()> ender;
    return ender;
}

QFileInfo applicationFile()
{
    const QString &override = applicationFileOverride();
    return QFileInfo(override.isEmpty() ? QCoreApplication::applicationFilePath() : override);
}

} // namespace

QString userConfigDir()
{
    const QByteArray configHome = qgetenv("XDG_CONFIG_HOME");
    if (configHome.startsWith('/'))
        return decodePath(configHome);
    QByteArray home = qgetenv("HOME");
    if (home.isEmpty()) {
        // The toolkit would take the file system's root for a home: no user's settings go there.
        if (const passwd *user = ::getpwuid(::getuid()); user && user->pw_dir)
            home = user->pw_dir;
    }
    if (home.isEmpty())
        return QString();
    return withTrailingSeparator(decodePath(home)) + QStringLiteral(".config");
}

QString applicationDir()
{
    return applicationFile().absolutePath();
}

QString applicationBaseName()
{
    return applicationFile().completeBaseName();
}

QString setApplicationFile(const QString &path)
{
    return std::exchange(applicationFileOverride(), path);
}

void letOversizedWritesFail()
{
    ::signal(SIGXFSZ, SIG_IGN); // such a write now returns EFBIG
}

void returnLargeBlocksToSystem()
{
    ::mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
}

void endProcess()
{
    if (processEnder())
        processEnder()();
    else
        QCoreApplication::quit(); // the event loop returns before it dispatches anything else
}

std::function<void()> setProcessEnder(std::function<void()> ender)
{
    return std::exchange(processEnder(), std::move(ender));
}

} // namespace sys
