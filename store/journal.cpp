#include "store/journal.h"

#include "store/durablefile.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <array>
#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray magic = QByteArrayLiteral("KVJOURNL");
constexpr quint32 version = 1;
constexpr int hashSize = 20;
constexpr int headerSize = 8 + 4 + hashSize + 4;
constexpr int frameSize = 8; // length and CRC before each record
// More than any record the program writes; a longer one is damage.
constexpr quint32 longestRecord = 64 << 20;
// A kill or power cut tears at most the last append, which is far shorter than this; more
// unreadable bytes than this at the end are damage, not a torn append.
constexpr qint64 longestTear = 64 << 10;

// Record types after the changes, which take their Change::Kind.
enum Type : quint8 {
    RecordingStart = 16,
    Point,
    SaveRecording,
    DropRecording,
    Checkpoint,
};

quint32 crc32(const char *data, qsizetype n)
{
    static const auto table = [] {
        std::array<quint32, 256> t{};
        for (quint32 i = 0; i < 256; ++i) {
            quint32 c = i;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    quint32 c = 0xFFFFFFFFu;
    for (qsizetype i = 0; i < n; ++i)
        c = table[(c ^ uchar(data[i])) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

// Little-endian fields, texts as a varint length and UTF-8.
class Writer
{
public:
    explicit Writer(quint8 type) { bytes.append(char(type)); }
    Writer &u8(quint8 v) { return raw(reinterpret_cast<const char *>(&v), 1); }
    Writer &u32(quint32 v)
    {
        v = qToLittleEndian(v);
        return raw(reinterpret_cast<const char *>(&v), 4);
    }
    Writer &u64(quint64 v)
    {
        v = qToLittleEndian(v);
        return raw(reinterpret_cast<const char *>(&v), 8);
    }
    Writer &f64(double v)
    {
        quint64 bits;
        std::memcpy(&bits, &v, 8);
        return u64(bits);
    }
    Writer &text(const QString &s)
    {
        const QByteArray utf8 = s.toUtf8();
        for (quint32 n = quint32(utf8.size()); ; n >>= 7) {
            if (n < 0x80) {
                u8(quint8(n));
                break;
            }
            u8(quint8(n | 0x80));
        }
        return raw(utf8.constData(), utf8.size());
    }
    Writer &meter(const QBluetoothDeviceInfo &m)
    {
        return text(m.address().toString()).text(m.name());
    }
    Writer &raw(const char *data, qsizetype n)
    {
        bytes.append(data, n);
        return *this;
    }
    // The record as it goes into the file: length, CRC, type and fields.
    QByteArray framed() const
    {
        QByteArray out(frameSize, Qt::Uninitialized);
        qToLittleEndian(quint32(bytes.size()), out.data());
        qToLittleEndian(crc32(bytes.constData(), bytes.size()), out.data() + 4);
        return out + bytes;
    }

private:
    QByteArray bytes;
};

// Reads what a Writer wrote; a read past the end leaves the reader failed and gives empty
// values, so a damaged record is refused as a whole.
class Reader
{
public:
    Reader(const char *data, qsizetype n) : p(data), end(data + n) { }
    bool ok() const { return good; }
    bool atEnd() const { return p == end; }
    quint8 u8() { return take(1) ? quint8(p[-1]) : 0; }
    quint32 u32() { return take(4) ? qFromLittleEndian<quint32>(p - 4) : 0; }
    quint64 u64() { return take(8) ? qFromLittleEndian<quint64>(p - 8) : 0; }
    double f64()
    {
        const quint64 bits = u64();
        double v;
        std::memcpy(&v, &bits, 8);
        return v;
    }
    QString text()
    {
        quint32 n = 0;
        for (int shift = 0; shift < 32; shift += 7) {
            const quint8 b = u8();
            n |= quint32(b & 0x7F) << shift;
            if (!(b & 0x80))
                break;
        }
        return take(n) ? QString::fromUtf8(p - n, qsizetype(n)) : QString();
    }
    QBluetoothDeviceInfo meter()
    {
        const QString address = text();
        const QString name = text();
        return QBluetoothDeviceInfo(QBluetoothAddress(address), name, 0);
    }
    QByteArray raw(qsizetype n) { return take(n) ? QByteArray(p - n, n) : QByteArray(); }

private:
    bool take(qsizetype n)
    {
        if (!good || n < 0 || end - p < n) {
            good = false;
            return false;
        }
        p += n;
        return true;
    }
    const char *p;
    const char *end;
    bool good = true;
};

QByteArray header(const QByteArray &storeHash)
{
    QByteArray h = magic;
    h.resize(headerSize - 4 - hashSize);
    qToLittleEndian(version, h.data() + magic.size());
    h += storeHash;
    QByteArray crc(4, Qt::Uninitialized);
    qToLittleEndian(crc32(h.constData(), h.size()), crc.data());
    return h + crc;
}

// A text written against the one before: how many characters it shares with its start, and
// the rest. Timestamps of a recording differ only in their last digits.
void writeAgainst(Writer &w, const QString &text, const QString &before)
{
    const qsizetype most = std::min<qsizetype>({ text.size(), before.size(), 255 });
    qsizetype same = 0;
    while (same < most && text[same] == before[same])
        ++same;
    w.u8(quint8(same)).text(text.mid(same));
}

QString readAgainst(Reader &r, const QString &before)
{
    const int same = r.u8();
    const QString rest = r.text();
    if (same > before.size()) {
        r.raw(-1); // fails the reader
        return {};
    }
    return before.left(same) + rest;
}

Writer pointRecord(const RecordedPoint &p, const RecordedPoint &before)
{
    Writer w(Point);
    w.f64(p.y);
    writeAgainst(w, p.timestamp, before.timestamp);
    const bool sameUnit = p.unit == before.unit;
    const bool sameSettings = p.settings == before.settings;
    w.u8(quint8((sameUnit ? 1 : 0) | (sameSettings ? 2 : 0)));
    if (!sameUnit)
        w.text(p.unit);
    if (!sameSettings)
        w.text(p.settings);
    return w;
}

RecordedPoint readPoint(Reader &r, const RecordedPoint &before)
{
    RecordedPoint p{ r.f64(), {}, {}, {} };
    p.timestamp = readAgainst(r, before.timestamp);
    const quint8 same = r.u8();
    // Shared with the point before, as the live screen shares them.
    p.unit = same & 1 ? before.unit : r.text();
    p.settings = same & 2 ? before.settings : r.text();
    return p;
}

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

Writer changeRecord(const Change &c)
{
    Writer w(c.kind);
    switch (c.kind) {
    case Change::SetOptions:
        w.u8(c.options.darkMode).u8(c.options.tovik).u8(quint8(c.options.language));
        break;
    case Change::AddMeter:
    case Change::RelabelMeter:
        w.meter(c.meter).text(c.text);
        break;
    case Change::RemoveMeter:
        w.meter(c.meter);
        break;
    case Change::RenameMeasurement:
        w.meter(c.meter).u32(quint32(c.measure)).text(c.text);
        break;
    case Change::RemoveMeasurement:
        w.meter(c.meter).u32(quint32(c.measure));
        break;
    }
    return w;
}

Change readChange(Reader &r, quint8 kind)
{
    Change c{ Change::Kind(kind), {}, {}, -1, {} };
    if (kind == Change::SetOptions) {
        c.options.darkMode = r.u8() != 0;
        c.options.tovik = r.u8() != 0;
        c.options.language = r.u8() == 1 ? 1 : 0;
        return c;
    }
    c.meter = r.meter();
    if (kind == Change::RenameMeasurement || kind == Change::RemoveMeasurement)
        c.measure = int(std::min<quint32>(r.u32(), INT_MAX));
    if (kind == Change::AddMeter || kind == Change::RelabelMeter
        || kind == Change::RenameMeasurement)
        c.text = r.text();
    return c;
}

// A record as found in the file.
struct Found {
    qint64 offset;
    quint8 type;
    Reader fields;
};


} // namespace

// What a journal file holds: the hash of the store its header names (empty when the header
// cannot be read), the records up to the first that cannot be read, and how it ends.
struct Journal::Scan {
    QByteArray base;
    QList<Found> records;
    qint64 end = 0; // after the last record that could be read
    bool torn = true; // what follows it is a torn append, not damage

    bool holdsChanges() const
    {
        return std::any_of(records.cbegin(), records.cend(),
            [](const Found &f) { return f.type != Checkpoint; });
    }
};

// The recording the replayed records leave, held as the live screen held it.
struct Journal::Replayed {
    bool on = false;
    QBluetoothDeviceInfo meter;
    QString label;
    int saved = 0;
    RecordedPoint last{ 0, {}, {}, {} };
    QList<QPointF> points;
    QStringList timestamps, units, settings;

    void start(const QBluetoothDeviceInfo &m, const QString &l, int s)
    {
        *this = Replayed();
        on = true;
        meter = m;
        label = l;
        saved = s;
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

Journal::Scan Journal::scan(const QByteArray &bytes)
{
    Scan found;
    const char *data = bytes.constData();
    const qint64 total = bytes.size();
    if (total < headerSize || !bytes.startsWith(magic)
        || qFromLittleEndian<quint32>(data + magic.size()) != version
        || qFromLittleEndian<quint32>(data + headerSize - 4) != crc32(data, headerSize - 4))
        return found;
    found.base = bytes.mid(headerSize - 4 - hashSize, hashSize);
    qint64 &end = found.end = headerSize;
    while (total - end >= frameSize) {
        const quint32 length = qFromLittleEndian<quint32>(data + end);
        const quint32 crc = qFromLittleEndian<quint32>(data + end + 4);
        if (length == 0 || length > longestRecord || length > total - end - frameSize
            || crc32(data + end + frameSize, length) != crc)
            break;
        found.records.append({ end, quint8(data[end + frameSize]),
            Reader(data + end + frameSize + 1, length - 1) });
        end += frameSize + length;
    }
    const QByteArrayView rest(data + end, total - end);
    found.torn = rest.size() <= longestTear
        && (rest.count('\0') == rest.size() || rest.size() < frameSize
            || qFromLittleEndian<quint32>(rest.data()) > quint32(rest.size() - frameSize));
    return found;
}

// The offset before which the store holds every record: the start when it is the store the
// header names, or the point the last checkpoint that names it reached. -1 when none names it.
qint64 Journal::heldBefore(const Scan &found, const QByteArray &storeHash)
{
    qint64 from = !found.base.isEmpty() && found.base == storeHash ? headerSize : -1;
    for (const Found &f : found.records) {
        if (f.type != Checkpoint)
            continue;
        Reader r = f.fields;
        const qint64 offset = qint64(r.u64());
        if (r.raw(hashSize) == storeHash && r.ok())
            from = offset;
    }
    return from;
}

// Applies the changes from `from` on, in order, and follows the recordings throughout.
Journal::Replayed Journal::replay(
    Scan &found, qint64 from, MeterRecords &records, Options &options, int &applied)
{
    Replayed recording;
    for (Found &f : found.records) {
        Reader &r = f.fields;
        const bool held = f.offset < from;
        if (f.type >= Change::SetOptions && f.type <= Change::RemoveMeasurement) {
            const Change c = readChange(r, f.type);
            if (!held && r.ok() && apply(c, records, options))
                ++applied;
        } else if (f.type == RecordingStart) {
            const QBluetoothDeviceInfo meter = r.meter();
            const QString label = r.text();
            const int saved = int(std::min<quint32>(r.u32(), INT_MAX));
            if (r.ok())
                recording.start(meter, label, saved);
        } else if (f.type == Point && recording.on) {
            const RecordedPoint p = readPoint(r, recording.last);
            if (r.ok())
                recording.add(p);
        } else if (f.type == SaveRecording && recording.on) {
            const QString name = r.text();
            const int count = int(std::min<quint32>(r.u32(), INT_MAX));
            if (!r.ok())
                continue;
            if (!held) {
                recording.store(records, options, name, count);
                ++applied;
            }
            recording.saved = std::min(count, int(recording.points.size()));
        } else if (f.type == DropRecording) {
            recording = Replayed();
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
    return write(changeRecord(change).framed(), true);
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
    const QByteArray record = pointRecord(point, active.last).framed();
    active.pointRecords += record;
    active.last = point;
    ++active.points;
    return write(record, false);
}

bool Journal::saveRecording(const QString &name, int count)
{
    active.saved = count;
    ++changesSinceSeal;
    Writer w(SaveRecording);
    w.text(name).u32(quint32(count));
    return write(w.framed(), true);
}

bool Journal::dropRecording()
{
    active = Active();
    return write(Writer(DropRecording).framed(), true);
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
        Writer marker(Checkpoint);
        marker.u64(quint64(sealed.offset)).raw(storeHash.constData(), storeHash.size());
        if (!write(marker.framed(), true)) {
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
    Writer w(RecordingStart);
    w.meter(active.meter).text(active.label).u32(quint32(saved));
    return w.framed();
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
