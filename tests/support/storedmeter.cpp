#include "support/storedmeter.h"

#include "store/journal.h"

#include <QFile>
#include <QSettings>

StoredSeries storedSeries(int n, double first, const QString &unit, const QString &settings)
{
    const QString time = QStringLiteral("2026-12-06 14:07:09.042042");
    StoredSeries series{ time, {}, QStringList(n, time), QStringList(n, unit),
        QStringList(n, settings) };
    for (int j = 0; j < n; ++j)
        series.points.append(QPointF(j + 1, first + j));
    return series;
}

static void writeKeys(QSettings &s, const QList<StoredMeter> &meters, const StoredOptions &options)
{
    s.setValue("darkMode", options.dark);
    s.setValue("tovik", options.tovik);
    s.setValue("language", options.language);
    s.beginWriteArray("deviceList");
    for (int i = 0; i < meters.size(); ++i) {
        const StoredMeter &m = meters[i];
        s.setArrayIndex(i);
        s.setValue("deviceName", m.name);
        s.setValue("deviceAdress", m.address);
        s.setValue("buttonName", m.label);
        s.beginWriteArray("points");
        int j = 0;
        for (const StoredSeries &series : m.measurements) {
            for (int p = 0; p < series.points.size(); ++p, ++j) {
                s.setArrayIndex(j);
                s.setValue("point", series.points[p]);
                s.setValue("timestamp", series.timestamps[p]);
                s.setValue("unit", series.units[p]);
                s.setValue("settings", series.settings[p]);
            }
        }
        s.endArray();
        s.beginWriteArray("pointsNumber");
        for (int k = 0; k < m.measurements.size(); ++k) {
            s.setArrayIndex(k);
            s.setValue("measureNames", m.measurements[k].name);
            s.setValue("pointNumber", int(m.measurements[k].points.size()));
        }
        s.endArray();
    }
    s.endArray();
}

void writeStore(const QList<StoredMeter> &meters, const StoredOptions &options)
{
    QSettings s("Orvu", "Kalvion");
    s.clear();
    QFile::remove(Journal::Files(s.fileName()).journal);
    writeKeys(s, meters, options);
}

void writeStoreFile(const QString &path, const QList<StoredMeter> &meters,
    const StoredOptions &options)
{
    QFile::remove(path);
    QSettings s(path, QSettings::IniFormat);
    writeKeys(s, meters, options);
}
