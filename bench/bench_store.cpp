// Writes and reads a store of 200,000 points through the program's store code and through a
// bare QSettings loop with the same keys, side by side, and prints both times and the ratio;
// and a whole checkpoint (the write, its hash and the journal that follows it) beside the bare
// write.

#include "store/meterrecords.h"
#include "store/store.h"
#include "store/storewriter.h"
#include "bench/storesample.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdio>

namespace {

void bareWrite(const QString &path, const Flat &f)
{
    QSettings s(path, QSettings::IniFormat);
    s.setValue("darkMode", false);
    s.setValue("tovik", false);
    s.setValue("language", 0);
    s.beginWriteArray("deviceList");
    s.setArrayIndex(0);
    s.setValue("deviceName", "M27K53C");
    s.setValue("deviceAdress", "AA:BB:CC:DD:EE:01");
    s.setValue("buttonName", "Werkbank");
    s.beginWriteArray("points");
    for (int j = 0; j < f.points.size(); ++j) {
        s.setArrayIndex(j);
        s.setValue("point", f.points[j]);
        s.setValue("timestamp", f.timestamps[j]);
        s.setValue("unit", f.units[j]);
        s.setValue("settings", f.settings[j]);
    }
    s.endArray();
    s.beginWriteArray("pointsNumber");
    for (int k = 0; k < f.counts.size(); ++k) {
        s.setArrayIndex(k);
        s.setValue("measureNames", f.names[k]);
        s.setValue("pointNumber", f.counts[k]);
    }
    s.endArray();
    s.endArray();
    s.sync();
}

void storeWrite(const QString &path, const MeterRecords &records)
{
    QSettings s(path, QSettings::IniFormat);
    Store::write(s, Options{}, records);
    s.sync();
}

qsizetype storeRead(const QString &path, MeterRecords &records)
{
    Options options;
    QSettings s(path, QSettings::IniFormat);
    Store::read(s, options, records);
    return records.count() ? records.meter(0).points.size() : 0;
}

template<typename F>
double seconds(F &&f)
{
    QElapsedTimer t;
    t.start();
    f();
    return t.nsecsElapsed() / 1e9;
}

// A copy the settings cache has never seen, so reading parses the file as a new run does.
QString coldCopy(const QString &path, int round)
{
    const QString copy = path + QString(".cold%1").arg(round);
    QFile::copy(path, copy);
    return copy;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;

    const Flat f = sampleData();
    QListWidget rows;
    MeterRecords records(&rows);
    addSample(records, f);

    // Rounds in alternating order; the best time of each side counts, since a virtual machine
    // easily slows one run by a fifth.
    double bareW = 1e9, storeW = 1e9, bareR = 1e9, storeR = 1e9, checkpointW = 1e9;
    for (int round = 0; round < 5; ++round) {
        const QString bare = dir.filePath(QString("bare%1.conf").arg(round));
        const QString ours = dir.filePath(QString("store%1.conf").arg(round));
        auto runBare = [&] {
            bareW = std::min(bareW, seconds([&] { bareWrite(bare, f); }));
            const QString cold = coldCopy(bare, round);
            bareR = std::min(bareR, seconds([&] {
                if (bareRead(cold) != f.points.size())
                    qFatal("bare read lost points");
            }));
        };
        auto runStore = [&] {
            storeW = std::min(storeW, seconds([&] { storeWrite(ours, records); }));
            const Journal::Files files(dir.filePath(QString("checkpoint%1.conf").arg(round)));
            checkpointW = std::min(checkpointW, seconds([&] {
                StoreWriter::writeCheckpoint(files, Store::snapshot(Options{}, records), {});
            }));
            const QString cold = coldCopy(ours, round);
            QListWidget readRows; // the program reads into the window's existing list
            MeterRecords read(&readRows);
            storeR = std::min(storeR, seconds([&] {
                if (storeRead(cold, read) != f.points.size())
                    qFatal("store read lost points");
            }));
        };
        if (round % 2 == 0) {
            runBare();
            runStore();
        } else {
            runStore();
            runBare();
        }
    }

    std::printf("store of %d points, 1 meter, %d measurements\n",
                measureCount * pointsPerMeasure, measureCount);
    std::printf("write: store code %.3f s, bare loop %.3f s, ratio %.3f (target <= 1.10)\n",
                storeW, bareW, storeW / bareW);
    std::printf("read:  store code %.3f s, bare loop %.3f s, ratio %.3f (target <= 1.10)\n",
                storeR, bareR, storeR / bareR);
    std::printf("checkpoint (write, hash, next journal) %.3f s, ratio %.3f to the bare write\n",
                checkpointW, checkpointW / bareW);
    return 0;
}
