#include "store/storefile.h"

#include "store/durablefile.h"
#include "store/inivalue.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstring>
#include <map>
#include <vector>

#include <unistd.h>

// The layout QSettings gives the store: the options under [General], and under [deviceList]
// every key of the meters' arrays, with '\' for '/', each section's keys in the order of their
// texts, an array's size after its entries:
//
//   [General]
//   darkMode=false
//   language=0
//   tovik=false
//
//   [deviceList]
//   1\buttonName=Werkbank
//   1\deviceAdress=C8:27:53:0C:00:01
//   1\deviceName=M27K53C
//   1\points\1\point=@Variant(\0\0\0\x1a?\xf0\0\0\0\0\0\0@\x4\0\0\0\0\0\0)
//   1\points\1\settings="DC AUTO "
//   1\points\1\timestamp=2026-12-06 14:07:09.042042
//   1\points\1\unit="V "
//   1\points\10\point=...
//   ...
//   1\points\size=12
//   1\pointsNumber\1\measureNames=2026-12-06 14:07:09.042042
//   1\pointsNumber\1\pointNumber=12
//   1\pointsNumber\size=1
//   size=1
//
// Entries are numbered from 1, so their keys sort as texts: 1, 10, 11, 12, 2, 3, ...

namespace {

// Reads this much of the file at a time, so a store of millions of points is never held whole.
constexpr qsizetype chunkSize = 4 << 20;

enum PointKey : char {
    PointXY = 1,
    PointSettings = 2,
    PointTime = 4,
    PointUnit = 8,
    AllPointKeys = 15
};

// The keys of a section, taken apart from the left.
class Key
{
public:
    explicit Key(QByteArrayView key) : rest(key) { }
    template <size_t N> bool take(const char (&word)[N])
    {
        if (rest.size() < qsizetype(N - 1) || std::memcmp(rest.data(), word, N - 1) != 0)
            return false;
        rest = rest.sliced(N - 1);
        return true;
    }
    template <size_t N> bool is(const char (&word)[N]) const
    {
        return rest.size() == qsizetype(N - 1) && std::memcmp(rest.data(), word, N - 1) == 0;
    }
    // An entry's number as QSettings writes it, and the '\' after it; 0 if not. QSettings
    // numbers entries with an int.
    qint64 entry()
    {
        qsizetype i = 0;
        qint64 n = 0;
        for (; i < rest.size() && rest[i] >= '0' && rest[i] <= '9'; ++i) {
            n = n * 10 + (rest[i] - '0');
            if (n > INT_MAX)
                return 0;
        }
        if (i == 0 || rest[0] == '0' || i == rest.size() || rest[i] != '\\')
            return 0;
        rest = rest.sliced(i + 1);
        return n;
    }

private:
    QByteArrayView rest;
};

// Each distinct text of a meter's units or settings, read once from its bytes.
class TextIds
{
public:
    // The index in `texts` of the text these bytes stand for; -1 when they stand for none.
    qint64 id(QByteArrayView bytes, QStringList &texts)
    {
        if (last >= 0 && bytes == QByteArrayView(lastBytes))
            return last;
        lastBytes = bytes.toByteArray();
        const auto known = ids.constFind(lastBytes);
        if (known != ids.constEnd())
            return last = *known;
        const std::optional<QString> text = IniValue::text(bytes);
        if (!text)
            return last = -1;
        last = texts.size();
        texts.append(*text);
        ids.insert(lastBytes, quint32(last));
        return last;
    }

private:
    QHash<QByteArray, quint32> ids;
    QByteArray lastBytes; // the bytes read before, and their text's index
    qint64 last = -1;
};

// A meter's points as their keys come, at any index, in pieces, so that a key numbered far
// beyond the others costs a piece, not the room for every index before it, and so that cutting
// the points into measurements, in order, gives each piece back once it is cut.
class Points
{
    static constexpr int bits = 12;
    static constexpr qint64 pieceSize = qint64(1) << bits;

public:
    struct Piece {
        QPointF points[pieceSize];
        qint64 times[pieceSize];
        quint32 unitOf[pieceSize];
        quint32 settingsOf[pieceSize];
        char keys[pieceSize]; // the PointKeys read
    };

    // The piece that holds entry i and where in it, made when first asked for; no piece when
    // making it would spend more than the budget left.
    std::pair<Piece *, qint64> at(qint64 i, qint64 &budget)
    {
        const size_t p = size_t(i >> bits);
        if (p >= pieces.size()) {
            budget -= qint64((p + 1 - pieces.size()) * sizeof(pieces[0]));
            pieces.resize(p + 1);
        }
        if (!pieces[p]) {
            budget -= qint64(sizeof(Piece));
            if (budget < 0)
                return { nullptr, 0 };
            // Only the keys need clearing: the rest of an entry is read only once it has all.
            pieces[p].reset(new Piece);
            std::fill_n(pieces[p]->keys, pieceSize, char(0));
        }
        return { pieces[p].get(), i & (pieceSize - 1) };
    }

    // How many entries there are below `claimed`, and whether any of them lacks a key.
    qint64 count(qint64 claimed, bool &partial) const
    {
        qint64 n = 0;
        for (size_t p = 0; p < pieces.size() && qint64(p) << bits < claimed; ++p) {
            for (qint64 e = 0; pieces[p] && e < std::min(pieceSize, claimed - (qint64(p) << bits));
                 ++e) {
                const char keys = pieces[p]->keys[e];
                partial = partial || (keys && keys != AllPointKeys);
                n += keys != 0;
            }
        }
        return n;
    }

    // What a key missing from an entry reads as, as QSettings reads it: the point (0, 0), which
    // a new piece holds, and an empty text.
    struct Missing {
        qint64 time = 0;
        quint32 unit = 0;
        quint32 settings = 0;
    };

    // The next n entries that are there, in order, with the texts they use; the pieces before
    // them are given back.
    Samples next(qint64 n, const QStringList &units, const QStringList &settingTexts,
        const QStringList &oddTimes, const Missing &missing)
    {
        Samples s{ QList<QPointF>(n), QList<qint64>(n), QList<quint32>(n), QList<quint32>(n),
            units, settingTexts, oddTimes };
        for (qint64 w = 0; w < n; ++cursor) {
            const Piece *piece = pieces[size_t(cursor >> bits)].get();
            const qint64 e = cursor & (pieceSize - 1);
            if (!piece) {
                cursor |= pieceSize - 1;
                continue;
            }
            const char keys = piece->keys[e];
            if (!keys)
                continue;
            s.points[w] = piece->points[e];
            s.times[w] = keys & PointTime ? piece->times[e] : missing.time;
            s.unitOf[w] = keys & PointUnit ? piece->unitOf[e] : missing.unit;
            s.settingsOf[w] = keys & PointSettings ? piece->settingsOf[e] : missing.settings;
            ++w;
        }
        for (qint64 p = 0; p < cursor >> bits; ++p)
            pieces[size_t(p)].reset();
        return s;
    }

private:
    std::vector<std::unique_ptr<Piece>> pieces;
    qint64 cursor = 0; // where next() goes on
};

// A measurement's entry as its keys come.
struct CountEntry {
    std::optional<QString> name, count;
};

// One meter's keys as they are read, in whatever order they come.
struct Draft {
    std::optional<QString> label, address, name;
    std::optional<QString> pointsSize, countsSize;
    Points points;
    QStringList units, settingTexts, oddTimes;
    TextIds unitIds, settingsIds;
    std::map<qint64, CountEntry> counts;

    // Anything that makes the entry there for QSettings reading an array in order.
    bool there() const { return label || address || name || pointsSize || countsSize; }
};

// An array's size as QSettings reads it, and 0 when there is none.
int sizeOf(const std::optional<QString> &text)
{
    return text ? QVariant(*text).toInt() : 0;
}

// The entries QSettings reads of an array that claims `size` entries, in order: those below
// the size that are there. (It reads them in order up to the first that is not there, and then
// those after it that are.)
template <typename Entry> auto entriesOf(std::map<qint64, Entry> &entries, int size)
{
    return std::make_pair(entries.begin(), entries.lower_bound(qint64(size) + 1));
}

bool setOnce(std::optional<QString> &field, QByteArrayView bytes)
{
    if (field)
        return false;
    field = IniValue::text(bytes);
    return bool(field);
}

class Reader
{
public:
    // Reading a file takes no more memory beyond what its points come to than this; a file
    // that asks for more, by keys numbered sparsely, is for QSettings.
    explicit Reader(qint64 fileSize) : budget((64 << 20) + 4 * fileSize) { }

    bool line(QByteArrayView line)
    {
        if (line.isEmpty())
            return true;
        if (line.front() == '[') {
            inGeneral = line == "[General]";
            return inGeneral || line == "[deviceList]";
        }
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0)
            return false;
        const QByteArrayView value = line.sliced(equals + 1);
        Key key(line.first(equals));
        return inGeneral ? option(key, value) : deviceList(key, value);
    }

    Store::Snapshot finish()
    {
        Store::Snapshot read;
        const auto variant = [](const std::optional<QString> &text) {
            return text ? QVariant(*text) : QVariant();
        };
        read.options.darkMode = Store::toBool(variant(darkMode));
        read.options.tovik = Store::toBool(variant(tovik));
        read.options.language = Store::toInt(variant(language)) == 1 ? 1 : 0;
        // The meters QSettings reads: those there, in order, up to the first gap, and those
        // after it below the size with any key at all.
        const int meters = sizeOf(meterCount);
        qint64 gap = 1;
        while (gap <= meters && drafts.count(gap) && drafts[gap].there())
            ++gap;
        for (auto [d, end] = entriesOf(drafts, meters); d != end; ++d) {
            if (d->first == gap)
                continue;
            read.meters.append(meterOf(d->second));
            d->second = Draft();
        }
        return read;
    }

private:
    static Meter meterOf(Draft &d)
    {
        bool partial = false;
        const qint64 points = d.points.count(sizeOf(d.pointsSize), partial);
        Points::Missing missing;
        if (partial) {
            missing = { -1 - d.oddTimes.size(), quint32(d.unitIds.id({}, d.units)),
                quint32(d.settingsIds.id({}, d.settingTexts)) };
            d.oddTimes.append(QString());
        }
        QList<int> counts;
        QStringList names;
        for (auto [c, end] = entriesOf(d.counts, sizeOf(d.countsSize)); c != end; ++c) {
            counts.append(c->second.count ? Store::toInt(*c->second.count) : 0);
            names.append(c->second.name.value_or(QString()));
        }
        return Store::meterOf(QBluetoothDeviceInfo(QBluetoothAddress(d.address.value_or(QString())),
                                  d.name.value_or(QString()), 0),
            d.label.value_or(QString()), points, counts, names, [&](qsizetype, qsizetype n) {
                return d.points.next(n, d.units, d.settingTexts, d.oddTimes, missing);
            });
    }

    bool option(Key &key, QByteArrayView value)
    {
        std::optional<QString> *option = key.is("darkMode") ? &darkMode
            : key.is("tovik")                               ? &tovik
            : key.is("language")                            ? &language
                                                            : nullptr;
        return option && setOnce(*option, value);
    }

    bool deviceList(Key &key, QByteArrayView value)
    {
        if (key.is("size"))
            return setOnce(meterCount, value);
        const qint64 number = key.entry();
        if (number == 0)
            return false;
        Draft &d = draft(number);
        if (key.take("pointsNumber\\"))
            return count(d, key, value);
        if (key.take("points\\"))
            return point(d, key, value);
        std::optional<QString> *field = key.is("buttonName") ? &d.label
            : key.is("deviceAdress")                         ? &d.address
            : key.is("deviceName")                           ? &d.name
                                                             : nullptr;
        return field && setOnce(*field, value);
    }

    bool point(Draft &d, Key &key, QByteArrayView value)
    {
        if (key.is("size"))
            return setOnce(d.pointsSize, value);
        const qint64 j = key.entry();
        if (j == 0)
            return false;
        const auto [piece, e] = d.points.at(j - 1, budget);
        if (!piece)
            return false;
        PointKey read;
        if (key.is("point")) {
            const std::optional<QPointF> p = IniValue::point(value);
            if (!p)
                return false;
            piece->points[e] = *p;
            read = PointXY;
        } else if (key.is("timestamp")) {
            qint64 t = Stamp::pack(value.data(), value.size());
            if (t < 0) {
                const std::optional<QString> text = IniValue::text(value);
                if (!text)
                    return false;
                t = -1 - d.oddTimes.size();
                d.oddTimes.append(*text);
            }
            piece->times[e] = t;
            read = PointTime;
        } else if (key.is("unit")) {
            const qint64 id = d.unitIds.id(value, d.units);
            if (id < 0)
                return false;
            piece->unitOf[e] = quint32(id);
            read = PointUnit;
        } else if (key.is("settings")) {
            const qint64 id = d.settingsIds.id(value, d.settingTexts);
            if (id < 0)
                return false;
            piece->settingsOf[e] = quint32(id);
            read = PointSettings;
        } else {
            return false;
        }
        if (piece->keys[e] & read)
            return false;
        piece->keys[e] = char(piece->keys[e] | read);
        return true;
    }

    bool count(Draft &d, Key &key, QByteArrayView value)
    {
        if (key.is("size"))
            return setOnce(d.countsSize, value);
        const qint64 k = key.entry();
        if (k == 0)
            return false;
        CountEntry &entry = d.counts[k];
        return key.is("measureNames") ? setOnce(entry.name, value)
            : key.is("pointNumber")   ? setOnce(entry.count, value)
                                      : false;
    }

    Draft &draft(qint64 number)
    {
        if (number != lastNumber) {
            lastNumber = number;
            last = &drafts[number];
        }
        return *last;
    }

    qint64 budget;
    bool inGeneral = true;
    std::optional<QString> darkMode, tovik, language, meterCount;
    std::map<qint64, Draft> drafts;
    qint64 lastNumber = 0;
    Draft *last = nullptr;
};

// Collects the bytes to write and hands them on a few MB at a time.
class Output
{
public:
    explicit Output(const std::function<bool(QByteArrayView)> &put) : put(put)
    {
        bytes.reserve(chunkSize + (64 << 10));
    }
    QByteArray &buffer() { return bytes; }
    bool step()
    {
        if (bytes.size() < chunkSize)
            return ok;
        return flush();
    }
    bool flush()
    {
        ok = ok && put(bytes);
        bytes.resize(0);
        return ok;
    }

private:
    const std::function<bool(QByteArrayView)> &put;
    QByteArray bytes;
    bool ok = true;
};

// Calls visit(n) for n = 1 ... count in the order of their decimal texts, as the keys sort.
template <typename Visit> bool inKeyOrder(qint64 count, Visit visit)
{
    qint64 n = 1;
    for (qint64 i = 0; i < count; ++i) {
        if (!visit(n))
            return false;
        if (n * 10 <= count) {
            n *= 10;
            continue;
        }
        while (n % 10 == 9 || n + 1 > count)
            n /= 10;
        ++n;
    }
    return true;
}

// The written bytes of a text list's entries, each written once when first needed. Lists
// shared by several measurements (those of one meter, read together) are written once.
class WrittenTexts
{
public:
    const QByteArray &of(const QStringList &texts, quint32 i)
    {
        std::vector<std::optional<QByteArray>> &written = lists[texts.constData()];
        if (written.empty())
            written.resize(size_t(texts.size()));
        std::optional<QByteArray> &bytes = written[i];
        if (!bytes) {
            bytes.emplace();
            IniValue::appendText(*bytes, texts[i]);
        }
        return *bytes;
    }

private:
    QHash<const QString *, std::vector<std::optional<QByteArray>>> lists;
};

void writeText(QByteArray &out, const char *key, const QString &text)
{
    out += key;
    IniValue::appendText(out, text);
    out += '\n';
}

bool writeMeter(Output &output, const Meter &m, qint64 number)
{
    QByteArray &out = output.buffer();
    const QByteArray prefix = QByteArray::number(number) + '\\';
    const QByteArray points = prefix + "points\\";
    out += prefix;
    writeText(out, "buttonName=", m.label);
    out += prefix;
    writeText(out, "deviceAdress=", m.device.address().toString());
    out += prefix;
    writeText(out, "deviceName=", m.device.name());

    // Where each measurement starts among the meter's points.
    std::vector<qint64> starts = { 0 };
    for (const Samples &s : m.measurements)
        starts.push_back(starts.back() + s.size());
    WrittenTexts units, settings;
    const bool written = inKeyOrder(starts.back(), [&](qint64 j) {
        const size_t k
            = size_t(std::upper_bound(starts.begin(), starts.end(), j - 1) - starts.begin() - 1);
        const Samples &s = m.measurements[qsizetype(k)];
        const qsizetype i = j - 1 - starts[k];
        char number[24];
        const QByteArrayView entry(number, std::to_chars(number, number + 24, j).ptr - number);
        const auto key = [&](const char *field) {
            out += points;
            out += entry;
            out += '\\';
            out += field;
        };
        key("point=");
        IniValue::appendPoint(out, s.points[i]);
        out += '\n';
        key("settings=");
        out += settings.of(s.settingTexts, s.settingsOf[i]);
        out += '\n';
        key("timestamp=");
        if (s.times[i] >= 0)
            s.appendTimestamp(out, i);
        else
            IniValue::appendText(out, s.oddTimes[-1 - s.times[i]]);
        out += '\n';
        key("unit=");
        out += units.of(s.units, s.unitOf[i]);
        out += '\n';
        return output.step();
    });
    if (!written)
        return false;
    out += points + "size=" + QByteArray::number(starts.back()) + '\n';
    inKeyOrder(m.measureNames.size(), [&](qint64 k) {
        const QByteArray key = prefix + "pointsNumber\\" + QByteArray::number(k) + '\\';
        out += key;
        writeText(out, "measureNames=", m.measureNames[k - 1]);
        out += key + "pointNumber=" + QByteArray::number(m.pointsNumber[k - 1]) + '\n';
        return true;
    });
    out += prefix + "pointsNumber\\size=" + QByteArray::number(m.measureNames.size()) + '\n';
    return output.step();
}

} // namespace

namespace StoreFile {

std::optional<Store::Snapshot> read(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return file.exists() ? std::nullopt : std::optional(Store::Snapshot());
    Reader reader(file.size());
    QByteArray bytes(chunkSize, Qt::Uninitialized);
    qsizetype held = 0; // bytes of a line not ended yet, at the start
    for (;;) {
        if (held == bytes.size())
            bytes.resize(2 * bytes.size());
        const qint64 n = file.read(bytes.data() + held, bytes.size() - held);
        if (n < 0)
            return std::nullopt;
        const QByteArrayView got(bytes.constData(), held + n);
        qsizetype from = 0;
        for (qsizetype end; (end = got.indexOf('\n', from)) >= 0; from = end + 1) {
            if (!reader.line(got.sliced(from, end - from)))
                return std::nullopt;
        }
        if (n == 0) {
            if (from < got.size() && !reader.line(got.sliced(from)))
                return std::nullopt;
            return reader.finish();
        }
        held = got.size() - from;
        std::memmove(bytes.data(), bytes.constData() + from, size_t(held));
    }
}

bool write(const Store::Snapshot &snapshot, const std::function<bool(QByteArrayView)> &put)
{
    Output output(put);
    QByteArray &out = output.buffer();
    const auto yesNo = [](bool b) { return b ? "true" : "false"; };
    out += QByteArray("[General]\ndarkMode=") + yesNo(snapshot.options.darkMode)
        + "\nlanguage=" + QByteArray::number(snapshot.options.language)
        + "\ntovik=" + yesNo(snapshot.options.tovik) + "\n\n[deviceList]\n";
    const auto &meters = snapshot.meters;
    const bool written = inKeyOrder(meters.size(),
        [&](qint64 number) { return writeMeter(output, meters[number - 1], number); });
    if (!written)
        return false;
    out += "size=" + QByteArray::number(meters.size()) + '\n';
    return output.flush();
}

QByteArray save(const QString &fileName, const Store::Snapshot &snapshot)
{
    // A new file, so that entries of a longer list written before do not linger; in a folder
    // made first, as QSettings makes it.
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    const int fd = DurableFile::create(fileName);
    if (fd < 0)
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha1);
    const bool written = write(snapshot, [&](QByteArrayView bytes) {
        hash.addData(bytes);
        return DurableFile::writeAll(fd, bytes);
    });
    const bool synced = written && DurableFile::syncData(fd);
    ::close(fd);
    return synced ? hash.result() : QByteArray();
}

} // namespace StoreFile
