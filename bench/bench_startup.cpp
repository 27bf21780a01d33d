// Start-up to the first paint of the main window with 200,000 points stored, beside a bare
// QSettings read of the same file in the same run; and the same start-up on that store with
// forged array sizes added, in time and peak memory. Each start-up runs in a fresh process.

#include "store/meterrecords.h"
#include "app/startup.h"
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
    {
        QListWidget rows;
        MeterRecords records(&rows);
        addSample(records, sampleData());
        saveSample(records);
    }
    const QString path = UserStore().fileName();
    const double bare = coldRead(path);
    const QList<QByteArray> plain = startedCopy();
    {
        UserStore forged;
        forged.setValue("deviceList/size", 50000000);
        forged.setValue("deviceList/50000000/buttonName", "Fremd");
        forged.setValue("deviceList/1/points/size", 2147483647);
        forged.setValue("deviceList/1/points/2147483647/unit", "V ");
    }
    const QList<QByteArray> forged = startedCopy();

    std::printf("store of %d points\n", measureCount * pointsPerMeasure);
    std::printf("start-up to first paint %.3f s, bare QSettings read %.3f s, ratio %.2f\n",
        plain.value(0).toDouble(), bare, plain.value(0).toDouble() / bare);
    std::printf("with forged sizes: %.3f s (%+.3f s, target <= +1 s), peak memory %.0f MB "
                "(%+.0f MB, target <= +100 MB)\n",
        forged.value(0).toDouble(), forged.value(0).toDouble() - plain.value(0).toDouble(),
        forged.value(1).toDouble(), forged.value(1).toDouble() - plain.value(1).toDouble());
    return 0;
}
