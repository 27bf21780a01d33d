#pragma once

#include <QHash>
#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>

// The time stamps the program writes ("yyyy-MM-dd hh:mm:ss.zzzzzz"), held as numbers: the
// fields packed from the year down to the microseconds, so that numbers order as the texts do.
namespace Stamp {

constexpr int textSize = 26;

// The number for a text of exactly that form, or -1 for any other text.
qint64 pack(const char *text, qsizetype size);
qint64 pack(QStringView text);
// The 26 characters of a packed stamp.
void unpack(qint64 stamp, char *text);

} // namespace Stamp

// The points of a measurement as columns of numbers, as there may be millions of them: x and
// y as a chart takes them, each time stamp as a number where it has the program's own form, and
// each unit and settings text as an index into the few texts the points use. Copies share their
// columns, which are never changed once the points are in the records.
//
// All per-point columns are as long as `points`; every index is within its text list.
struct Samples {
    QList<QPointF> points;
    // A packed stamp (>= 0), or -1 - i for oddTimes[i], a text of any other form.
    QList<qint64> times;
    QList<quint32> unitOf;
    QList<quint32> settingsOf;
    QStringList units;
    QStringList settingTexts;
    QStringList oddTimes;

    qsizetype size() const { return points.size(); }
    QString timestamp(qsizetype j) const;
    QStringList timestamps() const;
    // Appends the UTF-8 text of point j's time stamp.
    void appendTimestamp(QByteArray &out, qsizetype j) const;
    const QString &unit(qsizetype j) const { return units[unitOf[j]]; }
    const QString &settings(qsizetype j) const { return settingTexts[settingsOf[j]]; }

    // Points [from, from + n) with the texts they use; the text lists are shared.
    Samples mid(qsizetype from, qsizetype n) const;
};
// The same points with the same texts, however the texts are held.
bool operator==(const Samples &a, const Samples &b);

// Builds the columns point by point, holding each distinct text once.
class SamplesBuilder
{
public:
    void append(
        QPointF point, const QString &timestamp, const QString &unit, const QString &settings);
    // The points so far; a copy shares them until the next append.
    const Samples &built() const { return samples; }
    Samples take();

private:
    static quint32 id(QStringList &texts, QHash<QString, quint32> &ids, const QString &text);

    Samples samples;
    QHash<QString, quint32> unitIds;
    QHash<QString, quint32> settingsIds;
};
