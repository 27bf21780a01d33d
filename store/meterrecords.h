#pragma once

#include <QBluetoothAddress>
#include <QBluetoothDeviceInfo>
#include <QLineSeries>
#include <QList>
#include <QPointF>
#include <QStringList>

#include <memory>
#include <vector>

class QListWidget;

// A meter's saved measurements as the store keeps them. The measurements lie one after another
// in the flat per-point lists; pointsNumber[k] points belong to measurement k. Copies share
// their data until either side changes.
struct MeasurementLists {
    QList<QPointF> points;
    QStringList timestamps;
    QStringList units;
    QStringList settingTexts;
    QList<int> pointsNumber;
    QStringList measureNames;
};
bool operator==(const MeasurementLists &a, const MeasurementLists &b);

// One known meter: its identity, its saved measurements and a line series for each.
struct Meter : MeasurementLists {
    explicit Meter(const QBluetoothDeviceInfo &device = {}) : device(device) { }
    Meter(Meter &&) = default;
    Meter &operator=(Meter &&) = default;
    Meter(const Meter &) = delete;

    QBluetoothDeviceInfo device;
    std::vector<std::unique_ptr<QLineSeries>> savedSeries;
};

// One measurement of a meter, handed out whole: its name, its points with the texts that go
// with each, and the line series kept for it. It holds its meter's lists, shared, so handing
// out even a long measurement copies nothing, and it stays as it was when the records change.
class Measurement
{
public:
    QString name;
    QLineSeries *series = nullptr;

    int size() const { return count; }
    QPointF point(int j) const { return lists.points[offset + j]; }
    const QString &timestamp(int j) const { return lists.timestamps[offset + j]; }
    const QString &unit(int j) const { return lists.units[offset + j]; }
    const QString &settings(int j) const { return lists.settingTexts[offset + j]; }
    // Copies of its part of the lists.
    QList<QPointF> points() const { return lists.points.mid(offset, count); }
    QStringList timestamps() const { return lists.timestamps.mid(offset, count); }

private:
    friend class MeterRecords;
    MeasurementLists lists;
    int offset = 0;
    int count = 0;
};

// The known meters and the rows of the main window's list that show them. Every change goes
// through here, so row i always shows meter i and the lists of a meter always agree: the four
// per-point lists are as long as the sum of pointsNumber, and every measurement has a name
// and a line series.
class MeterRecords
{
public:
    explicit MeterRecords(QListWidget *rows);

    int count() const { return int(meters.size()); }
    const Meter &meter(int i) const { return meters[size_t(i)]; }
    QString label(int i) const;
    // Known meters are told apart by address and advertised name, never by label or row.
    // find() gives the row of the meter with this identity, or -1.
    int find(const QBluetoothDeviceInfo &device) const;
    bool contains(const QBluetoothDeviceInfo &device) const { return find(device) >= 0; }
    Measurement measurement(int i, int k) const;

    // Takes a meter whose lists already agree (measurements and their series are built here).
    void addMeter(Meter meter, const QString &label, bool dark);
    void removeMeter(int i);
    void relabel(int i, const QString &label);
    void addMeasurement(int i, const QString &name, const QList<QPointF> &points,
        const QStringList &timestamps, const QStringList &units, const QStringList &settingTexts);
    void removeMeasurement(int i, int k);
    void renameMeasurement(int i, int k, const QString &name);
    void recolour(bool dark);

private:
    int offset(int i, int k) const;

    QListWidget *rows;
    std::vector<Meter> meters;
};
