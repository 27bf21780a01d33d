// Writes and reads stores of 200,000, 1,000,000 and 5,000,000 points (or the counts given as
// arguments) through the program's store code and through a bare QSettings loop with the same
// keys, side by side, and prints both times and their ratio; then a whole checkpoint (the
// write, its hash and the journal that follows it) at each size, in time and in the memory it
// takes beyond what the records hold.

#include "bench/storesample.h"
#include "store/storefile.h"
#include "store/storewriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

namespace {

void bareWrite(const QString &path, const MeterRecords &records)
{
    QSettings s(path, QSettings::IniFormat);
    s.setValue("darkMode", false);
    s.setValue("tovik", false);
    s.setValue("language", 0);
    s.beginWriteArray("deviceList");
    const Meter &m = records.meter(0);
    s.setArrayIndex(0);
    s.setValue("deviceName", m.device.name());
    s.setValue("deviceAdress", m.device.address().toString());
    s.setValue("buttonName", m.label);
    s.beginWriteArray("points");
    int j = 0;
    for (int k = 0; k < m.measurements.size(); ++k) {
        const Measurement shown = records.measurement(0, k);
        for (int i = 0; i < shown.size(); ++i, ++j) {
            s.setArrayIndex(j);
            s.setValue("point", shown.point(i));
            s.setValue("timestamp", shown.timestamp(i));
            s.setValue("unit", shown.unit(i));
            s.setValue("settings", shown.settings(i));
        }
    }
    s.endArray();
    s.beginWriteArray("pointsNumber");
    for (int k = 0; k < m.measureNames.size(); ++k) {
        s.setArrayIndex(k);
        s.setValue("measureNames", m.measureNames[k]);
        s.setValue("pointNumber", m.pointsNumber[k]);
    }
    s.endArray();
    s.endArray();
    s.sync();
}

template <typename F> double seconds(F &&f)
{
    QElapsedTimer t;
    t.start();
    f();
    return t.nsecsElapsed() / 1e9;
}

// A copy the settings cache has never seen, so reading parses the file as a new run does.
QString coldCopy(const QString &path)
{
    static int copies = 0;
    const QString copy = path + QString(".cold%1").arg(copies++);
    QFile::copy(path, copy);
    return copy;
}

long statusKb(const char *field)
{
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLong();
    }
    return 0;
}

// Starts the peak resident memory afresh, so that it tells what comes next.
void resetPeak()
{
    QFile clear("/proc/self/clear_refs");
    clear.open(QIODevice::WriteOnly);
    clear.write("5");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QList<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.append(QByteArray(argv[i]).toInt());
    if (sizes.isEmpty())
        sizes = { 200000, 1000000, 5000000 };
    QTemporaryDir dir;

    std::printf("%9s %8s | %9s %9s %6s | %9s %9s %6s | %11s %9s\n", "points", "file MB", "write s",
        "bare s", "ratio", "read s", "bare s", "ratio", "checkpoint", "extra MB");
    for (int size : sizes) {
        MeterRecords records;
        addSample(records, size);
        const Store::Snapshot snapshot = Store::snapshot(Options{}, records);
        // Rounds in alternating order; the best time of each side counts, since a virtual
        // machine easily slows one run by a fifth. QSettings takes minutes at the largest size.
        const int rounds = size > 2000000 ? 1 : size > 500000 ? 3 : 5;
        double bareW = 1e9, oursW = 1e9, bareR = 1e9, oursR = 1e9, checkpoint = 1e9;
        long extraKb = 0;
        qint64 fileSize = 0;
        for (int round = 0; round < rounds; ++round) {
            const QString bare = dir.filePath(QString("bare%1.conf").arg(round));
            const QString ours = dir.filePath(QString("ours%1.conf").arg(round));
            const auto runBare = [&] {
                bareW = std::min(bareW, seconds([&] { bareWrite(bare, records); }));
                const QString cold = coldCopy(bare);
                bareR = std::min(bareR, seconds([&] {
                    if (bareRead(cold) != size)
                        qFatal("the bare read lost points");
                }));
                QFile::remove(cold);
                QFile::remove(bare);
            };
            const auto runOurs = [&] {
                oursW = std::min(oursW, seconds([&] { StoreFile::save(ours, snapshot); }));
                fileSize = QFileInfo(ours).size();
                const QString cold = coldCopy(ours);
                Store::Snapshot read;
                oursR = std::min(oursR, seconds([&] { read = Store::read(cold); }));
                if (!(read == snapshot) || !StoreFile::read(cold))
                    qFatal("the store read did not read it back in one pass");
                read = {};
                QFile::remove(cold);
                const Journal::Files files(dir.filePath(QString("checkpoint%1.conf").arg(round)));
                resetPeak();
                const long before = statusKb("VmRSS:");
                checkpoint = std::min(checkpoint,
                    seconds([&] { StoreWriter::writeCheckpoint(files, snapshot, {}); }));
                extraKb = std::max(extraKb, statusKb("VmHWM:") - before);
                QFile::remove(files.storeNext);
                QFile::remove(ours);
            };
            if (round % 2 == 0) {
                runBare();
                runOurs();
            } else {
                runOurs();
                runBare();
            }
        }
        std::printf("%9d %8.1f | %9.3f %9.3f %6.3f | %9.3f %9.3f %6.3f | %9.3f s %9.1f\n", size,
            fileSize / 1e6, oursW, bareW, oursW / bareW, oursR, bareR, oursR / bareR, checkpoint,
            extraKb / 1024.0);
        std::fflush(stdout);
    }
    std::printf("targets at 1,000,000 points: write and read ratio <= 0.2; checkpoint <= 2 s, "
                "its extra memory <= the file's size\n");
    return 0;
}
