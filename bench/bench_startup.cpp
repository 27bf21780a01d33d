// Start-up to the first paint of the main window with 200,000 points stored, beside a bare
// QSettings read of the same file in the same run; the same start-up with a journal beside the
// store that holds an unsaved recording of 100,000 points; and the start-up on that store with
// forged array sizes added, in time and peak memory. Each start-up runs in a fresh process, in
// rounds that alternate, and the best of each counts.

#include "store/meterrecords.h"
#include "app/startup.h"
#include "store/journal.h"
#include "store/store.h"
#include "bench/storesample.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QMainWindow>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// Peak resident memory of this process in MB.
double peakMb()
{
    QFile status("/proc/self/status");
    status.open(QIODevice::ReadOnly);
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return 0;
}

// In the started process: the real start-up path until the main window first paints.
int startUp(int argc, char *argv[])
{
    QElapsedTimer clock;
    clock.start();
    QApplication app(argc, argv);
    struct FirstPaint : QObject {
        QElapsedTimer *clock;
        bool eventFilter(QObject *o, QEvent *e) override
        {
            if (e->type() == QEvent::Paint && qobject_cast<QMainWindow *>(o)) {
                std::printf("%.3f %.0f\n", clock->nsecsElapsed() / 1e9, peakMb());
                std::fflush(stdout);
                QCoreApplication::exit(0);
            }
            return false;
        }
    } firstPaint;
    firstPaint.clock = &clock;
    app.installEventFilter(&firstPaint);
    return Startup::run(app);
}

// A journal beside the store as a run killed while recording leaves it.
QByteArray journalOfRecording(int points)
{
    MeterRecords records;
    Options options;
    Journal journal(UserStore().fileName());
    journal.open(records, options);
    journal.startRecording(
        QBluetoothDeviceInfo(QBluetoothAddress("AA:BB:CC:DD:EE:01"), "M27K53C", 0), "Werkbank");
    for (int j = 0; j < points; ++j) {
        const SamplePoint p = samplePoint(0, j + 1);
        journal.appendPoint({ p.point.y(), p.unit, p.timestamp, p.settings });
    }
    journal.sync();
    QFile file(journal.files.journal);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

void put(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(bytes);
}

QList<QByteArray> startedCopy()
{
    QProcess copy;
    copy.start(QCoreApplication::applicationFilePath(), { "--start" });
    copy.waitForFinished(120000);
    return copy.readAllStandardOutput().trimmed().split(' ');
}

double coldRead(const QString &path)
{
    const QString cold = path + ".cold";
    QFile::copy(path, cold);
    QElapsedTimer clock;
    clock.start();
    bareRead(cold);
    return clock.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc > 1 && qstrcmp(argv[1], "--start") == 0)
        return startUp(argc, argv);

    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    saveSample();
    const QString path = UserStore().fileName();
    const QString journalPath = Journal::Files(path).journal;
    const int recorded = 100000;
    const QByteArray journal = journalOfRecording(recorded);
    QFile::remove(journalPath);

    double bare = 1e9, plain = 1e9, replayed = 1e9;
    for (int round = 0; round < 5; ++round) {
        bare = std::min(bare, coldRead(path));
        QFile::remove(journalPath);
        plain = std::min(plain, startedCopy().value(0).toDouble());
        // The copy keeps the recording and starts a checkpoint; each round starts as killed.
        put(journalPath, journal);
        replayed = std::min(replayed, startedCopy().value(0).toDouble());
        QFile::remove(journalPath);
    }
    const QList<QByteArray> withoutForgery = startedCopy();
    {
        UserStore forged;
        forged.setValue("deviceList/size", 50000000);
        forged.setValue("deviceList/50000000/buttonName", "Fremd");
        forged.setValue("deviceList/1/points/size", 2147483647);
        forged.setValue("deviceList/1/points/2147483647/unit", "V ");
    }
    QFile::remove(journalPath);
    const QList<QByteArray> forged = startedCopy();

    std::printf("store of %d points, best of 5 rounds\n", samplePoints);
    std::printf("start-up to first paint %.3f s, bare QSettings read %.3f s, ratio %.2f\n", plain,
        bare, plain / bare);
    std::printf("with a journal of an unsaved recording of %d points (%.1f MB): %.3f s, "
                "ratio %.2f to none (target <= 1.3)\n",
        recorded, journal.size() / 1e6, replayed, replayed / plain);
    std::printf("with forged sizes: %.3f s (%+.3f s, target <= +1 s), peak memory %.0f MB "
                "(%+.0f MB, target <= +100 MB)\n",
        forged.value(0).toDouble(), forged.value(0).toDouble() - withoutForgery.value(0).toDouble(),
        forged.value(1).toDouble(), forged.value(1).toDouble() - withoutForgery.value(1).toDouble());
    return 0;
}
