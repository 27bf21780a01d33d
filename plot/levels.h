#pragma once

#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>

#include <functional>
#include <utility>
#include <vector>

// Readable samples of one unit in a stretch: how many, their sum, smallest and largest.
struct Figures {
    qsizetype count = 0;
    double sum = 0;
    double min = 0;
    double max = 0;
};

// A series reduced to levels, each 16 times coarser than the one below, built in one pass:
// per bucket of samples, where its smallest and largest values lie, and the count, sum, smallest
// and largest of its readable samples, which carry one unit, none or several. Drawing or summing
// up any stretch then reads a few buckets per level and a few samples at its ends, never every
// sample in it. The samples themselves are the series' own list, shared, not copied.
class Levels
{
public:
    static constexpr int factor = 16;
    // Where fewer samples than this fall in a pixel column, they are drawn themselves.
    static constexpr int fewPerColumn = 4;

    // unitOf(i) is the unit text of sample i, with "?" at the end where it was unreadable.
    Levels(const QList<QPointF> &samples, std::function<QString(qsizetype)> unitOf);

    qsizetype size() const { return samples.size(); }
    const QPointF &sample(qsizetype i) const { return samples[i]; }

    // The copy of samples [from, to) to draw across `columns` pixel columns: the samples
    // themselves where few fall in a column, with one more at each end that is there; otherwise,
    // per column, its first, smallest, largest and last sample, in x order.
    QList<QPointF> drawn(qsizetype from, qsizetype to, int columns) const;
    // The smallest and largest value in [from, to), unreadable samples included.
    std::pair<double, double> span(qsizetype from, qsizetype to) const;
    // The readable samples in [from, to) that carry `unit` (given without "?").
    Figures figures(qsizetype from, qsizetype to, const QString &unit) const;

private:
    static constexpr quint8 noUnit = 255; // no readable sample
    static constexpr quint8 mixed = 254; // readable samples of more than one unit

    struct Bucket {
        qint32 lowest = 0; // where the smallest and the largest value lie
        qint32 highest = 0;
        qint32 readable = 0; // readable samples, all of the unit below unless mixed
        qint32 readableLowest = 0;
        qint32 readableHighest = 0;
        quint8 unit = noUnit;
        double sum = 0;
    };
    // The first level, which outnumbers all others together, keeps its places within the
    // bucket, in half the room.
    struct Small {
        quint8 lowest = 0;
        quint8 highest = 0;
        quint8 readable = 0;
        quint8 readableLowest = 0;
        quint8 readableHighest = 0;
        quint8 unit = noUnit;
        double sum = 0;
    };

    qsizetype bucketSize(int level) const;
    int levelCount() const { return int(upper.size()) + 1; }
    Bucket bucket(int level, qsizetype index) const;
    quint8 unitIndex(qsizetype i) const;
    // Where the smallest and the largest value in [from, to) lie; from must be less than to.
    std::pair<qsizetype, qsizetype> extremes(qsizetype from, qsizetype to) const;
    // Calls visit(level, index) for the buckets (level >= 0) and single samples (level -1)
    // that together cover [from, to), as few as the levels allow, none above maxLevel.
    template <typename Visit>
    void cover(qsizetype from, qsizetype to, int maxLevel, Visit visit) const;
    void addFigures(qsizetype from, qsizetype to, int maxLevel, quint8 unit, Figures &f) const;

    QList<QPointF> samples;
    std::function<QString(qsizetype)> unitOf;
    QStringList units; // the readable units met, by index
    std::vector<Small> first;
    std::vector<std::vector<Bucket>> upper; // the levels above the first
};
