#include "store/meterrecords.h"

bool operator==(const Meter &a, const Meter &b)
{
    return sameMeter(a.device, b.device) && a.label == b.label && a.pointsNumber == b.pointsNumber
        && a.measureNames == b.measureNames && a.measurements == b.measurements;
}

QStringList Measurement::timestamps() const
{
    return samples.timestamps();
}

bool sameMeter(const QBluetoothDeviceInfo &a, const QBluetoothDeviceInfo &b)
{
    return a.address() == b.address() && a.name() == b.name();
}

int MeterRecords::find(const QBluetoothDeviceInfo &device) const
{
    for (int i = 0; i < count(); ++i) {
        if (sameMeter(meters[i].device, device))
            return i;
    }
    return -1;
}

Measurement MeterRecords::measurement(int i, int k) const
{
    const Meter &m = meters[i];
    return { m.measureNames[k], m.measurements[k] };
}

void MeterRecords::addMeter(Meter meter)
{
    Q_ASSERT(meter.pointsNumber.size() == meter.measureNames.size()
        && meter.pointsNumber.size() == meter.measurements.size());
    meters.append(std::move(meter));
    emit meterAdded(count() - 1);
}

void MeterRecords::removeMeter(int i)
{
    meters.removeAt(i);
    emit meterRemoved(i);
}

void MeterRecords::relabel(int i, const QString &label)
{
    meters[i].label = label;
    emit meterRelabelled(i);
}

void MeterRecords::addMeasurement(int i, const QString &name, const QList<QPointF> &points,
    const QStringList &timestamps, const QStringList &units, const QStringList &settingTexts)
{
    Q_ASSERT(points.size() == timestamps.size() && points.size() == units.size()
        && points.size() == settingTexts.size());
    SamplesBuilder built;
    for (qsizetype j = 0; j < points.size(); ++j)
        built.append(points[j], timestamps[j], units[j], settingTexts[j]);
    addMeasurement(i, name, built.take());
}

void MeterRecords::addMeasurement(int i, const QString &name, const Samples &samples)
{
    Meter &m = meters[i];
    m.measurements.append(samples);
    m.pointsNumber.append(int(samples.size()));
    m.measureNames.append(name);
}

void MeterRecords::removeMeasurement(int i, int k)
{
    Meter &m = meters[i];
    m.measurements.removeAt(k);
    m.pointsNumber.removeAt(k);
    m.measureNames.removeAt(k);
}

void MeterRecords::renameMeasurement(int i, int k, const QString &name)
{
    meters[i].measureNames[k] = name;
}
