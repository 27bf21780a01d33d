#include "store/journal.h"

#include "store/durablefile.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

using namespace JournalFormat;

namespace {

// The row of the meter, added again with its label when it is gone.
int meterRow(MeterRecords &records, const QBluetoothDeviceInfo &meter, const QString &label,
    const Options &options, bool *added = nullptr)
{
    int i = records.find(meter);
    if (i < 0) {
        records.addMeter(Meter(meter), label, options.darkMode);
        i = records.count() - 1;
        if (added)
            *added = true;
    }
    return i;
}

bool apply(const Change &c, MeterRecords &records, Options &options)
{
    if (c.kind == Change::SetOptions) {
        options = c.options;
        return true;
    }
    if (c.kind == Change::AddMeter) {
        if (records.contains(c.meter))
            return false;
        records.addMeter(Meter(c.meter), c.text, options.darkMode);
        return true;
    }
    const int i = records.find(c.meter);
    if (i < 0)
        return false;
    const int measures = int(records.meter(i).measureNames.size());
    switch (c.kind) {
    case Change::RelabelMeter:
        records.relabel(i, c.text);
        return true;
    case Change::RemoveMeter:
        records.removeMeter(i);
        return true;
    case Change::RenameMeasurement:
        if (c.measure < 0 || c.measure >= measures)
            return false;
        records.renameMeasurement(i, c.measure, c.text);
        return true;
    case Change::RemoveMeasurement:
        if (c.measure < 0 || c.measure >= measures)
            return false;
        records.removeMeasurement(i, c.measure);
        return true;
    default:
        return false;
    }
}

} // namespace

// The recording the replayed records leave, held as the live screen held it.
struct Journal::Replayed {
    bool on = false;
    QBluetoothDeviceInfo meter;
    QString label;
    int saved = 0;
    RecordedPoint last{ 0, {}, {}, {} };
    QList<QPointF> points;
    QStringList timestamps, units, settings;

    void start(const RecordingStart &start)
    {
        *this = Replayed();
        on = true;
        meter = start.meter;
        label = start.label;
        saved = start.saved;
    }
    void add(const RecordedPoint &p)
    {
        points.append(QPointF(qreal(points.size() + 1), p.y));
        timestamps.append(p.timestamp);
        units.append(p.unit);
        settings.append(p.settings);
        last = p;
    }
    void store(MeterRecords &records, const Options &options, const QString &name, int count,
        bool *added = nullptr) const
    {
        const int n = std::clamp(count, 0, int(points.size()));
        if (n == 0)
            return;
        const int i = meterRow(records, meter, label, options, added);
        records.addMeasurement(i, name, points.first(n), timestamps.first(n), units.first(n),
            settings.first(n));
    }
};

// The offset before which the store holds every record: the start when it is the store the
// header names, or the point the last checkpoint that names it reached. -1 when none names it.
qint64 Journal::heldBefore(const Scan &found, const QByteArray &storeHash)
{
    qint64 from = !found.base.isEmpty() && found.base == storeHash ? headerSize : -1;
    for (const Record &record : found.records) {
        if (record.type != Type::Checkpoint)
            continue;
        const auto checkpoint = decodeCheckpoint(record);
        if (checkpoint && checkpoint->storeHash == storeHash)
            from = checkpoint->offset;
    }
    return from;
}

// Applies the changes from `from` on, in order, and follows the recordings throughout.
Journal::Replayed Journal::replay(
    const Scan &found, qint64 from, MeterRecords &records, Options &options, int &applied)
{
    Replayed recording;
    for (const Record &record : found.records) {
        const bool held = record.offset < from;
        switch (record.type) {
        case Type::RecordingStart:
            if (const auto start = decodeRecordingStart(record))
                recording.start(*start);
            break;
        case Type::Point:
            if (!recording.on)
                break;
            if (const auto point = decodePoint(record, recording.last))
                recording.add(*point);
            break;
        case Type::SaveRecording: {
            const auto save = recording.on ? decodeSaveRecording(record) : std::nullopt;
            if (!save)
                break;
            if (!held) {
                recording.store(records, options, save->name, save->count);
                ++applied;
            }
            recording.saved = std::min(save->count, int(recording.points.size()));
            break;
        }
        case Type::DropRecording:
            recording = Replayed();
            break;
        case Type::Checkpoint:
            break;
        default:
            if (const auto change = decodeChange(record); change && !held
                && apply(*change, records, options))
                ++applied;
        }
    }
    return recording;
}

Journal::Files::Files(const QString &storeFile)
    : store(storeFile), storeNext(storeFile + ".next"),
      journal(QFileInfo(storeFile).absolutePath() + "/" + QFileInfo(storeFile).completeBaseName()
          + ".journal"),
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

Journal::Opened Journal::open(MeterRecords &records, Options &options)
{
    Opened opened;
    QFile::remove(files.storeNext);
    QFile::remove(files.journalNext);
    const QByteArray storeHash = storeHashing.get();
    QFile file(files.journal);
    if (!file.exists()) {
        startAnew(storeHash);
        return opened;
    }
    // Mapped, not read: a huge file costs no memory until its records are looked at.
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly) && file.size() > 0) {
        if (const uchar *mapped = file.map(0, file.size()))
            bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(mapped), file.size());
        else
            bytes = file.readAll();
    }
    Scan found = scan(bytes);
    const qint64 from = heldBefore(found, storeHash);
    if (from < 0) {
        // Not a journal of this store: the store was replaced, or the file is not ours.
        if (found.base.isEmpty() || found.holdsChanges()) {
            opened.setAside = setAside(QStringLiteral("unreadable"));
            if (opened.setAside.isEmpty()) {
                broken = true; // left where it is, untouched
                return opened;
            }
        }
        startAnew(storeHash);
        return opened;
    }
    const Replayed recording = replay(found, from, records, options, opened.replayed);
    records.recolour(options.darkMode);
    if (!found.torn) {
        opened.setAside = setAside(QStringLiteral("damaged"));
        opened.readInPart = true;
    }
    goOnFrom(found, bytes, !opened.setAside.isEmpty());
    recover(recording, records, options, opened);
    return opened;
}

void Journal::startAnew(const QByteArray &storeHash)
{
    if (prepare(files, storeHash, {}) && DurableFile::renameOver(files.journalNext, files.journal))
        openFile(files.journal);
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

// What was recorded and never saved, nor discarded, is kept as a save would have kept it.
void Journal::recover(const Replayed &recording, MeterRecords &records, const Options &options,
    Opened &opened)
{
    if (!recording.on)
        return;
    // The file goes on with this recording until it is saved and dropped here.
    active.on = true;
    active.meter = recording.meter;
    active.label = recording.label;
    const int count = int(recording.points.size());
    if (count > recording.saved) {
        const QString name = recording.timestamps.first();
        bool added = false;
        recording.store(records, options, name, count, &added);
        if (added)
            append({ Change::AddMeter, recording.meter, recording.label, -1, {} });
        saveRecording(name, count);
        opened.recoveredMeter = recording.label;
        opened.recoveredPoints = count;
        ++opened.replayed;
    }
    dropRecording();
}

bool Journal::append(const Change &change)
{
    ++changesSinceSeal;
    return write(encodeChange(change), true);
}

bool Journal::startRecording(const QBluetoothDeviceInfo &meter, const QString &label)
{
    active = Active();
    active.on = true;
    active.number = ++recordings;
    active.meter = meter;
    active.label = label;
    return write(recordingStart(0), true);
}

bool Journal::appendPoint(const RecordedPoint &point)
{
    const QByteArray record = encodePoint(point, active.last);
    active.pointRecords += record;
    active.last = point;
    ++active.points;
    return write(record, false);
}

bool Journal::saveRecording(const QString &name, int count)
{
    active.saved = count;
    ++changesSinceSeal;
    return write(encodeSaveRecording({ name, count }), true);
}

bool Journal::dropRecording()
{
    active = Active();
    return write(encodeDropRecording(), true);
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
    sealed = Sealed{ true, size, active.on ? active.number : 0, active.saved, {} };
    sealedChanges = changesSinceSeal;
    changesSinceSeal = 0;
    return active.on ? recordingStart(active.saved) + active.pointRecords : QByteArray();
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
    if (!rebuilt) {
        if (!write(encodeCheckpoint({ sealed.offset, storeHash }), true)) {
            abandon();
            return false;
        }
    }
    if (!DurableFile::renameOver(files.storeNext, files.store)) {
        abandon();
        return false;
    }
    // The new journal goes on from the sealed point with what came after it. A broken journal
    // holds no such tail: the new one starts from the recording as it stands now, and the
    // changes since the seal reach the store with the next checkpoint.
    QByteArray tail = since;
    if (rebuilt) {
        const bool sameRecording = active.on && active.number == sealed.recording;
        tail = active.on ? recordingStart(sameRecording ? sealed.saved : 0) + active.pointRecords
                         : QByteArray();
    }
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
    broken = false;
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

QByteArray Journal::recordingStart(int saved) const
{
    return encodeRecordingStart({ active.meter, active.label, saved });
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
