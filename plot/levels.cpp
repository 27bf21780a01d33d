#include "plot/levels.h"

#include <algorithm>
#include <climits>

Levels::Levels(const QList<QPointF> &samples, std::function<QString(qsizetype)> unitOf)
    : samples(samples), unitOf(std::move(unitOf))
{
    const qsizetype n = samples.size();
    // The first level, from the samples, in one pass.
    first.resize(size_t((n + factor - 1) / factor));
    QString lastText;
    quint8 lastUnit = noUnit;
    for (qsizetype i = 0; i < n; ++i) {
        Small &b = first[size_t(i / factor)];
        const qsizetype start = i - i % factor;
        const quint8 at = quint8(i - start);
        const double y = samples[i].y();
        if (y < samples[start + b.lowest].y())
            b.lowest = at;
        if (y > samples[start + b.highest].y())
            b.highest = at;
        QString text = this->unitOf(i);
        if (text.endsWith(u'?'))
            continue;
        // The first readable sample looks its unit up even when it has no unit text.
        if (lastUnit == noUnit || text != lastText) {
            qsizetype k = units.indexOf(text);
            if (k < 0 && units.size() < mixed) {
                units.append(text);
                k = units.size() - 1;
            }
            lastUnit = k < 0 ? mixed : quint8(k);
            lastText = std::move(text);
        }
        if (b.readable == 0) {
            b.unit = lastUnit;
            b.readableLowest = b.readableHighest = at;
        } else {
            if (lastUnit != b.unit)
                b.unit = mixed;
            if (y < samples[start + b.readableLowest].y())
                b.readableLowest = at;
            if (y > samples[start + b.readableHighest].y())
                b.readableHighest = at;
        }
        ++b.readable;
        b.sum += y;
    }
    // Each further level from the one below, until one bucket holds everything.
    for (qsizetype below = qsizetype(first.size()); below > 1; below = (below + factor - 1) / factor) {
        const int level = levelCount() - 1;
        std::vector<Bucket> above(size_t((below + factor - 1) / factor));
        for (qsizetype c = 0; c < below; ++c) {
            const Bucket child = bucket(level, c);
            Bucket &b = above[size_t(c / factor)];
            if (c % factor == 0) {
                b.lowest = child.lowest;
                b.highest = child.highest;
            } else {
                if (samples[child.lowest].y() < samples[b.lowest].y())
                    b.lowest = child.lowest;
                if (samples[child.highest].y() > samples[b.highest].y())
                    b.highest = child.highest;
            }
            if (child.unit == noUnit)
                continue;
            if (b.unit == noUnit) {
                b.unit = child.unit;
                b.readableLowest = child.readableLowest;
                b.readableHighest = child.readableHighest;
            } else {
                if (child.unit != b.unit)
                    b.unit = mixed;
                if (samples[child.readableLowest].y() < samples[b.readableLowest].y())
                    b.readableLowest = child.readableLowest;
                if (samples[child.readableHighest].y() > samples[b.readableHighest].y())
                    b.readableHighest = child.readableHighest;
            }
            b.readable += child.readable;
            b.sum += child.sum;
        }
        upper.push_back(std::move(above));
    }
}

Levels::Bucket Levels::bucket(int level, qsizetype index) const
{
    if (level > 0)
        return upper[size_t(level - 1)][size_t(index)];
    const Small &s = first[size_t(index)];
    const qint32 start = qint32(index * factor);
    return { start + s.lowest, start + s.highest, s.readable, start + s.readableLowest,
        start + s.readableHighest, s.unit, s.sum };
}

qsizetype Levels::bucketSize(int level) const
{
    qsizetype size = factor;
    for (int l = 0; l < level; ++l)
        size *= factor;
    return size;
}

quint8 Levels::unitIndex(qsizetype i) const
{
    const QString text = unitOf(i);
    if (text.endsWith(u'?'))
        return noUnit;
    const qsizetype k = units.indexOf(text);
    return k < 0 ? mixed : quint8(k);
}

template <typename Visit>
void Levels::cover(qsizetype from, qsizetype to, int maxLevel, Visit visit) const
{
    maxLevel = std::min(maxLevel, first.empty() ? -1 : levelCount() - 1);
    for (qsizetype a = from; a < to;) {
        int level = -1;
        qsizetype size = 1;
        while (level < maxLevel) {
            const qsizetype bigger = size * factor;
            if (a % bigger != 0 || a + bigger > to)
                break;
            ++level;
            size = bigger;
        }
        visit(level, level < 0 ? a : a / size);
        a += size;
    }
}

QList<QPointF> Levels::drawn(qsizetype from, qsizetype to, int columns) const
{
    from = std::clamp<qsizetype>(from, 0, size());
    to = std::clamp<qsizetype>(to, from, size());
    const qsizetype n = to - from;
    columns = std::max(columns, 1);
    if (n <= qsizetype(columns) * fewPerColumn) {
        const qsizetype a = std::max<qsizetype>(from - 1, 0);
        return samples.mid(a, std::min(to + 1, size()) - a);
    }
    QList<QPointF> out;
    out.reserve(columns * 4);
    for (int c = 0; c < columns; ++c) {
        const qsizetype a = from + n * c / columns;
        const qsizetype b = from + n * (c + 1) / columns;
        const auto [lo, hi] = extremes(a, b);
        qsizetype shown[4] = { a, std::min(lo, hi), std::max(lo, hi), b - 1 };
        for (int k = 0; k < 4; ++k) {
            if (k == 0 || shown[k] != shown[k - 1])
                out.append(samples[shown[k]]);
        }
    }
    return out;
}

std::pair<double, double> Levels::span(qsizetype from, qsizetype to) const
{
    from = std::clamp<qsizetype>(from, 0, size());
    to = std::clamp<qsizetype>(to, from, size());
    if (from == to)
        return { 0, 0 };
    const auto [lo, hi] = extremes(from, to);
    return { samples[lo].y(), samples[hi].y() };
}

std::pair<qsizetype, qsizetype> Levels::extremes(qsizetype from, qsizetype to) const
{
    qsizetype lo = from, hi = from;
    cover(from, to, INT_MAX, [&](int level, qsizetype at) {
        const Bucket b = level < 0 ? Bucket{ qint32(at), qint32(at) } : bucket(level, at);
        if (samples[b.lowest].y() < samples[lo].y())
            lo = b.lowest;
        if (samples[b.highest].y() > samples[hi].y())
            hi = b.highest;
    });
    return { lo, hi };
}

Figures Levels::figures(qsizetype from, qsizetype to, const QString &unit) const
{
    Figures f;
    const qsizetype k = units.indexOf(unit);
    if (k >= 0)
        addFigures(std::clamp<qsizetype>(from, 0, size()), std::clamp<qsizetype>(to, 0, size()),
            INT_MAX, quint8(k), f);
    return f;
}

// A bucket of readable samples of more than one unit is looked into, level by level.
void Levels::addFigures(qsizetype from, qsizetype to, int maxLevel, quint8 unit, Figures &f) const
{
    const auto add = [&f](qsizetype count, double sum, double min, double max) {
        f.min = f.count ? std::min(f.min, min) : min;
        f.max = f.count ? std::max(f.max, max) : max;
        f.count += count;
        f.sum += sum;
    };
    cover(from, to, maxLevel, [&](int level, qsizetype at) {
        if (level < 0) {
            if (unitIndex(at) == unit)
                add(1, samples[at].y(), samples[at].y(), samples[at].y());
            return;
        }
        const Bucket b = bucket(level, at);
        if (b.unit == unit) {
            add(b.readable, b.sum, samples[b.readableLowest].y(), samples[b.readableHighest].y());
        } else if (b.unit == mixed) {
            const qsizetype size = bucketSize(level);
            addFigures(at * size, std::min(at * size + size, to), level - 1, unit, f);
        }
    });
}
