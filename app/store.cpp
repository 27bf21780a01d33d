#include "app/store.h"

#include "app/meterrecords.h"

#include <QSettings>

namespace {

void writeMeter(QSettings &s, const Meter &m, const QString &label)
{
    s.setValue("deviceName", m.device.name());
    s.setValue("deviceAdress", m.device.address().toString());
    s.setValue("buttonName", label);

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

// Opens the array and returns how many entries to read: its size entry, but never past the
// last entry that is really there, so a forged size cannot make us read or invent thousands
// of empty entries. Missing entries below that read as empty values.
int beginReadArray(QSettings &s, const QString &name)
{
    const int claimed = s.beginReadArray(name);
    if (claimed <= 0)
        return 0;
    s.setArrayIndex(claimed - 1);
    if (!s.childKeys().isEmpty() || !s.childGroups().isEmpty())
        return claimed;

    s.endArray();
    s.beginGroup(name);
    int present = 0;
    const QStringList entries = s.childGroups();
    for (const QString &entry : entries) {
        bool ok = false;
        const int index = entry.toInt(&ok);
        if (ok && index <= claimed)
            present = std::max(present, index);
    }
    s.endGroup();
    s.beginReadArray(name);
    return present;
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

void write(QSettings &s, const Options &options, const MeterRecords &records)
{
    s.setValue("darkMode", options.darkMode);
    s.setValue("tovik", options.tovik);
    s.setValue("language", options.language);

    s.beginWriteArray("deviceList");
    for (int i = 0; i < records.count(); ++i) {
        s.setArrayIndex(i);
        writeMeter(s, records.meter(i), records.label(i));
    }
    s.endArray();
}

void read(QSettings &s, Options &options, MeterRecords &records)
{
    options.darkMode = toBool(s.value("darkMode"));
    options.tovik = toBool(s.value("tovik"));
    const int language = toInt(s.value("language"));
    options.language = language == 1 ? 1 : 0;

    const int meterCount = beginReadArray(s, "deviceList");
    for (int i = 0; i < meterCount; ++i) {
        s.setArrayIndex(i);
        Meter m;
        const QString label = s.value("buttonName").toString();
        m.device = QBluetoothDeviceInfo(QBluetoothAddress(s.value("deviceAdress").toString()),
                                        s.value("deviceName").toString(), 0);

        const int pointCount = beginReadArray(s, "points");
        m.points.reserve(pointCount);
        m.timestamps.reserve(pointCount);
        m.units.reserve(pointCount);
        m.settingTexts.reserve(pointCount);
        for (int j = 0; j < pointCount; ++j) {
            s.setArrayIndex(j);
            m.points.append(s.value("point").toPointF());
            m.timestamps.append(s.value("timestamp").toString());
            m.units.append(s.value("unit").toString());
            m.settingTexts.append(s.value("settings").toString());
        }
        s.endArray();

        const int measureCount = beginReadArray(s, "pointsNumber");
        for (int k = 0; k < measureCount; ++k) {
            s.setArrayIndex(k);
            m.pointsNumber.append(toInt(s.value("pointNumber")));
            m.measureNames.append(s.value("measureNames").toString());
        }
        s.endArray();

        fitCounts(m);
        records.addMeter(std::move(m), label, options.darkMode);
    }
    s.endArray();
}

} // namespace Store
