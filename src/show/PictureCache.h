#pragma once

#include "show/DecodeQueue.h"
#include "show/Decodes.h"

#include <QObject>
#include <QThreadPool>
#include <QTimer>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

namespace show {

/// The show's decoded pictures, one for each file as it is on disk and display it was decoded
/// for, decoded on worker threads, never on the user-interface thread.
class PictureCache : public QObject, public Decodes {
    Q_OBJECT
public:
    /// Decodes on this machine's cores, within the memory it allows.
    explicit PictureCache(QObject *parent = nullptr);
    /// Decodes where `runner` runs them, `cores` of them ahead at once.
    PictureCache(std::unique_ptr<DecodeRunner> runner, int cores, QObject *parent = nullptr);
    ~PictureCache() override;

    void fetch(Waiter waiter, const QString &path, const DisplayKey &key, Ready ready) override;
    void drop(Waiter waiter) override;
    bool waitingFor(Waiter waiter) const override;
    void plan(const Plan &plan, const DisplayKey &key) override;
    imaging::Picture nearest(const QString &path, const DisplayKey &key) const override;
    int cores() const override { return m_cores; }
    int decodeMs() const override;

    /// Ranks below this are waited for; a runner lets them go first.
    static constexpr int kUrgentBelow = 2;

    /// The bytes of the decoded pictures it holds.
    qint64 keptBytes() const;

private:
    struct Entry {
        QString path;
        DisplayKey key;
        std::optional<imaging::Picture> picture;
        std::shared_ptr<DecodeTask> task; // while it decodes
        int rank = 0;
        bool packing = false; // its picture, on the packer's thread
    };
    struct Wait {
        std::shared_ptr<Entry> entry;
        Ready ready;
        quint64 serial = 0;
    };

    std::shared_ptr<Entry> entryFor(const QString &path, const DisplayKey &key);
    std::shared_ptr<Entry> keptFor(const QString &path, const DisplayKey &key) const;
    static bool isCurrent(const Entry &entry);
    /// Ranks every picture by what the show wants, drops the rest and starts what is missing.
    void replan();
    void rank(const std::shared_ptr<Entry> &entry, int rank);
    void keepWithinMemory();
    /// Memory is short for a picture to be shown: pictures only kept go, `bytes` of them.
    void giveUpKept(qint64 bytes);
    /// Tells the queue what the pictures kept hold.
    void publishKept();
    void remember(const DecodeTask &task);
    void decode(Entry &entry);
    /// Packs a picture only kept, away from this thread, and keeps it packed if it still is.
    void pack(const std::shared_ptr<Entry> &entry);
    void finished(const std::shared_ptr<DecodeTask> &task);

    const int m_cores;
    std::vector<std::shared_ptr<Entry>> m_entries;
    std::optional<Wait> m_waits[2];
    quint64 m_serial = 0;
    Plan m_plan;
    DisplayKey m_planKey;
    std::deque<int> m_recentMs;             // the last few decodes' times
    std::deque<qint64> m_recentDecodeBytes; // and the memory they held
    qint64 m_recentBytes = 0;               // the most of that
    QTimer m_idle; // no decode for a while: the memory kept for the next goes back
    // Waits for what it runs when destroyed, before this object is, whose queued calls then go.
    QThreadPool m_packer;
    // Destroyed first: it cancels its decodes and waits for its workers.
    std::unique_ptr<DecodeRunner> m_queue;
};

} // namespace show
