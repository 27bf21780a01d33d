#include "store/store.h"

#include "store/storefile.h"

#include <QFile>
#include <QStandardPaths>

#include <algorithm>

namespace {

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

} // namespace

namespace Store {

QString fileName()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Orvu/Kalvion.conf");
}

bool operator==(const Snapshot &a, const Snapshot &b)
{
    return a.options.darkMode == b.options.darkMode && a.options.tovik == b.options.tovik
        && a.options.language == b.options.language && a.meters == b.meters;
}

Snapshot snapshot(const Options &options, const MeterRecords &records)
{
    return { options, records.all() };
}

Snapshot read(const QString &fileName)
{
    if (std::optional<Snapshot> read = StoreFile::read(fileName))
        return *std::move(read);
    return readSettings(fileName);
}

Snapshot readSettings(const QString &fileName)
{
    QSettings s(fileName, QSettings::IniFormat);
    Snapshot read;
    Options &options = read.options;
    options.darkMode = toBool(s.value("darkMode"));
    options.tovik = toBool(s.value("tovik"));
    options.language = toInt(s.value("language")) == 1 ? 1 : 0;

    readArray(s, "deviceList", [&] {
        const QVariant label = s.value("buttonName");
        const QVariant address = s.value("deviceAdress");
        const QVariant name = s.value("deviceName");
        if (!label.isValid() && !address.isValid() && !name.isValid() && !s.contains("points/size")
            && !s.contains("pointsNumber/size"))
            return false;
        SamplesBuilder points;
        readArray(s, "points", [&] {
            const QVariant point = s.value("point");
            const QVariant timestamp = s.value("timestamp");
            const QVariant unit = s.value("unit");
            const QVariant settings = s.value("settings");
            if (!point.isValid() && !timestamp.isValid() && !unit.isValid() && !settings.isValid())
                return false;
            points.append(
                point.toPointF(), timestamp.toString(), unit.toString(), settings.toString());
            return true;
        });
        QList<int> counts;
        QStringList names;
        readArray(s, "pointsNumber", [&] {
            const QVariant count = s.value("pointNumber");
            const QVariant name = s.value("measureNames");
            if (!count.isValid() && !name.isValid())
                return false;
            counts.append(toInt(count));
            names.append(name.toString());
            return true;
        });
        const Samples all = points.take();
        read.meters.append(meterOf(
            QBluetoothDeviceInfo(QBluetoothAddress(address.toString()), name.toString(), 0),
            label.toString(), all.size(), counts, names,
            [&](qsizetype from, qsizetype n) { return all.mid(from, n); }));
        return true;
    });
    return read;
}

Meter meterOf(const QBluetoothDeviceInfo &device, const QString &label, qsizetype points,
    const QList<int> &counts, const QStringList &names,
    const std::function<Samples(qsizetype from, qsizetype n)> &cut)
{
    Meter m(device, label);
    qsizetype s = 0;
    for (qsizetype k = 0; k < counts.size(); ++k) {
        const qsizetype n = std::min<qsizetype>(std::max(counts[k], 0), points - s);
        if (n <= 0)
            continue;
        m.pointsNumber.append(int(n));
        m.measureNames.append(names.value(k));
        m.measurements.append(cut(s, n));
        s += n;
    }
    return m;
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

} // namespace Store
