#include "store/journal.h"

#include "store/durablefile.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

using namespace JournalFormat;

// The journal is named after the store where the user keeps it, not after where it links to.
Journal::Files::Files(const QString &storeFile)
    : store(DurableFile::target(storeFile)), storeNext(store + ".next"),
      journal(DurableFile::target(QFileInfo(storeFile).absolutePath() + "/"
          + QFileInfo(storeFile).completeBaseName() + ".journal")),
      journalNext(journal + ".next")
{ }

Journal::Journal(const QString &storeFile)
    : files(storeFile), storeHashing(std::async(std::launch::async, fingerprint, files.store))
{ }

Journal::~Journal()
{
    closeFile();
}

QByteArray Journal::fingerprint(const QString &fileName)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    QFile file(fileName);
    if (file.open(QIODevice::ReadOnly))
        hash.addData(&file);
    return hash.result();
}

// One that cannot be made (a full disk, say) is made by the first checkpoint, which replaces a
// broken journal whole.
void Journal::startAnew(const QByteArray &storeHash)
{
    if (prepare(files, storeHash, {}) && DurableFile::renameOver(files.journalNext, files.journal))
        openFile(files.journal);
    else
        broken = true;
}

// A torn append is cut off; a damaged journal, set aside whole, is followed by what could be
// read of it. One that cannot be set right cannot be appended to; the checkpoint after
// start-up writes a new one.
void Journal::goOnFrom(const Scan &found, const QByteArray &bytes, bool keptAside)
{
    bool usable = found.end == bytes.size();
    if (!found.torn) {
        usable = keptAside
            && prepare(files, found.base, bytes.mid(headerSize, found.end - headerSize))
            && DurableFile::renameOver(files.journalNext, files.journal);
    } else if (!usable) {
        usable = QFile::resize(files.journal, found.end);
    }
    if (usable)
        openFile(files.journal);
    else
        broken = true;
}

bool Journal::append(const Change &change)
{
    ++changesSinceSeal;
    return write(encodeChange(change), true);
}

bool Journal::startRecording(const QBluetoothDeviceInfo &meter, const QString &label)
{
    Q_ASSERT(find(meter) < 0);
    active.append({ meter, label, ++recordings });
    current = recordings;
    return write(encodeRecordingStart({ meter, label, 0 }), true);
}

bool Journal::appendPoint(const QBluetoothDeviceInfo &meter, const RecordedPoint &point)
{
    Active &recording = recordingOf(meter);
    const QByteArray record = encodePoint(point, recording.last);
    recording.pointRecords += record;
    recording.last = point;
    ++recording.points;
    return write(resume(recording) + record, false);
}

bool Journal::saveRecording(const QBluetoothDeviceInfo &meter, const QString &name, int count)
{
    Active &recording = recordingOf(meter);
    recording.saved = count;
    ++changesSinceSeal;
    return write(resume(recording) + encodeSaveRecording({ name, count }), true);
}

bool Journal::dropRecording(const QBluetoothDeviceInfo &meter)
{
    const QByteArray records = resume(recordingOf(meter)) + encodeDropRecording();
    active.removeAt(find(meter));
    current = 0;
    return write(records, true);
}

int Journal::recordedPoints(const QBluetoothDeviceInfo &meter) const
{
    const qsizetype i = find(meter);
    return i < 0 ? 0 : active[i].points;
}

bool Journal::sync()
{
    if (broken || fd < 0)
        return false;
    if (dirty && (!DurableFile::syncData(fd) || !inPlace()))
        return fail();
    dirty = false;
    return true;
}

QByteArray Journal::seal()
{
    sealed = Sealed{ true, size, {}, {} };
    for (const Active &recording : std::as_const(active))
        sealed.saved.insert(recording.number, recording.saved);
    sealedChanges = changesSinceSeal;
    changesSinceSeal = 0;
    return startOfNext();
}

bool Journal::prepare(const Files &files, const QByteArray &storeHash, const QByteArray &start)
{
    QFile::remove(files.journalNext);
    const int next = DurableFile::create(files.journalNext, 0644);
    if (next < 0)
        return false;
    const bool ok
        = DurableFile::writeAll(next, header(storeHash) + start) && DurableFile::syncData(next);
    ::close(next);
    return ok;
}

bool Journal::land(const QByteArray &storeHash)
{
    const QByteArray since = sealed.since;
    sealed.on = false;
    // Synced before the store is put in place, so that whenever a kill comes, the next start
    // knows which records the store holds. A broken journal gets none: it is replaced whole.
    const bool rebuilt = broken;
    if (!rebuilt && !write(encodeCheckpoint({ sealed.offset, storeHash }), true)) {
        abandon();
        return false;
    }
    if (!DurableFile::renameOver(files.storeNext, files.store)) {
        abandon();
        return false;
    }
    // The new journal goes on from the sealed point with what came after it. A broken journal
    // holds no such tail: the new one starts from the recordings as they stand now, and the
    // changes since the seal reach the store with the next checkpoint.
    const QByteArray tail = rebuilt ? startOfNext() : since;
    sealed = Sealed();
    sealedChanges = 0;
    if (rebuilt && !prepare(files, storeHash, {}))
        return true;
    const int next = DurableFile::openToAppend(files.journalNext);
    if (next < 0 || !DurableFile::writeAll(next, tail) || !DurableFile::syncData(next)
        || !DurableFile::renameOver(files.journalNext, files.journal)) {
        // The store is in place, and the old journal still says which of its records it holds.
        if (next >= 0)
            ::close(next);
        QFile::remove(files.journalNext);
        return true;
    }
    closeFile();
    fd = next;
    size = ::lseek(fd, 0, SEEK_END);
    dirty = false;
    // A rebuilt journal lacks the changes since the seal, which the store lacks too: until the
    // next checkpoint holds them, no change may follow them.
    broken = rebuilt && changesSinceSeal > 0;
    return true;
}

void Journal::abandon()
{
    QFile::remove(files.storeNext);
    QFile::remove(files.journalNext);
    changesSinceSeal += sealedChanges;
    sealedChanges = 0;
    sealed = Sealed();
}

bool Journal::write(const QByteArray &records, bool syncNow)
{
    if (broken || fd < 0)
        return false;
    if (!DurableFile::writeAll(fd, records)) {
        // A record cut short would hide every record after it.
        [[maybe_unused]] const int cut = ::ftruncate(fd, size);
        return fail();
    }
    size += records.size();
    if (sealed.on)
        sealed.since += records;
    dirty = true;
    return syncNow ? sync() : true;
}

// The journal is worth appending to only while it is where the next start looks for it.
bool Journal::inPlace() const
{
    struct stat open, named;
    return ::fstat(fd, &open) == 0
        && ::stat(QFile::encodeName(files.journal).constData(), &named) == 0
        && open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

bool Journal::fail()
{
    broken = true;
    return false;
}

void Journal::openFile(const QString &path)
{
    closeFile();
    fd = DurableFile::openToAppend(path);
    size = fd < 0 ? 0 : ::lseek(fd, 0, SEEK_END);
    broken = broken || fd < 0;
}

void Journal::closeFile()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

qsizetype Journal::find(const QBluetoothDeviceInfo &meter) const
{
    const auto found = std::find_if(active.cbegin(), active.cend(),
        [&](const Active &recording) { return sameMeter(recording.meter, meter); });
    return found == active.cend() ? -1 : found - active.cbegin();
}

// Points, saves and drops come only while the meter's recording is under way.
Journal::Active &Journal::recordingOf(const QBluetoothDeviceInfo &meter)
{
    const qsizetype i = find(meter);
    Q_ASSERT(i >= 0);
    return active[i];
}

// What goes before a record of the recording: a Resume, unless the records before went to it.
QByteArray Journal::resume(const Active &recording)
{
    if (recording.number == current)
        return {};
    current = recording.number;
    return encodeResume(recording.meter);
}

// Each recording under way, as a journal that follows the sealed store starts with it: its start
// with how many of its points that store holds saved (none of one that began since), and its
// points. The records after the seal go on with the current recording, named again when others
// follow it.
QByteArray Journal::startOfNext() const
{
    QByteArray start;
    for (const Active &recording : active) {
        start += encodeRecordingStart(
                     { recording.meter, recording.label, sealed.saved.value(recording.number) })
            + recording.pointRecords;
    }
    const auto last = std::find_if(active.cbegin(), active.cend(),
        [&](const Active &recording) { return recording.number == current; });
    if (last != active.cend() && last + 1 != active.cend())
        start += encodeResume(last->meter);
    return start;
}

// Keeps a journal that could not be used under a name of its own, so nothing in it is lost for
// good. A damaged one stays in place as well, until what could be read of it replaces it.
QString Journal::setAside(const QString &why)
{
    const QString stem = files.journal + "." + why + "-"
        + QDateTime::currentDateTime().toString("yyyyMMdd-hhmmss");
    QString aside = stem;
    for (int n = 2; QFile::exists(aside); ++n)
        aside = stem + "-" + QString::number(n);
    const QByteArray from = QFile::encodeName(files.journal);
    const bool kept = why == QLatin1String("damaged")
        ? ::link(from.constData(), QFile::encodeName(aside).constData()) == 0
            || QFile::copy(files.journal, aside)
        : QFile::rename(files.journal, aside);
    return kept ? aside : QString();
}
