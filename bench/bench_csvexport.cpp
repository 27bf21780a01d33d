// Exporting a measurement of 100,000 points as CSV through the program's code, beside a bare
// QTextStream loop that writes the same lines.

#include "store/csvexport.h"
#include "store/meterrecords.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>

namespace {

constexpr int pointCount = 100000;

// The measurement's lists, as the live screen hands them over.
struct Lists {
    QList<QPointF> points;
    QStringList timestamps, units, settings;
};

Lists sample()
{
    Lists l;
    const QStringList unitChoice = {"m V ", "V ", "k Ω ", "m V ?"};
    for (int x = 1; x <= pointCount; ++x) {
        l.points.append(QPointF(x, 12.34 + 0.01 * (x % 997) * (x % 5 == 0 ? 1e5 : 1)));
        l.timestamps.append(QString("2026-12-06 14:%1:%2.%3%3")
                                .arg(x / 3600 % 60, 2, 10, QChar('0'))
                                .arg(x / 60 % 60, 2, 10, QChar('0'))
                                .arg(x % 1000, 3, 10, QChar('0')));
        l.units.append(unitChoice[x % 4]);
        l.settings.append(x % 5000 < 2500 ? "DC AUTO " : "AC AUTO ");
    }
    return l;
}

// The lines written one by one through a text stream, with no check of the outcome.
void bareExport(const QString &path, const Lists &m, const CsvHeads &h)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    QTextStream out(&file);
    const int n = int(m.points.size());
    out << h.measurement << m.timestamps[0] << "\n"
        << h.device << "C8:27:53:0C:00:01"
        << "\n\n"
        << h.settings << m.settings[0] << "," << m.timestamps[0];
    for (int j = 0; j < n - 1; ++j) {
        if (m.settings[j] != m.settings[j + 1])
            out << "\n" << h.settings << m.settings[j + 1] << "," << m.timestamps[j + 1];
    }
    out << "\n\n" << h.value << "," << h.unit << "," << h.time << "\n";
    for (int j = 0; j < n; ++j) {
        if (m.units[j].contains('?'))
            out << "0.L," << QString(m.units[j]).remove('?');
        else
            out << m.points[j].y() << "," << m.units[j];
        out << "," << m.timestamps[j] << "\n";
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const Lists lists = sample();
    MeterRecords records;
    records.addMeter(
        Meter(QBluetoothDeviceInfo(QBluetoothAddress("C8:27:53:0C:00:01"), "M27K53C", 0)));
    records.addMeasurement(
        0, lists.timestamps.first(), lists.points, lists.timestamps, lists.units, lists.settings);
    const CsvHeads heads{"Messung", "Gerät:", "Einstellungen:", "Messwert", "Einheit", "Zeit"};
    QTemporaryDir dir;
    const QString ours = dir.filePath("ours.csv");
    const QString bare = dir.filePath("bare.csv");

    double oursBest = 1e9, bareBest = 1e9;
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer timer;
        timer.start();
        Csv::save(ours, records.measurement(0, 0), "C8:27:53:0C:00:01", heads);
        oursBest = std::min(oursBest, timer.nsecsElapsed() / 1e6);
        timer.restart();
        bareExport(bare, lists, heads);
        bareBest = std::min(bareBest, timer.nsecsElapsed() / 1e6);
    }
    QFile a(ours), b(bare);
    a.open(QIODevice::ReadOnly);
    b.open(QIODevice::ReadOnly);
    std::printf("CSV export of %d points (best of 5)\n", pointCount);
    std::printf("%-28s %8.1f ms\n%-28s %8.1f ms\n", "program (QSaveFile)", oursBest,
                "bare QTextStream loop", bareBest);
    std::printf("same bytes: %s, %lld bytes; target: under 300 ms\n",
                a.readAll() == b.readAll() ? "yes" : "NO", qint64(QFileInfo(ours).size()));
    return 0;
}
