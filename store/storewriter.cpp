#include "store/storewriter.h"

#include "store/storefile.h"

#include <QFile>

namespace {

// A burst of changes (a few renames, a meter and its measurements deleted) is over when none
// came for this long.
constexpr int quietMs = 2000;
// So many changes make the next start replay long enough; the store is written at once then.
constexpr int mostPending = 100;
constexpr int syncMs = 1000;

} // namespace

StoreWriter::StoreWriter(const QString &storeFile, std::function<Store::Snapshot()> snapshot)
    : log(storeFile), snapshot(std::move(snapshot))
{
    quiet.setSingleShot(true);
    quiet.setInterval(quietMs);
    connect(&quiet, &QTimer::timeout, this, &StoreWriter::checkpoint);
    syncer.setSingleShot(true);
    syncer.setInterval(syncMs);
    connect(&syncer, &QTimer::timeout, this, &StoreWriter::sync);
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
void StoreWriter::keepPoint(const RecordedPoint &point)
{
    report(log.appendPoint(point));
    if (!syncer.isActive())
        syncer.start();
}

void StoreWriter::saveRecording(const QString &name, int count)
{
    report(log.saveRecording(name, count));
    changed();
}

// The dropped points stay in the journal, to be replayed at every start, until a checkpoint.
void StoreWriter::dropRecording()
{
    const bool dropsPoints = log.recordedPoints() > 0;
    report(log.dropRecording());
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
    report(ok);
    emit written(ok);
    // A failed checkpoint is tried again with the next change, not over and over on a full disk.
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
    failing = !ok;
    return ok;
}

QByteArray StoreWriter::writeCheckpoint(
    const Journal::Files &files, const Store::Snapshot &snapshot, const QByteArray &start)
{
    const QByteArray hash = StoreFile::save(files.storeNext, snapshot);
    return !hash.isEmpty() && Journal::prepare(files, hash, start) ? hash : QByteArray();
}

void StoreWriter::report(bool ok)
{
    const bool said = failing;
    failing = !ok;
    if (failing && !said)
        emit failed(log.files.store);
}
