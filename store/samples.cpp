#include "store/samples.h"

#include <cstring>
#include <iterator>
#include <utility>

namespace Stamp {

namespace {

// The fields of the text from the left: where each starts, its digits, and its bits. The
// separators stand between them.
struct Field {
    int at;
    int digits;
    int bits;
};
constexpr Field fields[] = {
    { 0, 4, 14 },
    { 5, 2, 4 },
    { 8, 2, 5 },
    { 11, 2, 5 },
    { 14, 2, 6 },
    { 17, 2, 6 },
    { 20, 6, 20 },
};
constexpr struct {
    int at;
    char c;
} separators[] = { { 4, '-' }, { 7, '-' }, { 10, ' ' }, { 13, ':' }, { 16, ':' }, { 19, '.' } };

template <typename Char> qint64 packChars(const Char *text, qsizetype size)
{
    if (size != textSize)
        return -1;
    for (const auto &s : separators) {
        if (text[s.at] != Char(s.c))
            return -1;
    }
    qint64 stamp = 0;
    for (const Field &f : fields) {
        qint64 value = 0;
        for (int i = f.at; i < f.at + f.digits; ++i) {
            const unsigned digit = unsigned(text[i]) - '0';
            if (digit > 9)
                return -1;
            value = value * 10 + digit;
        }
        if (value >= (qint64(1) << f.bits))
            return -1;
        stamp = (stamp << f.bits) | value;
    }
    return stamp;
}

} // namespace

qint64 pack(const char *text, qsizetype size)
{
    return packChars(text, size);
}

qint64 pack(QStringView text)
{
    return packChars(text.utf16(), text.size());
}

void unpack(qint64 stamp, char *text)
{
    for (const auto &s : separators)
        text[s.at] = s.c;
    for (int k = int(std::size(fields)) - 1; k >= 0; --k) {
        const Field &f = fields[k];
        qint64 value = stamp & ((qint64(1) << f.bits) - 1);
        stamp >>= f.bits;
        for (int i = f.at + f.digits - 1; i >= f.at; --i) {
            text[i] = char('0' + value % 10);
            value /= 10;
        }
    }
}

} // namespace Stamp

QString Samples::timestamp(qsizetype j) const
{
    const qint64 t = times[j];
    if (t < 0)
        return oddTimes[-1 - t];
    char text[Stamp::textSize];
    Stamp::unpack(t, text);
    return QString::fromLatin1(text, Stamp::textSize);
}

QStringList Samples::timestamps() const
{
    QStringList texts;
    texts.reserve(size());
    for (qsizetype j = 0; j < size(); ++j)
        texts.append(timestamp(j));
    return texts;
}

void Samples::appendTimestamp(QByteArray &out, qsizetype j) const
{
    const qint64 t = times[j];
    if (t < 0) {
        out += oddTimes[-1 - t].toUtf8();
        return;
    }
    const qsizetype end = out.size();
    out.resize(end + Stamp::textSize);
    Stamp::unpack(t, out.data() + end);
}

Samples Samples::mid(qsizetype from, qsizetype n) const
{
    return { points.mid(from, n), times.mid(from, n), unitOf.mid(from, n), settingsOf.mid(from, n),
        units, settingTexts, oddTimes };
}

bool operator==(const Samples &a, const Samples &b)
{
    // To the bit, so that a NaN read from a store is the NaN written.
    if (a.size() != b.size()
        || std::memcmp(a.points.constData(), b.points.constData(), a.size() * sizeof(QPointF)))
        return false;
    for (qsizetype j = 0; j < a.size(); ++j) {
        if (a.unit(j) != b.unit(j) || a.settings(j) != b.settings(j))
            return false;
        if ((a.times[j] != b.times[j] || a.times[j] < 0) && a.timestamp(j) != b.timestamp(j))
            return false;
    }
    return true;
}

void SamplesBuilder::append(
    QPointF point, const QString &timestamp, const QString &unit, const QString &settings)
{
    samples.points.append(point);
    qint64 t = Stamp::pack(timestamp);
    if (t < 0) {
        t = -1 - samples.oddTimes.size();
        samples.oddTimes.append(timestamp);
    }
    samples.times.append(t);
    samples.unitOf.append(id(samples.units, unitIds, unit));
    samples.settingsOf.append(id(samples.settingTexts, settingsIds, settings));
}

Samples SamplesBuilder::take()
{
    unitIds.clear();
    settingsIds.clear();
    return std::exchange(samples, Samples());
}

quint32 SamplesBuilder::id(QStringList &texts, QHash<QString, quint32> &ids, const QString &text)
{
    const auto found = ids.constFind(text);
    if (found != ids.constEnd())
        return *found;
    const quint32 next = quint32(texts.size());
    texts.append(text);
    ids.insert(text, next);
    return next;
}
