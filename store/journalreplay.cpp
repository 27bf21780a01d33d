#include "store/journal.h"

#include <QFile>

#include <algorithm>

using namespace JournalFormat;

namespace {

// The row of the meter, added again with its label when it is gone.
int meterRow(MeterRecords &records, const QBluetoothDeviceInfo &meter, const QString &label,
    bool *added = nullptr)
{
    int i = records.find(meter);
    if (i < 0) {
        records.addMeter(Meter(meter, label));
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
        records.addMeter(Meter(c.meter, c.text));
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

// A recording the replayed records leave, held as the live screen held it.
struct Journal::Replayed {
    QBluetoothDeviceInfo meter;
    QString label;
    int saved;
    RecordedPoint last{ 0, {}, {}, {} };
    QList<QPointF> points{};
    QStringList timestamps{}, units{}, settings{};

    void add(const RecordedPoint &p)
    {
        points.append(QPointF(qreal(points.size() + 1), p.y));
        timestamps.append(p.timestamp);
        units.append(p.unit);
        settings.append(p.settings);
        last = p;
    }
    void store(MeterRecords &records, const QString &name, int count,
        bool *added = nullptr) const
    {
        const int n = std::clamp(count, 0, int(points.size()));
        if (n == 0)
            return;
        const int i = meterRow(records, meter, label, added);
        records.addMeasurement(i, name, points.first(n), timestamps.first(n), units.first(n),
            settings.first(n));
    }
    bool unsaved() const { return points.size() > saved; }
    // What was recorded and never saved, nor discarded, is kept whole, as a save would have
    // kept it, named after its first point's time stamp.
    void keep(MeterRecords &records, bool *added = nullptr) const
    {
        store(records, timestamps.first(), int(points.size()), added);
    }
};

// The recordings the replayed records leave under way, and the one their records go to.
struct Journal::UnderWay {
    QList<Replayed> recordings; // in the order they started
    qsizetype current = -1;

    Replayed *recording() { return current < 0 ? nullptr : &recordings[current]; }
    // One under way for the same meter ends.
    void start(const RecordingStart &start)
    {
        recordings.removeIf([&](const Replayed &r) { return sameMeter(r.meter, start.meter); });
        recordings.append({ start.meter, start.label, start.saved });
        current = recordings.size() - 1;
    }
    void resume(const QBluetoothDeviceInfo &meter)
    {
        const auto found = std::find_if(recordings.cbegin(), recordings.cend(),
            [&](const Replayed &r) { return sameMeter(r.meter, meter); });
        current = found == recordings.cend() ? -1 : found - recordings.cbegin();
    }
    void drop()
    {
        if (current >= 0)
            recordings.removeAt(current);
        current = -1;
    }
};

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
    const UnderWay left = replay(found, from, records, options, opened.replayed);
    if (!found.torn) {
        opened.setAside = setAside(QStringLiteral("damaged"));
        opened.readInPart = true;
    }
    goOnFrom(found, bytes, !opened.setAside.isEmpty());
    recover(left, records, opened);
    return opened;
}

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
Journal::UnderWay Journal::replay(
    const Scan &found, qint64 from, MeterRecords &records, Options &options, int &applied)
{
    UnderWay left;
    for (const Record &record : found.records) {
        const bool held = record.offset < from;
        Replayed *recording = left.recording();
        switch (record.type) {
        case Type::RecordingStart:
            if (const auto start = decodeRecordingStart(record))
                left.start(*start);
            break;
        case Type::Resume:
            if (const auto meter = decodeResume(record))
                left.resume(*meter);
            break;
        case Type::Point:
            if (!recording)
                break;
            if (const auto point = decodePoint(record, recording->last))
                recording->add(*point);
            break;
        case Type::SaveRecording: {
            const auto save = recording ? decodeSaveRecording(record) : std::nullopt;
            if (!save)
                break;
            if (!held) {
                recording->store(records, save->name, save->count);
                ++applied;
            }
            recording->saved = std::min(save->count, int(recording->points.size()));
            break;
        }
        case Type::DropRecording:
            left.drop();
            break;
        case Type::Checkpoint:
            break;
        default:
            if (const auto change = decodeChange(record);
                change && !held && apply(*change, records, options))
                ++applied;
        }
    }
    return left;
}

// Each recording left unsaved is kept, and the file says so.
void Journal::recover(const UnderWay &left, MeterRecords &records, Opened &opened)
{
    // The file goes on with these recordings until each is saved and dropped here.
    for (const Replayed &recording : left.recordings)
        active.append({ recording.meter, recording.label, ++recordings });
    current = left.current < 0 ? 0 : active[left.current].number;
    for (const Replayed &recording : left.recordings) {
        const int count = int(recording.points.size());
        if (recording.unsaved()) {
            bool added = false;
            recording.keep(records, &added);
            if (added)
                append({ Change::AddMeter, recording.meter, recording.label, -1, {} });
            saveRecording(recording.meter, recording.timestamps.first(), count);
            opened.recovered.append({ recording.label, count });
            ++opened.replayed;
        }
        dropRecording(recording.meter);
    }
}

std::optional<Store::Snapshot> Journal::peek(const QString &storeFile, QString &error)
{
    const Files files(storeFile);
    // A running copy may put a checkpoint's store in place between the reads of the store and
    // the journal, so that the one would not follow the other: the store's hash before and
    // after tells, and then both are read again.
    QByteArray storeHash = fingerprint(files.store);
    for (int tries = 1;; ++tries) {
        QFile store(files.store), journal(files.journal);
        for (QFile *file : { &store, &journal }) {
            if (file->exists() && !file->open(QIODevice::ReadOnly)) {
                error = file->fileName() + ": " + file->errorString();
                return std::nullopt;
            }
        }
        Store::Snapshot read = Store::read(files.store);
        // Read, not mapped: the running copy may cut a torn append off under a mapping.
        const QByteArray bytes = journal.isOpen() ? journal.readAll() : QByteArray();
        const QByteArray after = fingerprint(files.store);
        if (after != storeHash && tries < 3) {
            storeHash = after;
            continue;
        }
        const Scan found = scan(bytes);
        const qint64 from = heldBefore(found, storeHash);
        if (from < 0)
            return read;
        MeterRecords records;
        for (Meter &meter : read.meters)
            records.addMeter(std::move(meter));
        int applied = 0;
        const UnderWay left = replay(found, from, records, read.options, applied);
        for (const Replayed &recording : left.recordings) {
            if (recording.unsaved())
                recording.keep(records);
        }
        read.meters = records.all();
        return read;
    }
}
