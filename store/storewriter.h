#pragma once

#include "store/journal.h"
#include "store/store.h"

#include <QObject>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>

// Keeps the records on disk: each change goes into the journal at once, and the whole store is
// written from a snapshot on a worker thread once a burst of changes is over, or when the
// journal has grown (a checkpoint). Once an append fails, the journal takes nothing more until
// a checkpoint lands: one is started at once, and tried again while it fails. Tells once when
// writing starts failing.
class StoreWriter : public QObject
{
    Q_OBJECT

public:
    // snapshot gives what the store is to hold now; it is taken on the window's thread.
    StoreWriter(const QString &storeFile, std::function<Store::Snapshot()> snapshot);
    // Waits for a checkpoint in flight, which then lands at the next start.
    ~StoreWriter() override;

    // Start-up: replays the journal onto the records and options just read from the store.
    Journal::Opened open(MeterRecords &records, Options &options);

    // Each is in the journal before it returns; a change is synced at once, points within a
    // second.
    void keep(const Change &change);
    void startRecording(const QBluetoothDeviceInfo &meter, const QString &label);
    void keepPoint(const QBluetoothDeviceInfo &meter, const RecordedPoint &point);
    void saveRecording(const QBluetoothDeviceInfo &meter, const QString &name, int count);
    void dropRecording(const QBluetoothDeviceInfo &meter);
    const Journal &journal() const { return log; }

    // Syncs the points not yet synced.
    bool sync();
    // Starts a checkpoint in the background, unless one is under way.
    void checkpoint();
    bool checkpointRunning() const { return bool(thread); }
    // Writes the whole store before returning and says whether it got there; the caller tells
    // the user when it did not.
    bool saveNow();
    // Puts everything kept so far on disk, as the session may end at any moment now: syncs the
    // journal, or writes the whole store when the journal cannot be trusted. True while a
    // checkpoint is still being written, which the caller may abandon.
    bool settle();

    // Writes the store as a checkpoint does: beside the store, with the journal that is to
    // follow it, starting with `start`. Gives the new store's hash, or nothing when it failed.
    static QByteArray writeCheckpoint(
        const Journal::Files &files, const Store::Snapshot &snapshot, const QByteArray &start);

signals:
    // After each checkpoint.
    void written(bool ok);
    // Said once when writing starts failing, and again only after a whole write has landed
    // with the journal following it.
    void failed(const QString &fileName);

private:
    void changed();
    void finish();
    void report(bool ok);
    void warn();
    void afterWholeWrite(bool ok);

    Journal log;
    std::function<Store::Snapshot()> snapshot;
    QTimer quiet;
    QTimer syncer;
    QTimer retry;
    int retryMs;
    std::unique_ptr<QThread> thread;
    Store::Snapshot writing;
    QByteArray start;
    QByteArray hash;
    std::atomic<bool> done{ false };
    bool warned = false;
};
