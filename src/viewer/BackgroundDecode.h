#pragma once

#include "platform/Picture.h"

#include <QObject>
#include <QPointer>

template <typename T> class QFutureWatcher;

/// One picture decoded on a worker thread, its result handed back on the thread that asked.
/// Starting another decode or dropping this one means its result is never handed back.
class BackgroundDecode : public QObject {
    Q_OBJECT
public:
    explicit BackgroundDecode(QObject *parent = nullptr);
    ~BackgroundDecode() override;

    void start(const QString &path, const platform::DisplaySize &display);
    void drop();

signals:
    void decoded(const platform::Picture &picture);

private:
    QPointer<QFutureWatcher<platform::Picture>> m_watcher;
};
