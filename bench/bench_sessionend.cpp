// From SIGTERM to the program's exit with 200,000 points stored: with the program idle, and
// while the checkpoint after a change is being written. Each run is a fresh copy of the program
// (this executable), in rounds that alternate; the worst of each counts.

#include "app/mainwindow.h"
#include "app/startup.h"
#include "bench/storesample.h"
#include "store/storewriter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>
#include <cstdio>

namespace {

// In the started copy: the real program, which says "ready" once its window is up, or once the
// checkpoint after a change is under way.
int copy(int argc, char *argv[], bool checkpoint)
{
    QApplication app(argc, argv);
    QTimer poll;
    bool changed = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        MainWindow *window = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            window = window ? window : qobject_cast<MainWindow *>(w);
        if (!window || !window->isVisible())
            return;
        if (checkpoint && !changed) {
            window->reverseTovik(true);
            changed = true;
        }
        if (!checkpoint || window->storeWriter().checkpointRunning()) {
            poll.stop();
            std::printf("ready\n");
            std::fflush(stdout);
        }
    });
    poll.start(5);
    return Startup::run(app);
}

// Milliseconds from SIGTERM to the copy's exit, or -1 when it did not exit with status 0.
double ending(bool checkpoint)
{
    QProcess copy;
    copy.start(QCoreApplication::applicationFilePath(),
        { checkpoint ? "--checkpoint" : "--idle" });
    while (copy.waitForReadyRead(60000) && !copy.readAll().contains("ready")) { }
    QElapsedTimer clock;
    clock.start();
    ::kill(pid_t(copy.processId()), SIGTERM);
    copy.waitForFinished(60000);
    const double ms = clock.nsecsElapsed() / 1e6;
    return copy.exitStatus() == QProcess::NormalExit && copy.exitCode() == 0 ? ms : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc > 1 && argv[1][0] == '-')
        return copy(argc, argv, qstrcmp(argv[1], "--checkpoint") == 0);

    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    saveSample();
    double idle = 0, writing = 0;
    for (int round = 0; round < 3; ++round) {
        const double a = ending(false), b = ending(true);
        idle = a < 0 || idle < 0 ? -1 : std::max(idle, a);
        writing = b < 0 || writing < 0 ? -1 : std::max(writing, b);
    }
    std::printf("store of %d points, worst of 3 rounds (-1: did not exit with 0)\n", samplePoints);
    std::printf("SIGTERM to exit, idle: %.0f ms; while a checkpoint is written: %.0f ms "
                "(target <= 1000 ms)\n",
        idle, writing);
    return 0;
}
