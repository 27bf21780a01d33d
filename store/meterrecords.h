#pragma once

#include "store/samples.h"

#include <QBluetoothAddress>
#include <QBluetoothDeviceInfo>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QStringList>

// One known meter: its identity, its label and its saved measurements, in the order they were
// saved. pointsNumber[k], measureNames[k] and measurements[k] describe measurement k, and
// pointsNumber[k] is the size of measurements[k]. Copies share their data.
struct Meter {
    explicit Meter(const QBluetoothDeviceInfo &device = {}, const QString &label = {})
        : device(device), label(label)
    { }

    QBluetoothDeviceInfo device;
    QString label;
    QList<int> pointsNumber;
    QStringList measureNames;
    QList<Samples> measurements;
};
bool operator==(const Meter &a, const Meter &b);
// Known meters are told apart by address and advertised name, never by label or row.
bool sameMeter(const QBluetoothDeviceInfo &a, const QBluetoothDeviceInfo &b);

// One measurement of a meter, handed out whole: its name and its points with the texts that go
// with each. It shares its meter's columns, so handing out even a long measurement copies
// nothing, and it stays as it was when the records change.
class Measurement
{
public:
    QString name;
    Samples samples;

    int size() const { return int(samples.size()); }
    QPointF point(int j) const { return samples.points[j]; }
    QString timestamp(int j) const { return samples.timestamp(j); }
    const QString &unit(int j) const { return samples.unit(j); }
    const QString &settings(int j) const { return samples.settings(j); }
    const QList<QPointF> &points() const { return samples.points; }
    QStringList timestamps() const;
};

// The known meters. Every change goes through here, so the lists of a meter always agree, and
// says which meter it changed, so that whatever shows the meters follows.
class MeterRecords : public QObject
{
    Q_OBJECT

public:
    int count() const { return int(meters.size()); }
    const Meter &meter(int i) const { return meters[i]; }
    const QList<Meter> &all() const { return meters; }
    const QString &label(int i) const { return meters[i].label; }
    // The index of the meter with this identity (sameMeter()), or -1.
    int find(const QBluetoothDeviceInfo &device) const;
    bool contains(const QBluetoothDeviceInfo &device) const { return find(device) >= 0; }
    Measurement measurement(int i, int k) const;

    // Takes a meter whose lists already agree.
    void addMeter(Meter meter);
    void removeMeter(int i);
    void relabel(int i, const QString &label);
    void addMeasurement(int i, const QString &name, const QList<QPointF> &points,
        const QStringList &timestamps, const QStringList &units, const QStringList &settingTexts);
    void addMeasurement(int i, const QString &name, const Samples &samples);
    void removeMeasurement(int i, int k);
    void renameMeasurement(int i, int k, const QString &name);

signals:
    // The meter that is now meter i, the last one.
    void meterAdded(int i);
    // Meter i is gone; those after it moved up by one.
    void meterRemoved(int i);
    void meterRelabelled(int i);

private:
    QList<Meter> meters;
};
