#include "store/store.h"

#include "store/meterrecords.h"

#include <algorithm>

namespace {

void writeMeter(QSettings &s, const Store::MeterCopy &m)
{
    s.setValue("deviceName", m.name);
    s.setValue("deviceAdress", m.address);
    s.setValue("buttonName", m.label);

    s.beginWriteArray("points");
    for (int j = 0; j < m.points.size(); ++j) {
        s.setArrayIndex(j);
        s.setValue("point", m.points[j]);
        s.setValue("timestamp", m.timestamps[j]);
        s.setValue("unit", m.units[j]);
        s.setValue("settings", m.settingTexts[j]);
    }
    s.endArray();

    s.beginWriteArray("pointsNumber");
    for (int k = 0; k < m.pointsNumber.size(); ++k) {
        s.setArrayIndex(k);
        s.setValue("measureNames", m.measureNames[k]);
        s.setValue("pointNumber", m.pointsNumber[k]);
    }
    s.endArray();
}

// The ini back end hands every value back as text, so "true" and "false" are taken literally
// and anything else is false.
bool toBool(const QVariant &v)
{
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    return v.toString().compare("true", Qt::CaseInsensitive) == 0;
}

int toInt(const QVariant &v)
{
    bool ok = false;
    const int n = v.toInt(&ok);
    return ok ? n : 0;
}

// The number of an array entry's group, or 0 for a group that names no entry.
int entryNumber(const QString &group)
{
    bool ok = false;
    const int n = group.toInt(&ok);
    return ok && n > 0 && QString::number(n) == group ? n : 0;
}

// The indices of the entries of the array below its claimed size and after index `after`
// that are really there, in order. Leaves the array open as it found it.
QList<int> entriesAfter(QSettings &s, const QString &name, int after, int claimed)
{
    s.endArray();
    s.beginGroup(name);
    QList<int> indices;
    const QStringList groups = s.childGroups();
    for (const QString &group : groups) {
        const int n = entryNumber(group);
        if (n - 1 > after && n <= claimed)
            indices.append(n - 1);
    }
    s.endGroup();
    s.beginReadArray(name);
    std::sort(indices.begin(), indices.end());
    return indices;
}

// Reads the array's entries in order through readEntry, which reads the selected entry and
// says whether it was there at all. The size entry is outside data: entries are read up to it
// while they are there, and after the first gap only those that really exist, so a forged
// size costs one look at the array instead of reading or inventing billions of entries.
template <typename ReadEntry> void readArray(QSettings &s, const QString &name, ReadEntry readEntry)
{
    const int claimed = s.beginReadArray(name);
    int j = 0;
    for (; j < claimed; ++j) {
        s.setArrayIndex(j);
        if (!readEntry())
            break;
    }
    if (j < claimed) {
        for (int k : entriesAfter(s, name, j, claimed)) {
            s.setArrayIndex(k);
            readEntry();
        }
    }
    s.endArray();
}

// Makes the measurement counts fit the points that were read: each measurement keeps the
// points that exist for it, in order; one left without points is dropped, and points past
// the last measurement are dropped.
void fitCounts(Meter &m)
{
    const int available = int(m.points.size());
    QList<int> counts;
    QStringList names;
    int s = 0;
    for (int k = 0; k < m.pointsNumber.size(); ++k) {
        const int n = std::min(std::max(m.pointsNumber[k], 0), available - s);
        if (n <= 0)
            continue;
        counts.append(n);
        names.append(m.measureNames[k]);
        s += n;
    }
    m.pointsNumber = counts;
    m.measureNames = names;
    m.points.resize(s);
    m.timestamps.resize(s);
    m.units.resize(s);
    m.settingTexts.resize(s);
}

} // namespace

namespace Store {

bool operator==(const MeterCopy &a, const MeterCopy &b)
{
    return a.name == b.name && a.address == b.address && a.label == b.label
        && static_cast<const MeasurementLists &>(a) == b;
}

bool operator==(const Snapshot &a, const Snapshot &b)
{
    return a.options.darkMode == b.options.darkMode && a.options.tovik == b.options.tovik
        && a.options.language == b.options.language && a.meters == b.meters;
}

Snapshot snapshot(const Options &options, const MeterRecords &records)
{
    Snapshot copy{ options, {} };
    for (int i = 0; i < records.count(); ++i) {
        const Meter &m = records.meter(i);
        copy.meters.append({ m, m.device.name(), m.device.address().toString(), records.label(i) });
    }
    return copy;
}

void write(QSettings &s, const Snapshot &snapshot)
{
    s.setValue("darkMode", snapshot.options.darkMode);
    s.setValue("tovik", snapshot.options.tovik);
    s.setValue("language", snapshot.options.language);

    s.beginWriteArray("deviceList");
    for (int i = 0; i < snapshot.meters.size(); ++i) {
        s.setArrayIndex(i);
        writeMeter(s, snapshot.meters[i]);
    }
    s.endArray();
}

void write(QSettings &s, const Options &options, const MeterRecords &records)
{
    write(s, snapshot(options, records));
}

void read(QSettings &s, Options &options, MeterRecords &records)
{
    options.darkMode = toBool(s.value("darkMode"));
    options.tovik = toBool(s.value("tovik"));
    const int language = toInt(s.value("language"));
    options.language = language == 1 ? 1 : 0;

    readArray(s, "deviceList", [&] {
        const QVariant label = s.value("buttonName");
        const QVariant address = s.value("deviceAdress");
        const QVariant name = s.value("deviceName");
        if (!label.isValid() && !address.isValid() && !name.isValid() && !s.contains("points/size")
            && !s.contains("pointsNumber/size"))
            return false;
        Meter m(QBluetoothDeviceInfo(QBluetoothAddress(address.toString()), name.toString(), 0));
        readArray(s, "points", [&] {
            const QVariant point = s.value("point");
            const QVariant timestamp = s.value("timestamp");
            const QVariant unit = s.value("unit");
            const QVariant settings = s.value("settings");
            if (!point.isValid() && !timestamp.isValid() && !unit.isValid() && !settings.isValid())
                return false;
            m.points.append(point.toPointF());
            m.timestamps.append(timestamp.toString());
            m.units.append(unit.toString());
            m.settingTexts.append(settings.toString());
            return true;
        });
        readArray(s, "pointsNumber", [&] {
            const QVariant count = s.value("pointNumber");
            const QVariant name = s.value("measureNames");
            if (!count.isValid() && !name.isValid())
                return false;
            m.pointsNumber.append(toInt(count));
            m.measureNames.append(name.toString());
            return true;
        });
        fitCounts(m);
        records.addMeter(std::move(m), label.toString(), options.darkMode);
        return true;
    });
}

} // namespace Store
