#pragma once

// The store the store benchmarks work on: one meter with 200,000 points in 10 measurements, as a
// long day at the bench leaves it.

#include "store/meterrecords.h"
#include "store/store.h"

#include <QList>
#include <QListWidget>
#include <QPointF>
#include <QSettings>
#include <QStringList>

constexpr int measureCount = 10;
constexpr int pointsPerMeasure = 20000;

struct Flat {
    QList<QPointF> points;
    QStringList timestamps, units, settings, names;
    QList<int> counts;
};

inline Flat sampleData()
{
    Flat f;
    const QStringList units = { "m V ", "V ", "k Ω ", "m V ?" };
    const QStringList settings = { "DC AUTO ", "AC AUTO ", "DC ", "AUTO " };
    for (int k = 0; k < measureCount; ++k) {
        f.counts.append(pointsPerMeasure);
        for (int x = 1; x <= pointsPerMeasure; ++x) {
            const int ms = (x * 333 + k) % 1000;
            f.points.append(QPointF(x, 12.34 + 0.01 * (x % 997)));
            f.timestamps.append(QString("2026-12-06 14:%1:%2.%3%3")
                                    .arg(k + 10)
                                    .arg(x % 60, 2, 10, QChar('0'))
                                    .arg(ms, 3, 10, QChar('0')));
            f.units.append(units[x % 4 == 0 ? 3 : k % 3]);
            f.settings.append(settings[k % 4]);
        }
        f.names.append(f.timestamps[k * pointsPerMeasure]);
    }
    return f;
}

inline void addSample(MeterRecords &records, const Flat &f)
{
    records.addMeter(
        Meter(QBluetoothDeviceInfo(QBluetoothAddress("AA:BB:CC:DD:EE:01"), "M27K53C", 0)),
        "Werkbank", false);
    for (int k = 0; k < measureCount; ++k) {
        const int s = k * pointsPerMeasure;
        records.addMeasurement(0, f.names[k], f.points.mid(s, pointsPerMeasure),
            f.timestamps.mid(s, pointsPerMeasure), f.units.mid(s, pointsPerMeasure),
            f.settings.mid(s, pointsPerMeasure));
    }
}

// Writes the records as the per-user store, as a run that ended with a confirmed close leaves
// it.
inline void saveSample(const MeterRecords &records)
{
    UserStore store;
    Store::write(store, Options{}, records);
}

// Writes the sample as the per-user store.
inline void saveSample()
{
    QListWidget rows;
    MeterRecords records(&rows);
    addSample(records, sampleData());
    saveSample(records);
}

// Reads every key of the store with a bare QSettings loop, as the program does.
inline qsizetype bareRead(const QString &path)
{
    QSettings s(path, QSettings::IniFormat);
    Flat f;
    s.value("darkMode").toBool();
    s.value("tovik").toBool();
    s.value("language").toInt();
    const int meters = s.beginReadArray("deviceList");
    for (int i = 0; i < meters; ++i) {
        s.setArrayIndex(i);
        s.value("buttonName").toString();
        s.value("deviceAdress").toString();
        s.value("deviceName").toString();
        const int points = s.beginReadArray("points");
        for (int j = 0; j < points; ++j) {
            s.setArrayIndex(j);
            f.points.append(s.value("point").toPointF());
            f.timestamps.append(s.value("timestamp").toString());
            f.units.append(s.value("unit").toString());
            f.settings.append(s.value("settings").toString());
        }
        s.endArray();
        const int measures = s.beginReadArray("pointsNumber");
        for (int k = 0; k < measures; ++k) {
            s.setArrayIndex(k);
            f.counts.append(s.value("pointNumber").toInt());
            f.names.append(s.value("measureNames").toString());
        }
        s.endArray();
    }
    s.endArray();
    return f.points.size();
}
