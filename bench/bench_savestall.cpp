// With 200,000 points stored: how long each change takes to be synced in the journal, how long
// the window stalls meanwhile and until the checkpoint that follows has replaced the store,
// beside the loop's own stalls with nothing to save and what one whole write of that store
// takes on the window's thread, which is how long a change took to reach the disk before the
// journal.

#include "app/mainwindow.h"
#include "bench/storesample.h"
#include "store/storewriter.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

struct Figures {
    double syncedMs = 0; // the change made, journalled and synced
    double stallMs = 0; // the longest time between two turns of the event loop
    double storeMs = -1; // from the change until the store file was last replaced
};

// Makes the change from the event loop, then watches the loop until the store file has been
// replaced `writes` times, or for `idleMs` when nothing is to be written.
Figures watch(const std::function<void()> &change, int writes, int idleMs = 60000)
{
    const QString path = UserStore().fileName();
    QDateTime stamp = QFileInfo(path).lastModified();
    QElapsedTimer clock, turn;
    Figures f;
    int seen = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        f.stallMs = std::max(f.stallMs, turn.nsecsElapsed() / 1e6);
        turn.restart();
        const QDateTime now = QFileInfo(path).lastModified();
        if (now != stamp) {
            stamp = now;
            f.storeMs = clock.nsecsElapsed() / 1e6;
            ++seen;
        }
    });
    QTimer::singleShot(0, [&] {
        clock.start();
        turn.start();
        tick.start(1);
        change();
        f.syncedMs = clock.nsecsElapsed() / 1e6;
    });
    const QDeadlineTimer deadline(writes ? 60000 : idleMs);
    while ((!writes || seen < writes) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    return f;
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    MeterRecords records;
    addSample(records);
    StoreFile::save(Store::fileName(), Store::snapshot(Options{}, records));
    QElapsedTimer blocking;
    blocking.start();
    const QString scratch = config.filePath("whole/Kalvion.conf");
    QDir().mkpath(QFileInfo(scratch).path());
    StoreWriter::writeCheckpoint(Journal::Files(scratch), Store::snapshot(Options{}, records), {});
    const double blockingMs = blocking.nsecsElapsed() / 1e6;

    MainWindow window;
    window.show();
    window.findChild<QListWidget *>("deviceList")->setCurrentRow(0);
    window.editButton(); // the management screen that renames and deletions come from

    std::printf("store of %d points: one whole write on the window's thread takes %.0f ms\n",
        samplePoints, blockingMs);
    std::printf("%-52s %10s %10s %10s\n", "change", "synced(ms)", "stall(ms)", "store(ms)");
    const auto row = [](const char *what, const Figures &f) {
        std::printf("%-52s %10.1f %10.1f %10.0f\n", what, f.syncedMs, f.stallMs, f.storeMs);
    };
    row("none (the loop alone for 5 s)", watch([] {}, 0, 5000));
    row("animation switched", watch([&] { window.reverseTovik(true); }, 1));
    row("measurement renamed", watch([&] { window.changeMeasureName(0, "Erste"); }, 1));
    row("measurement of 20,000 points deleted",
        watch([&] { window.deleteMeasureFromLists(9); }, 1));
    row("two changes 200 ms apart, one checkpoint",
        watch(
            [&] {
                window.reverseTovik(false);
                QTimer::singleShot(200, [&] { window.changeMeasureName(1, "Zweite"); });
            },
            1));
    row("a change while the checkpoint of another is written",
        watch(
            [&] {
                window.reverseTovik(true);
                QTimer::singleShot(2300, [&] { window.changeMeasureName(2, "Dritte"); });
            },
            2));
    std::printf("targets: synced <= 50 ms; stall <= 50 ms\n");
    return 0;
}
