#include "store/meterrecords.h"

#include "ui/theme.h"

#include <QListWidget>

static std::unique_ptr<QLineSeries> seriesOf(const QList<QPointF> &points, int from, int count)
{
    auto series = std::make_unique<QLineSeries>();
    series->replace(points.mid(from, count));
    return series;
}

bool operator==(const MeasurementLists &a, const MeasurementLists &b)
{
    return a.points == b.points && a.timestamps == b.timestamps && a.units == b.units
        && a.settingTexts == b.settingTexts && a.pointsNumber == b.pointsNumber
        && a.measureNames == b.measureNames;
}

MeterRecords::MeterRecords(QListWidget *rows) : rows(rows)
{ }

QString MeterRecords::label(int i) const
{
    return rows->item(i)->text();
}

int MeterRecords::find(const QBluetoothDeviceInfo &device) const
{
    for (int i = 0; i < count(); ++i) {
        const QBluetoothDeviceInfo &known = meter(i).device;
        if (known.address() == device.address() && known.name() == device.name())
            return i;
    }
    return -1;
}

Measurement MeterRecords::measurement(int i, int k) const
{
    const Meter &m = meter(i);
    Measurement shown;
    shown.name = m.measureNames[k];
    shown.series = m.savedSeries[size_t(k)].get();
    shown.lists = m;
    shown.offset = offset(i, k);
    shown.count = m.pointsNumber[k];
    return shown;
}

int MeterRecords::offset(int i, int k) const
{
    const QList<int> &counts = meter(i).pointsNumber;
    int s = 0;
    for (int j = 0; j < k; ++j)
        s += counts[j];
    return s;
}

void MeterRecords::addMeter(Meter meter, const QString &label, bool dark)
{
    Q_ASSERT(meter.points.size() == meter.timestamps.size()
        && meter.points.size() == meter.units.size()
        && meter.points.size() == meter.settingTexts.size()
        && meter.pointsNumber.size() == meter.measureNames.size());
    meter.savedSeries.clear();
    int s = 0;
    for (int n : std::as_const(meter.pointsNumber)) {
        meter.savedSeries.push_back(seriesOf(meter.points, s, n));
        s += n;
    }
    Q_ASSERT(s == meter.points.size());

    auto *item = new QListWidgetItem(label);
    Theme::colourItem(item, dark);
    rows->addItem(item);
    meters.push_back(std::move(meter));
}

void MeterRecords::removeMeter(int i)
{
    delete rows->takeItem(i);
    meters.erase(meters.begin() + i);
}

void MeterRecords::relabel(int i, const QString &label)
{
    rows->item(i)->setText(label);
}

void MeterRecords::addMeasurement(int i, const QString &name, const QList<QPointF> &points,
    const QStringList &timestamps, const QStringList &units, const QStringList &settingTexts)
{
    Q_ASSERT(points.size() == timestamps.size() && points.size() == units.size()
        && points.size() == settingTexts.size());
    Meter &m = meters[size_t(i)];
    m.points += points;
    m.timestamps += timestamps;
    m.units += units;
    m.settingTexts += settingTexts;
    m.pointsNumber.append(int(points.size()));
    m.measureNames.append(name);
    m.savedSeries.push_back(seriesOf(points, 0, int(points.size())));
}

void MeterRecords::removeMeasurement(int i, int k)
{
    const int s = offset(i, k);
    Meter &m = meters[size_t(i)];
    const int n = m.pointsNumber[k];
    m.points.remove(s, n);
    m.timestamps.remove(s, n);
    m.units.remove(s, n);
    m.settingTexts.remove(s, n);
    m.pointsNumber.removeAt(k);
    m.measureNames.removeAt(k);
    m.savedSeries.erase(m.savedSeries.begin() + k);
}

void MeterRecords::renameMeasurement(int i, int k, const QString &name)
{
    meters[size_t(i)].measureNames[k] = name;
}

void MeterRecords::recolour(bool dark)
{
    for (int r = 0; r < rows->count(); ++r)
        Theme::colourItem(rows->item(r), dark);
}
