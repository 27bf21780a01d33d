#pragma once

// The store the store benchmarks work on: one meter whose points lie in 10 measurements, as
// long days at the bench leave it; 200,000 points unless a benchmark asks for more.

#include "store/meterrecords.h"
#include "store/store.h"
#include "store/storefile.h"

#include <QList>
#include <QPointF>
#include <QSettings>
#include <QStringList>

constexpr int measureCount = 10;
constexpr int samplePoints = 200000;

// The texts and value of point x (from 1) of measurement k, as the live screen hands them over.
struct SamplePoint {
    QPointF point;
    QString timestamp, unit, settings;
};

inline SamplePoint samplePoint(int k, int x)
{
    static const QStringList units = { "m V ", "V ", "k Ω ", "m V ?" };
    static const QStringList settings = { "DC AUTO ", "AC AUTO ", "DC ", "AUTO " };
    const int ms = (x * 333 + k) % 1000;
    return { QPointF(x, 12.34 + 0.01 * (x % 997)),
        QString("2026-12-%1 %2:%3:%4.%5%5")
            .arg(1 + x / 86400 % 28, 2, 10, QChar('0'))
            .arg(x / 3600 % 24, 2, 10, QChar('0'))
            .arg(x / 60 % 60, 2, 10, QChar('0'))
            .arg(x % 60, 2, 10, QChar('0'))
            .arg(ms, 3, 10, QChar('0')),
        units[x % 4 == 0 ? 3 : k % 3], settings[k % 4] };
}

inline void addSample(MeterRecords &records, int points = samplePoints)
{
    records.addMeter(Meter(
        QBluetoothDeviceInfo(QBluetoothAddress("AA:BB:CC:DD:EE:01"), "M27K53C", 0), "Werkbank"));
    for (int k = 0; k < measureCount; ++k) {
        QList<QPointF> xy;
        QStringList timestamps, units, settings;
        for (int x = 1; x <= points / measureCount; ++x) {
            const SamplePoint p = samplePoint(k, x);
            xy.append(p.point);
            timestamps.append(p.timestamp);
            units.append(p.unit);
            settings.append(p.settings);
        }
        records.addMeasurement(0, timestamps.first(), xy, timestamps, units, settings);
    }
}

// Writes the sample as the per-user store, as a run that ended with a confirmed close leaves
// it.
inline void saveSample(int points = samplePoints)
{
    MeterRecords records;
    addSample(records, points);
    StoreFile::save(Store::fileName(), Store::snapshot(Options{}, records));
}

// Reads every key of the store with a bare QSettings loop, as the program once did, and gives
// the number of points read.
inline qsizetype bareRead(const QString &path)
{
    QSettings s(path, QSettings::IniFormat);
    QList<QPointF> points;
    QStringList timestamps, units, settings, names;
    QList<int> counts;
    s.value("darkMode").toBool();
    s.value("tovik").toBool();
    s.value("language").toInt();
    const int meters = s.beginReadArray("deviceList");
    for (int i = 0; i < meters; ++i) {
        s.setArrayIndex(i);
        s.value("buttonName").toString();
        s.value("deviceAdress").toString();
        s.value("deviceName").toString();
        const int n = s.beginReadArray("points");
        for (int j = 0; j < n; ++j) {
            s.setArrayIndex(j);
            points.append(s.value("point").toPointF());
            timestamps.append(s.value("timestamp").toString());
            units.append(s.value("unit").toString());
            settings.append(s.value("settings").toString());
        }
        s.endArray();
        const int measures = s.beginReadArray("pointsNumber");
        for (int k = 0; k < measures; ++k) {
            s.setArrayIndex(k);
            counts.append(s.value("pointNumber").toInt());
            names.append(s.value("measureNames").toString());
        }
        s.endArray();
    }
    s.endArray();
    return points.size();
}
