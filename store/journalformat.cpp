#include "store/journalformat.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

namespace JournalFormat {

namespace {

const QByteArray magic = QByteArrayLiteral("KVJOURNL");
constexpr quint32 version = 1;
constexpr int frameSize = 8; // length and CRC before each record
// More than any record the program writes; a longer one is damage.
constexpr quint32 longestRecord = 64 << 20;
// A kill or power cut tears at most the last append, which is far shorter than this; more
// unreadable bytes than this at the end are damage, not a torn append.
constexpr qint64 longestTear = 64 << 10;

// Writes a record's type and fields.
class Writer
{
public:
    explicit Writer(quint8 type) { bytes.append(char(type)); }
    explicit Writer(Type type) : Writer(quint8(type)) { }
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
    QByteArray framed() const { return frame(bytes); }

private:
    QByteArray bytes;
};

// Reads a record's fields; a read past the end leaves the reader failed and gives empty
// values, so a damaged record is refused as a whole.
class Reader
{
public:
    explicit Reader(QByteArrayView fields)
        : p(fields.data()), end(fields.data() + fields.size()) { }
    bool ok() const { return good; }
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
    // A count or a place, which the program keeps in an int.
    int count() { return int(std::min<quint32>(u32(), INT_MAX)); }
    QByteArray raw(qsizetype n) { return take(n) ? QByteArray(p - n, n) : QByteArray(); }
    // What was read, or nothing when a read failed.
    template <typename T> std::optional<T> result(T value) const
    {
        return good ? std::optional<T>(std::move(value)) : std::nullopt;
    }

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

} // namespace

quint32 crc32(QByteArrayView bytes)
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
    for (const char byte : bytes)
        c = table[(c ^ uchar(byte)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

QByteArray header(const QByteArray &storeHash)
{
    QByteArray h = magic;
    h.resize(headerSize - 4 - hashSize);
    qToLittleEndian(version, h.data() + magic.size());
    h += storeHash;
    QByteArray crc(4, Qt::Uninitialized);
    qToLittleEndian(crc32(h), crc.data());
    return h + crc;
}

QByteArray frame(QByteArrayView payload)
{
    QByteArray out(frameSize, Qt::Uninitialized);
    qToLittleEndian(quint32(payload.size()), out.data());
    qToLittleEndian(crc32(payload), out.data() + 4);
    return out.append(payload);
}

bool Scan::holdsChanges() const
{
    return std::any_of(records.cbegin(), records.cend(),
        [](const Record &r) { return r.type != Type::Checkpoint; });
}

Scan scan(const QByteArray &bytes)
{
    Scan found;
    const char *data = bytes.constData();
    const qint64 total = bytes.size();
    if (total < headerSize || !bytes.startsWith(magic)
        || qFromLittleEndian<quint32>(data + magic.size()) != version
        || qFromLittleEndian<quint32>(data + headerSize - 4)
            != crc32(QByteArrayView(data, headerSize - 4)))
        return found;
    found.base = bytes.mid(headerSize - 4 - hashSize, hashSize);
    qint64 &end = found.end = headerSize;
    while (total - end >= frameSize) {
        const quint32 length = qFromLittleEndian<quint32>(data + end);
        const quint32 crc = qFromLittleEndian<quint32>(data + end + 4);
        if (length == 0 || length > longestRecord || length > total - end - frameSize)
            break;
        const QByteArrayView payload(data + end + frameSize, length);
        if (crc32(payload) != crc)
            break;
        found.records.append({ end, Type(quint8(payload[0])), payload.sliced(1) });
        end += frameSize + length;
    }
    const QByteArrayView rest(data + end, total - end);
    found.torn = rest.size() <= longestTear
        && (rest.count('\0') == rest.size() || rest.size() < frameSize
            || qFromLittleEndian<quint32>(rest.data()) > quint32(rest.size() - frameSize));
    return found;
}

QByteArray encodeChange(const Change &c)
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
    return w.framed();
}

std::optional<Change> decodeChange(const Record &record)
{
    const quint8 kind = quint8(record.type);
    if (kind < Change::SetOptions || kind > Change::RemoveMeasurement)
        return std::nullopt;
    Reader r(record.fields);
    Change c{ Change::Kind(kind), {}, {}, -1, {} };
    if (kind == Change::SetOptions) {
        c.options.darkMode = r.u8() != 0;
        c.options.tovik = r.u8() != 0;
        c.options.language = r.u8() == 1 ? 1 : 0;
        return r.result(std::move(c));
    }
    c.meter = r.meter();
    if (kind == Change::RenameMeasurement || kind == Change::RemoveMeasurement)
        c.measure = r.count();
    if (kind == Change::AddMeter || kind == Change::RelabelMeter
        || kind == Change::RenameMeasurement)
        c.text = r.text();
    return r.result(std::move(c));
}

QByteArray encodeRecordingStart(const RecordingStart &start)
{
    return Writer(Type::RecordingStart)
        .meter(start.meter)
        .text(start.label)
        .u32(quint32(start.saved))
        .framed();
}

std::optional<RecordingStart> decodeRecordingStart(const Record &record)
{
    Reader r(record.fields);
    // Braces read the fields in their order.
    return r.result(RecordingStart{ r.meter(), r.text(), r.count() });
}

QByteArray encodePoint(const RecordedPoint &p, const RecordedPoint &before)
{
    Writer w(Type::Point);
    w.f64(p.y);
    writeAgainst(w, p.timestamp, before.timestamp);
    const bool sameUnit = p.unit == before.unit;
    const bool sameSettings = p.settings == before.settings;
    w.u8(quint8((sameUnit ? 1 : 0) | (sameSettings ? 2 : 0)));
    if (!sameUnit)
        w.text(p.unit);
    if (!sameSettings)
        w.text(p.settings);
    return w.framed();
}

std::optional<RecordedPoint> decodePoint(const Record &record, const RecordedPoint &before)
{
    Reader r(record.fields);
    RecordedPoint p{ r.f64(), {}, {}, {} };
    p.timestamp = readAgainst(r, before.timestamp);
    const quint8 same = r.u8();
    // Shared with the point before, as the live screen shares them.
    p.unit = same & 1 ? before.unit : r.text();
    p.settings = same & 2 ? before.settings : r.text();
    return r.result(std::move(p));
}

QByteArray encodeSaveRecording(const SaveRecording &save)
{
    return Writer(Type::SaveRecording).text(save.name).u32(quint32(save.count)).framed();
}

std::optional<SaveRecording> decodeSaveRecording(const Record &record)
{
    Reader r(record.fields);
    return r.result(SaveRecording{ r.text(), r.count() });
}

QByteArray encodeDropRecording()
{
    return Writer(Type::DropRecording).framed();
}

QByteArray encodeCheckpoint(const Checkpoint &checkpoint)
{
    return Writer(Type::Checkpoint)
        .u64(quint64(checkpoint.offset))
        .raw(checkpoint.storeHash.constData(), checkpoint.storeHash.size())
        .framed();
}

std::optional<Checkpoint> decodeCheckpoint(const Record &record)
{
    Reader r(record.fields);
    return r.result(Checkpoint{ qint64(r.u64()), r.raw(hashSize) });
}

QByteArray encodeResume(const QBluetoothDeviceInfo &meter)
{
    return Writer(Type::Resume).meter(meter).framed();
}

std::optional<QBluetoothDeviceInfo> decodeResume(const Record &record)
{
    Reader r(record.fields);
    return r.result(r.meter());
}

} // namespace JournalFormat
