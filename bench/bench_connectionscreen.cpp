// The live screen while recording: frames per second through the whole path (decode, graph,
// display, repaint) at the start and at the end of a long recording, and the resident memory
// that each recorded point costs; and the same path with every recorded point put into the
// journal and synced each second, as the main window does, beside the path without it.

#include "live/connectionscreen.h"
#include "live/recording.h"
#include "store/journal.h"

#include <QApplication>
#include <QChartView>
#include <QElapsedTimer>
#include <QFile>
#include <QLCDNumber>
#include <QLineSeries>
#include <QListWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtWidgets/qtestsupport_widgets.h>

#include <cstdio>
#include <unistd.h>

namespace {

// A meter on the milli volt range, DC AUTO, its reading wandering frame by frame, with an
// overload ("0.L") now and then.
QByteArray frame(int n)
{
    static const int first[] = { 0xE, 0x0, 0xA, 0x8, 0x4, 0xC, 0xE, 0x8, 0xE, 0xC };
    static const int second[] = { 0xB, 0xA, 0xD, 0xF, 0xE, 0x7, 0x7, 0xA, 0xF, 0xF };
    int nibbles[15] = { 0x6, 0, 0, 0, 0, 0x1, 0, 0, 0, 0, 0x1, 0, 0x2, 0, 0 };
    const int number = 5000 + (n * 37) % 997 - (n / 7) % 400;
    for (int p = 0, divisor = 1000; p < 4; ++p, divisor /= 10) {
        const int d = number / divisor % 10;
        nibbles[2 * p + 1] |= first[d];
        nibbles[2 * p + 2] |= second[d];
    }
    if (n % 97 == 0) { // overload: an L in position 3
        nibbles[5] = 0x6;
        nibbles[6] = 0x1;
    }
    QByteArray hex;
    for (int nibble : nibbles)
        hex += QByteArray::number(nibble, 16).prepend('0');
    return hex;
}

long residentBytes()
{
    QFile statm("/proc/self/statm");
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLong() * sysconf(_SC_PAGESIZE);
}

// Counts the paint events that reach the chart and the number, to show that each frame is
// really drawn.
class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

void recordingMemory(const QList<QByteArray> &frames)
{
    const int count = 1000000;
    Recording recording{ QBluetoothDeviceInfo() };
    auto *screen = new connectionScreen(0, &recording);
    screen->findChild<QToolButton *>("playToolButton")->click();
    const long before = residentBytes();
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        screen->receivedData = frames[i % frames.size()];
        emit screen->dataChanged();
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    const long after = residentBytes();
    const double perPoint = double(after - before) / recording.size();
    std::printf("memory: %d points recorded in %.1f s, resident %+.1f MB = %.0f bytes per point, "
                "target <= 256: %s\n",
        recording.size(), seconds, (after - before) / 1e6, perPoint,
        perPoint <= 256 ? "met" : "MISSED");
    delete screen;
}

void livePath(const QList<QByteArray> &frames)
{
    const int count = 100000;
    const int window = 1000;
    Recording recording{ QBluetoothDeviceInfo() };
    connectionScreen screen(0, &recording);
    screen.setDarkMode(true);
    screen.isDarkMode = true;
    screen.show();
    if (!QTest::qWaitForWindowExposed(&screen))
        std::printf("live path: screen not exposed\n");
    PaintCounter counter;
    screen.findChild<QChartView *>()->viewport()->installEventFilter(&counter);
    screen.findChild<QLCDNumber *>()->installEventFilter(&counter);
    screen.findChild<QToolButton *>("playToolButton")->click();

    double firstSeconds = 0;
    double lastSeconds = 0;
    int firstPaints = 0;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i) {
        if (i == window) {
            firstSeconds = timer.nsecsElapsed() / 1e9;
            firstPaints = counter.paints;
        }
        if (i == count - window) {
            counter.paints = 0;
            timer.restart();
        }
        screen.receivedData = frames[i % frames.size()];
        emit screen.dataChanged();
        QCoreApplication::processEvents();
    }
    lastSeconds = timer.nsecsElapsed() / 1e9;

    const double first = window / firstSeconds;
    const double last = window / lastSeconds;
    std::printf("live path, frames %d-%d: %7.0f frames/s (%.2f ms per frame, %.1f paints per "
                "frame)\n",
        1, window, first, 1e3 / first, double(firstPaints) / window);
    std::printf("live path, frames %d-%d: %7.0f frames/s (%.2f ms per frame, %.1f paints per "
                "frame)\n",
        count - window + 1, count, last, 1e3 / last, double(counter.paints) / window);
    std::printf("live path: last/first time per frame = %.2f (target <= 1.2: %s); "
                "slower of the two >= 400 frames/s: %s; %d points recorded\n",
        firstSeconds > 0 ? lastSeconds / firstSeconds : 0,
        lastSeconds <= 1.2 * firstSeconds ? "met" : "MISSED",
        qMin(first, last) >= 400 ? "met" : "MISSED", recording.size());
}

// The meter whose points go into the journal.
const QBluetoothDeviceInfo meter(QBluetoothAddress("AA:BB:CC:DD:EE:01"), "M27K53C", 0);

// One frame through the live screen, and when a journal is given, its new point into it, as the
// recording puts it there.
void feed(connectionScreen &screen, const Recording &recording, const QByteArray &frame,
    Journal *journal, QElapsedTimer &synced)
{
    screen.receivedData = frame;
    emit screen.dataChanged();
    QCoreApplication::processEvents();
    if (!journal)
        return;
    const Samples &points = recording.samples();
    const qsizetype i = points.size() - 1;
    if (i >= journal->recordedPoints(meter))
        journal->appendPoint(meter,
            { points.points[i].y(), points.unit(i), points.timestamp(i), points.settings(i) });
    if (synced.elapsed() >= 1000) {
        journal->sync();
        synced.restart();
    }
}

// Two screens recording side by side, one with a journal, in alternating stretches so that both
// see the same machine.
void withJournal(const QList<QByteArray> &frames)
{
    const int count = 100000;
    const int stretch = 5000;
    QTemporaryDir folder;
    MeterRecords records;
    Options options;
    Journal journal(folder.filePath("Kalvion.conf"));
    journal.open(records, options);
    journal.startRecording(meter, "Werkbank");
    Recording plainRecording{ QBluetoothDeviceInfo() }, journalledRecording{ QBluetoothDeviceInfo() };
    connectionScreen plain(0, &plainRecording), journalled(0, &journalledRecording);
    double seconds[2] = { 0, 0 };
    double firstStretch = 0, lastStretch = 0; // of the screen with the journal
    QElapsedTimer synced;
    synced.start();
    for (connectionScreen *screen : { &plain, &journalled }) {
        screen->show();
        if (!QTest::qWaitForWindowExposed(screen))
            std::printf("with the journal: screen not exposed\n");
        screen->findChild<QToolButton *>("playToolButton")->click();
    }
    for (int done = 0; done < count; done += stretch) {
        for (int side = 0; side < 2; ++side) {
            connectionScreen &screen = side ? journalled : plain;
            QElapsedTimer timer;
            timer.start();
            for (int i = done; i < done + stretch; ++i)
                feed(screen, side ? journalledRecording : plainRecording, frames[i % frames.size()],
                    side ? &journal : nullptr, synced);
            const double took = timer.nsecsElapsed() / 1e9;
            seconds[side] += took;
            if (side && done == 0)
                firstStretch = took;
            if (side && done + stretch >= count)
                lastStretch = took;
        }
    }
    journal.sync();
    const double without = count / seconds[0], with = count / seconds[1];
    const qint64 bytes = QFileInfo(journal.files.journal).size();
    std::printf("with the journal, %d frames each: %.0f frames/s, without %.0f frames/s, "
                "%.1f %% slower (target <= 10 %%); slower >= 400 frames/s: %s\n",
        count, with, without, 100 * (without / with - 1), std::min(with, without) >= 400 ? "met" : "MISSED");
    std::printf("with the journal: last/first time per frame = %.2f (target <= 1.2: %s)\n",
        lastStretch / firstStretch, lastStretch <= 1.2 * firstStretch ? "met" : "MISSED");
    std::printf("journal: %.1f bytes per point (%d points, %lld bytes)\n",
        double(bytes) / journal.recordedPoints(meter), journal.recordedPoints(meter), bytes);
}

} // namespace

int main(int argc, char *argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QList<QByteArray> frames;
    for (int n = 0; n < 10000; ++n)
        frames.append(frame(n));

    recordingMemory(frames);
    livePath(frames);
    withJournal(frames);
    return 0;
}
