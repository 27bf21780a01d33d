#include "store/storewriter.h"

#include "store/storefile.h"

#include <QFile>

#include <algorithm>

namespace {

// A burst of changes (a few renames, a meter and its measurements deleted) is over when none
// came for this long.
constexpr int quietMs = 2000;
// So many changes make the next start replay long enough; the store is written at once then.
constexpr int mostPending = 100;
// Points are on disk within a second of their arrival: the timer may fire late by as long as
// the event loop is busy, and the sync itself takes time, so it is set well below that.
constexpr int syncMs = 750;
// While the journal cannot be trusted, a checkpoint that failed is tried again after a pause
// that doubles up to the longest, not over and over on a full disk.
constexpr int firstRetryMs = 2000;
constexpr int longestRetryMs = 60000;

} // namespace

StoreWriter::StoreWriter(const QString &storeFile, std::function<Store::Snapshot()> snapshot)
    : log(storeFile), snapshot(std::move(snapshot)), retryMs(firstRetryMs)
{
    quiet.setSingleShot(true);
    quiet.setInterval(quietMs);
    connect(&quiet, &QTimer::timeout, this, &StoreWriter::checkpoint);
    syncer.setSingleShot(true);
    syncer.setInterval(syncMs);
    connect(&syncer, &QTimer::timeout, this, &StoreWriter::sync);
    retry.setSingleShot(true);
    connect(&retry, &QTimer::timeout, this, &StoreWriter::checkpoint);
}

StoreWriter::~StoreWriter()
{
    if (thread)
        thread->wait();
}

Journal::Opened StoreWriter::open(MeterRecords &records, Options &options)
{
    return log.open(records, options);
}

void StoreWriter::keep(const Change &change)
{
    report(log.append(change));
    changed();
}

void StoreWriter::startRecording(const QBluetoothDeviceInfo &meter, const QString &label)
{
    report(log.startRecording(meter, label));
}

// Synced within a second of the first point that is not, rather than with every frame.
void StoreWriter::keepPoint(const QBluetoothDeviceInfo &meter, const RecordedPoint &point)
{
    report(log.appendPoint(meter, point));
    if (!syncer.isActive())
        syncer.start();
}

void StoreWriter::saveRecording(const QBluetoothDeviceInfo &meter, const QString &name, int count)
{
    report(log.saveRecording(meter, name, count));
    changed();
}

// The dropped points stay in the journal, to be replayed at every start, until a checkpoint.
void StoreWriter::dropRecording(const QBluetoothDeviceInfo &meter)
{
    const bool dropsPoints = log.recordedPoints(meter) > 0;
    report(log.dropRecording(meter));
    if (dropsPoints)
        quiet.start();
}

bool StoreWriter::sync()
{
    const bool ok = log.sync();
    report(ok);
    return ok;
}

void StoreWriter::changed()
{
    if (log.pendingChanges() >= mostPending)
        checkpoint();
    else
        quiet.start();
}

void StoreWriter::checkpoint()
{
    if (thread)
        return;
    quiet.stop();
    start = log.seal();
    writing = snapshot();
    done = false;
    thread.reset(QThread::create([this] {
        hash = writeCheckpoint(log.files, writing, start);
        done = true;
    }));
    connect(thread.get(), &QThread::finished, this, &StoreWriter::finish);
    thread->start();
}

// A finished signal may arrive after saveNow() already collected its checkpoint; only one that
// is done is collected.
void StoreWriter::finish()
{
    if (!thread || !done)
        return;
    thread->wait();
    thread.reset();
    // Shared with the records, it would keep what they dropped since, and have their next change
    // copy their lists.
    writing = {};
    const bool ok = !hash.isEmpty() && log.land(hash);
    if (hash.isEmpty())
        log.abandon();
    if (!ok)
        warn();
    afterWholeWrite(ok);
    emit written(ok);
    // With the journal trusted, a failed checkpoint is tried again with the next change.
    if (ok && log.pendingChanges() > 0)
        quiet.start();
}

bool StoreWriter::saveNow()
{
    if (thread) {
        thread->wait();
        finish();
    }
    quiet.stop();
    const QByteArray first = log.seal();
    const QByteArray written = writeCheckpoint(log.files, snapshot(), first);
    const bool ok = !written.isEmpty() && log.land(written);
    if (written.isEmpty())
        log.abandon();
    warned = warned || !ok;
    afterWholeWrite(ok);
    return ok;
}

bool StoreWriter::settle()
{
    if (log.sync())
        return checkpointRunning();
    saveNow();
    return false;
}

QByteArray StoreWriter::writeCheckpoint(
    const Journal::Files &files, const Store::Snapshot &snapshot, const QByteArray &start)
{
    const QByteArray hash = StoreFile::save(files.storeNext, snapshot);
    return !hash.isEmpty() && Journal::prepare(files, hash, start) ? hash : QByteArray();
}

// After an append. One that failed leaves the journal untrusted, so a checkpoint is started at
// once, unless one is under way or waits to be tried again. One that went through says nothing
// of the store, which may still fail to be replaced.
void StoreWriter::report(bool ok)
{
    if (ok)
        return;
    if (!thread && !retry.isActive())
        retry.start(0);
    warn();
}

void StoreWriter::warn()
{
    if (warned)
        return;
    warned = true;
    emit failed(log.files.store);
}

// Writing works again once a whole write has landed with the journal following it.
void StoreWriter::afterWholeWrite(bool ok)
{
    if (log.trusted()) {
        if (ok)
            warned = false;
        retry.stop();
        retryMs = firstRetryMs;
        return;
    }
    retry.start(retryMs);
    retryMs = std::min(2 * retryMs, longestRetryMs);
}
