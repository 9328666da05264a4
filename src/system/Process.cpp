#include "system/Process.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <csignal>

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

QString applicationDir()
{
    return applicationFile().absolutePath();
}

QString applicationBaseName()
{
    return applicationFile().completeBaseName();
}

void setApplicationFile(const QString &path)
{
    applicationFileOverride() = path;
}

void letOversizedWritesFail()
{
    ::signal(SIGXFSZ, SIG_IGN); // such a write now returns EFBIG
}

void endProcess()
{
    if (processEnder())
        processEnder()();
    else
        QCoreApplication::quit(); // the event loop returns before it dispatches anything else
}

void setProcessEnder(std::function<void()> ender)
{
    processEnder() = std::move(ender);
}

} // namespace sys
