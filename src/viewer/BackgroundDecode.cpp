#include "viewer/BackgroundDecode.h"

#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

BackgroundDecode::BackgroundDecode(QObject *parent)
    : QObject(parent)
{
}

BackgroundDecode::~BackgroundDecode() = default;

void BackgroundDecode::start(const QString &path, const platform::DisplaySize &display)
{
    drop();
    auto *watcher = new QFutureWatcher<platform::Picture>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
        watcher->deleteLater();
        if (watcher != m_watcher)
            return;
        m_watcher.clear();
        emit decoded(watcher->result());
    });
    m_watcher = watcher;
    // The worker gets copies only: nothing of ours has to outlive it.
    watcher->setFuture(
        QtConcurrent::run([path, display] { return platform::loadPicture(path, display); }));
}

void BackgroundDecode::drop()
{
    if (m_watcher)
        m_watcher->deleteLater(); // the decode runs out on its own; nobody hears of it
    m_watcher.clear();
}
