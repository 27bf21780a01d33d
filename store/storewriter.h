#pragma once

#include "store/store.h"

#include <QObject>
#include <QThread>

#include <atomic>
#include <memory>
#include <optional>

// Writes the per-user store on a worker thread, so that saving a large store never stalls the
// window. One write runs at a time; of the snapshots handed over meanwhile only the newest
// is written next.
class StoreWriter : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;
    // Waits for the write in flight; a snapshot still waiting is dropped.
    ~StoreWriter() override;

    void save(Store::Snapshot snapshot);
    // Puts the latest state on disk before returning and says whether it got there: after the
    // write in flight, which already holds it unless something newer came since.
    bool saveNow(const Store::Snapshot &latest);

signals:
    // After each write on the worker thread.
    void written(bool ok);
    // Said once when writes start failing; a write that succeeds again re-arms it.
    void failed(const QString &fileName);

private:
    void start();
    void finish();
    void settle(bool ok);

    std::unique_ptr<QThread> thread;
    Store::Snapshot writing;
    std::optional<Store::Snapshot> waiting;
    std::atomic<bool> done{ false };
    bool writeOk = false;
    bool failing = false;
};
