#include "app/mainwindow.h"
#include "app/startup.h"
#include "store/instancelock.h"
#include "link/meterlink.h"
#include "live/connectionscreen.h"
#include "live/recording.h"
#include "screens/deviceoverviewscreen.h"
#include "screens/settingsscreen.h"
#include "store/store.h"
#include "store/storewriter.h"
#include "support/desktopservices.h"
#include "support/modalanswer.h"
#include "support/testmain.h"
#include "support/storedmeter.h"
#include "support/virtualmeter.h"
#include "support/widgets.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QLineSeries>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSessionManager>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <dlfcn.h>
#include <functional>
#include <utility>

namespace {

bool isCopy = false;
// In a copy, every sync fails as on a disk that gives I/O errors: from SIGUSR1 to SIGUSR2; or
// only the window's thread's next one.
std::atomic<bool> diskFails = false;
bool failNextSync = false;

// Said by a copy, with the time on the monotonic clock both processes share.
void say(const QString &line)
{
    QTextStream(stdout) << QDeadlineTimer::current().deadline() << ' ' << line << Qt::endl;
}

// A copy says when the window's thread syncs a file (the journal, as it keeps points), or
// fails to.
extern "C" int fdatasync(int fd) noexcept
{
    static const auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fdatasync"));
    const bool onWindow = isCopy && QThread::currentThread() == qApp->thread();
    const bool fails = diskFails || (onWindow && std::exchange(failNextSync, false));
    const int result = fails ? -1 : real(fd);
    if (onWindow)
        say(fails ? "sync failed" : "synced");
    if (fails)
        errno = EIO;
    return result;
}

// In a copy started with KALVION_KILL_AT=<name>:<n>: killed just before the n-th rename of a
// file whose name ends so, as by a power cut at that moment.
extern "C" int rename(const char *from, const char *to) noexcept
{
    static const auto real = reinterpret_cast<int (*)(const char *, const char *)>(
        dlsym(RTLD_NEXT, "rename"));
    static const QList<QByteArray> at = qgetenv("KALVION_KILL_AT").split(':');
    static int seen = 0;
    if (at.size() == 2 && QByteArray(from).endsWith(at[0]) && ++seen == at[1].toInt())
        ::kill(::getpid(), SIGKILL);
    return real(from, to);
}

// A copy of the program, started from this test's own executable, which drives itself as a
// user would and says each step on its output.
class Copy
{
public:
    explicit Copy(const QStringList &arguments, const QString &killAt = {})
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("KALVION_KILL_AT", killAt);
        process.setProcessEnvironment(environment);
        QObject::connect(&process, &QProcess::readyRead, [this] {
            while (read()) { }
        });
        process.start(QCoreApplication::applicationFilePath(), QStringList{ "--copy" } + arguments);
    }
    ~Copy()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }
    // Waits until the copy says this line.
    bool says(const QString &line, int timeout = 30000)
    {
        return QTest::qWaitFor([&] {
            for (; heard < lines.size(); ++heard) {
                if (lines[heard].second == line)
                    return ++heard, true;
            }
            return false;
        }, timeout);
    }
    void readAll()
    {
        process.waitForReadyRead(100);
        while (read()) { }
    }

    QProcess process;
    QList<std::pair<qint64, QString>> lines; // when each was said, and what
    qsizetype heard = 0;

private:
    bool read()
    {
        if (!process.canReadLine())
            return false;
        const QString line = QString::fromUtf8(process.readLine()).trimmed();
        lines.append({ line.section(' ', 0, 0).toLongLong(), line.section(' ', 1) });
        return true;
    }
};

} // namespace

// The session ending without the close question, in real copies of the program: signals, the
// session manager's request, and kills at any moment, checkpoints included. What the program
// had put on disk is there at the next start, once.
class SessionEndTest : public QObject
{
    Q_OBJECT

    VirtualMeter meter;
    DesktopServices desktop;

    // A lock left behind is no live copy's: one naming no owner, or the one SIGKILL left.
    static QString ownerlessLock()
    {
        const QString lock = InstanceLock().fileName();
        QFile file(lock);
        file.open(QIODevice::Append);
        file.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime);
        return lock;
    }

    // The measurements as the test knows them: name, and the points where the test saw them.
    struct Measured {
        QString name;
        int count;
        QList<double> ys; // empty for measurements stored before the test
        QStringList timestamps;
    };
    struct Model {
        QString label;
        bool dark = false;
        QList<Measured> measurements;
    };

    // What the next start shows; shown, it tells what start-up found.
    static Model readBack(bool show = false)
    {
        MainWindow window;
        if (show) {
            window.show();
            QTest::qWait(100);
        }
        const MeterRecords &records = window.meterRecords();
        Model m;
        if (records.count() != 1)
            return m;
        const QListWidget *rows = child<QListWidget>(&window, "deviceList");
        m.label = rows->item(0)->text();
        m.dark = rows->item(0)->background().color() == QColor("#555555");
        for (int k = 0; k < records.meter(0).measureNames.size(); ++k) {
            const Measurement shown = records.measurement(0, k);
            Measured measured{ shown.name, shown.size(), {}, shown.timestamps() };
            for (const QPointF &p : shown.points())
                measured.ys.append(p.y());
            m.measurements.append(measured);
        }
        return m;
    }

    // Compares what the program kept with what the test expects; the points of measurements
    // stored before the test are compared by count only.
    static bool same(const Model &kept, const Model &expected)
    {
        if (kept.label != expected.label || kept.dark != expected.dark
            || kept.measurements.size() != expected.measurements.size())
            return false;
        for (int k = 0; k < kept.measurements.size(); ++k) {
            const Measured &a = kept.measurements[k], &b = expected.measurements[k];
            if (a.name != b.name || a.count != b.count
                || (!b.ys.isEmpty() && (a.ys != b.ys || a.timestamps != b.timestamps)))
                return false;
        }
        return true;
    }

private slots:
    void nothingRecordedIsLost_data()
    {
        QTest::addColumn<QString>("step"); // what the copy does after recording three points
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("measurements"); // of three points, at the next start
        QTest::addColumn<bool>("recovered"); // kept by the next start, which says so
        QTest::addColumn<bool>("awake"); // the machine kept awake once the step is done
        QTest::newRow("SIGTERM while recording") << "record" << SIGTERM << 1 << false << true;
        QTest::newRow("SIGINT while recording") << "record" << SIGINT << 1 << false << true;
        QTest::newRow("SIGHUP while recording") << "record" << SIGHUP << 1 << false << true;
        QTest::newRow("SIGTERM while the lost link is made again")
            << "away" << SIGTERM << 1 << false << true;
        QTest::newRow("SIGTERM after the link was given up")
            << "given up" << SIGTERM << 1 << false << false;
        QTest::newRow("SIGTERM behind the live screen's own box")
            << "behind" << SIGTERM << 1 << false << true;
        QTest::newRow("SIGTERM while paused") << "pause" << SIGTERM << 1 << false << false;
        QTest::newRow("SIGTERM after a cancel") << "cancel" << SIGTERM << 0 << false << false;
        QTest::newRow("SIGKILL after a save") << "save" << SIGKILL << 1 << false << false;
        QTest::newRow("SIGKILL after the session manager asked to save")
            << "session-end" << SIGKILL << 1 << true << true;
        QTest::newRow("SIGTERM after the user closed the live screen")
            << "close" << SIGTERM << 0 << false << false;
    }

    void nothingRecordedIsLost()
    {
        QFETCH(QString, step);
        QFETCH(int, signal);
        QFETCH(int, measurements);
        QFETCH(bool, recovered);
        QFETCH(bool, awake);
        QVERIFY(desktop.isRunning());
        writeStore({ StoredMeter() });
        meter.reset({ { "streaming", false } });
        desktop.forgetNotifications();
        const QString lock = ownerlessLock();
        Copy copy({ step });
        QVERIFY(copy.says("recording"));
        ModalAnswer refused(QMessageBox::Ok);
        QCOMPARE(Startup::run(*qApp), 1);
        QCOMPARE(refused.box().title, QString("Kalvion läuft bereits"));

        // The machine stays awake while the copy records or makes a lost link with unsaved
        // points again, and not once it is paused, saved, cancelled, closed or given up.
        QTRY_VERIFY_WITH_TIMEOUT(!meter.strings("NotifyingPaths").isEmpty(), 10000);
        const QList<QStringList> held{ { "sleep:idle", "Kalvion",
            "Kalvion zeichnet die Messwerte von „Werkbank“ auf", "block" } };
        QTRY_COMPARE(desktop.inhibitors(), held);
        for (const char *frame : { "dc-volts", "millivolts", "negative" })
            meter.call("SendCanned", { frame });
        QVERIFY(copy.says("ready"));
        if (step == "away" || step == "given up") {
            meter.call("OutOfRange", { QString(), 60.0 });
            QTest::qWait(500); // the copy tries to make the link again meanwhile
        }
        // Given up, the copy tells the desktop what it saved.
        const QList<QStringList> lost{ { "Verbindung verloren",
            "Die Verbindung zu „Werkbank“ kam nicht wieder zustande. Die Aufzeichnung "
            "(3 Messpunkte) ist gespeichert." } };
        if (step == "given up")
            QTRY_COMPARE_WITH_TIMEOUT(desktop.notifications(), lost, 10000);
        QTRY_COMPARE(desktop.inhibitors(), awake ? held : QList<QStringList>());
        // Asked to save, the copy goes on until it is killed.
        QTest::qWait(step == "session-end" ? 500 : 0);
        QCOMPARE(copy.process.state(), QProcess::Running);
        ::kill(pid_t(copy.process.processId()), signal);
        QTRY_COMPARE_WITH_TIMEOUT(copy.process.state(), QProcess::NotRunning, 5000);
        if (signal != SIGKILL) {
            QVERIFY(copy.process.exitStatus() == QProcess::NormalExit);
            QCOMPARE(copy.process.exitCode(), 0);
            QVERIFY(!QFile::exists(lock));
        }
        QTRY_COMPARE(desktop.inhibitors(), QList<QStringList>());
        QCOMPARE(desktop.notifications(), step == "given up" ? lost : QList<QStringList>());
        desktop.forgetNotifications();
        ModalAnswer told(QList<ModalAnswer::Reply>(recovered ? 1 : 0, ModalAnswer::press(QMessageBox::Ok)));
        const Model kept = readBack(true);
        QVERIFY(told.done());
        if (recovered) {
            const QString title = "Aufzeichnung wiederhergestellt";
            const QString text = "Kalvion wurde während einer Aufzeichnung von „Werkbank“ beendet. "
                                 "Die Aufzeichnung (3 Messpunkte) wurde als Messung gespeichert. "
                                 "Sie finden sie im Startbildschirm unter Verwalten.";
            QCOMPARE(told.box().title, title);
            QCOMPARE(told.box().text, text);
            // Told on the desktop too, for a user who comes back to a restarted machine.
            QTRY_COMPARE(desktop.notifications(), QList<QStringList>({ { title, text } }));
        } else {
            QTest::qWait(100);
            QCOMPARE(desktop.notifications(), QList<QStringList>());
        }
        QCOMPARE(kept.measurements.size(), measurements);
        if (measurements) {
            // The meter's minus sign is an indicator, not part of the value.
            QCOMPARE(kept.measurements[0].ys,
                QList<double>({ double(5.012f), double(325.8f), double(1.5f) }));
            QCOMPARE(kept.measurements[0].name, kept.measurements[0].timestamps.first());
        }
    }

    // The disk fails every sync for a moment while the copy records: an append fails, and so
    // does the checkpoint started at once; the journal takes no more points. Ended by SIGTERM
    // with the disk fine again, the copy writes the whole store; left alone with nothing new
    // to keep, it lands a checkpoint by itself within seconds, after which the journal keeps
    // points again, up to a SIGKILL. Either way the next start holds every point sent.
    void aFailedAppendLosesNothing_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM while the journal takes nothing") << SIGTERM;
        QTest::newRow("SIGKILL once a checkpoint landed by itself") << SIGKILL;
    }

    void aFailedAppendLosesNothing()
    {
        QFETCH(int, signal);
        writeStore({ StoredMeter() });
        meter.reset({ { "streaming", false } });
        ownerlessLock();
        Copy copy({ "io-error" });
        QVERIFY(copy.says("recording"));
        QTRY_VERIFY_WITH_TIMEOUT(!meter.strings("NotifyingPaths").isEmpty(), 10000);
        const pid_t pid = pid_t(copy.process.processId());
        // The meter's minus sign is an indicator, not part of the value.
        const QList<std::pair<QString, float>> frames = { { "dc-volts", 5.012f },
            { "millivolts", 325.8f }, { "negative", 1.5f }, { "ohms", 4.7f } };
        QList<double> sent;
        const auto send = [&](int n) {
            for (int i = 0; i < n; ++i) {
                const auto &[frame, y] = frames[sent.size() % frames.size()];
                meter.call("SendCanned", { frame });
                sent.append(double(y));
                if (!copy.says(QString("point %1").arg(sent.size())))
                    return false;
            }
            return true;
        };
        QVERIFY(send(3));
        ::kill(pid, SIGUSR1);
        QVERIFY(send(1));
        QVERIFY(copy.says("sync failed"));
        QVERIFY(copy.says("written false"));
        // Nothing that comes later makes a checkpoint land: the points the journal takes no
        // more, or none at all.
        const bool killed = signal == SIGKILL;
        if (!killed)
            QVERIFY(send(2));
        ::kill(pid, SIGUSR2);
        if (killed) {
            QVERIFY(copy.says("written true", 5000));
            QVERIFY(send(1));
            QVERIFY(copy.says("synced"));
        }
        ::kill(pid, signal);
        QVERIFY(copy.process.waitForFinished(5000));
        QCOMPARE(copy.process.exitStatus(), killed ? QProcess::CrashExit : QProcess::NormalExit);
        ModalAnswer told(
            QList<ModalAnswer::Reply>(killed ? 1 : 0, ModalAnswer::press(QMessageBox::Ok)));
        const Model kept = readBack(true);
        QVERIFY(told.done());
        if (killed)
            QVERIFY(told.box().text.contains(QString("(%1 Messpunkte)").arg(sent.size())));
        QCOMPARE(kept.measurements.size(), 1);
        QCOMPARE(kept.measurements[0].ys, sent);
        QCOMPARE(kept.measurements[0].name, kept.measurements[0].timestamps.first());
    }

    // Killed at random moments while it changes the meter and its measurements, records,
    // saves and cancels, and writes checkpoints meanwhile: each restart holds every change the
    // copy had finished, none twice, and every point recorded up to a second before the kill,
    // an unsaved recording as a measurement of its own. Each round goes on from what the last
    // one left.
    void killedAtAnyMoment()
    {
        QList<StoredSeries> series;
        for (int k = 0; k < 30; ++k)
            series.append(storedSeries(700, k));
        writeStore({ StoredMeter{ "Werkbank", "C8:27:53:0C:00:01", "M27K53C", series } });
        Model model{ "Werkbank", false, {} };
        for (const StoredSeries &s : series)
            model.measurements.append({ s.name, int(s.points.size()), {}, {} });
        const quint32 seed = QRandomGenerator::global()->generate();
        qInfo("seed %u", seed);
        QRandomGenerator random(seed);
        int checkpointsCut = 0;
        qsizetype pointsCertain = 0;
        for (int round = 0; round < 6; ++round) {
            meter.reset({ { "streaming", false } });
            ownerlessLock();
            Copy copy({ "crash", QString::number(random.generate()) });
            QVERIFY(copy.says("recording"));
            QTRY_VERIFY_WITH_TIMEOUT(!meter.strings("NotifyingPaths").isEmpty(), 10000);
            meter.call("SendBurst", { 100000u, 20.0 });
            // The first round ends while the copy only records, so that nothing but the points
            // themselves syncs the journal.
            QTest::qWait(round == 0 ? 2000 : random.bounded(500, 7000));
            const qint64 killed = QDeadlineTimer::current().deadline();
            ::kill(pid_t(copy.process.processId()), SIGKILL);
            QVERIFY(copy.process.waitForFinished(5000));
            copy.readAll();
            meter.reset({ { "streaming", false } });

            // What the copy said it did, applied to what the last round left; the step under
            // way at the kill may or may not have reached the disk.
            Model done = model;
            Model inFlight;
            bool doing = false;
            bool checkpointing = false;
            QList<double> ys;
            QStringList stamps;
            int saved = 0;
            qsizetype certain = 0; // points said a second before the kill
            qsizetype synced = 0; // points said before the journal was last synced
            for (const auto &[when, line] : std::as_const(copy.lines)) {
                const QStringList word = line.split(' ');
                if (word[0] == "synced" && when < killed) {
                    synced = ys.size();
                } else if (word[0] == "point") {
                    ys.append(word[2].toDouble());
                    stamps.append(word.mid(3).join(' '));
                    certain = when <= killed - 1000 ? ys.size() : certain;
                } else if (word[0] == "doing") {
                    inFlight = done;
                    doing = true;
                    const QString &kind = word[1];
                    QList<Measured> &m = inFlight.measurements;
                    if (kind == "relabel") {
                        inFlight.label = "Bank " + word[2];
                    } else if (kind == "rename") {
                        m[0].name = "Messung " + word[2];
                    } else if (kind == "delete") {
                        m.removeLast();
                    } else if (kind == "theme") {
                        inFlight.dark = !inFlight.dark;
                    } else if (kind == "save" && !ys.isEmpty()) {
                        m.append({ stamps.first(), int(ys.size()), ys, stamps });
                        saved = int(ys.size());
                    } else if (kind == "cancel") {
                        ys.clear();
                        stamps.clear();
                        saved = 0;
                        certain = 0;
                        synced = 0;
                    }
                } else if (word[0] == "done") {
                    done = inFlight;
                    doing = false;
                } else if (word[0] == "checkpoint") {
                    checkpointing = word.value(1) == "started";
                }
            }
            checkpointsCut += checkpointing;
            pointsCertain += certain;
            // A kill keeps what was written; only a sync keeps it through a power cut.
            QVERIFY2(synced >= certain,
                qPrintable(QString("%1 points said a second before the kill, %2 synced")
                               .arg(certain)
                               .arg(synced)));
            const Model kept = readBack();
            // A recording with points after its last save comes back as a measurement of its
            // own, holding at least the points said a second before the kill.
            // A kill between a point's journal write and its report keeps one more than said.
            const auto matches = [&](Model expected) {
                Model k = kept;
                const qsizetype extra = k.measurements.size() - expected.measurements.size();
                if (extra == 1) {
                    Measured &last = k.measurements.last();
                    if (last.count < qMax<qsizetype>(certain, 1) || last.count > ys.size() + 1)
                        return false;
                    const qsizetype said = qMin<qsizetype>(last.count, ys.size());
                    last.ys = last.ys.first(said);
                    last.timestamps = last.timestamps.first(said);
                    expected.measurements.append(
                        { stamps.first(), last.count, ys.first(said), stamps.first(said) });
                } else if (extra != 0 || certain > saved) {
                    return false;
                }
                return same(k, expected);
            };
            QVERIFY2(matches(done) || (doing && matches(inFlight)),
                qPrintable(QString("round %1: %2 measurements kept, %3 expected, %4 of %5 points "
                                   "said a second before the kill")
                               .arg(round)
                               .arg(kept.measurements.size())
                               .arg(done.measurements.size())
                               .arg(certain)
                               .arg(ys.size())));
            model = kept;
        }
        qInfo("%d of 6 kills came while a checkpoint was written; %lld points were said a second "
              "before one", checkpointsCut, qlonglong(pointsCertain));
    }

    // Killed at each step where a checkpoint puts its files in place, with a change made while
    // it was written: the next starts hold every change once, the recording saved once. (The
    // store is large enough for the copy to see its checkpoint under way.)
    void killedInsideACheckpoint_data()
    {
        QTest::addColumn<QString>("killAt");
        QTest::newRow("before the new store is put in place") << "Kalvion.conf.next:1";
        // The first is the journal made for the store as the test wrote it.
        QTest::newRow("before the journal that follows it") << "Kalvion.journal.next:2";
    }

    void killedInsideACheckpoint()
    {
        QFETCH(QString, killAt);
        writeStore({ StoredMeter{ "Werkbank", "C8:27:53:0C:00:01", "M27K53C",
            { storedSeries(3, 10), storedSeries(5000, 20) } } });
        meter.reset({ { "streaming", false } });
        ownerlessLock();
        Copy copy({ "checkpoint-kill" }, killAt);
        QVERIFY(copy.says("recording"));
        QTRY_VERIFY_WITH_TIMEOUT(!meter.strings("NotifyingPaths").isEmpty(), 10000);
        for (const char *frame : { "dc-volts", "millivolts", "ohms" })
            meter.call("SendCanned", { frame });
        QVERIFY(copy.process.waitForFinished(30000));
        copy.readAll();
        QCOMPARE(copy.process.exitStatus(), QProcess::CrashExit);
        QVERIFY(copy.says("changed while writing", 0));
        for (int start = 0; start < 2; ++start) {
            const Model kept = readBack();
            QCOMPARE(kept.label, QString("Neu"));
            QCOMPARE(kept.dark, true);
            QCOMPARE(kept.measurements.size(), 2);
            QCOMPARE(kept.measurements[0].count, 5000);
            QCOMPARE(kept.measurements[0].ys.first(), 20.0);
            const Measured &saved = kept.measurements[1];
            QCOMPARE(saved.ys, QList<double>({ double(5.012f), double(325.8f), double(4.7f) }));
            QCOMPARE(saved.name, saved.timestamps.first());
        }
    }

    // With a large store, SIGTERM while a checkpoint is being written: the copy leaves it and
    // ends at once, and the next start holds everything, the change that led to it included.
    // A change made meanwhile that fails to reach the journal is missing from the store that
    // lands and from the journal that follows it: SIGTERM then writes the whole store.
    void endsAtOnceDuringACheckpoint_data()
    {
        QTest::addColumn<bool>("failing"); // the theme switched again, and its sync fails
        QTest::newRow("one change") << false;
        QTest::newRow("a second change that fails") << true;
    }

    void endsAtOnceDuringACheckpoint()
    {
        QFETCH(bool, failing);
        writeStore({ StoredMeter{ "Werkbank", "C8:27:53:0C:00:01", "M27K53C",
            QList<StoredSeries>(20, storedSeries(5000)) } });
        ownerlessLock();
        Copy copy({ failing ? "checkpoint-append-fails" : "checkpoint" });
        QVERIFY(copy.says("checkpoint started", 60000));
        if (failing) {
            QVERIFY(copy.says("sync failed"));
            QVERIFY(copy.says("written true", 60000));
        }
        QElapsedTimer ending;
        ending.start();
        ::kill(pid_t(copy.process.processId()), SIGTERM);
        QVERIFY(copy.process.waitForFinished(5000));
        const qint64 took = ending.elapsed();
        QCOMPARE(copy.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(copy.process.exitCode(), 0);
        QVERIFY2(failing || took < 1000, qPrintable(QString("took %1 ms").arg(took)));
        const Model kept = readBack();
        QCOMPARE(kept.dark, !failing);
        QCOMPARE(kept.measurements.size(), 20);
    }
};

namespace {

void press(QWidget *screen, const char *button)
{
    child<QAbstractButton>(screen, button)->click();
}

connectionScreen *startRecording(MainWindow *window)
{
    child<QListWidget>(window, "deviceList")->setCurrentRow(0);
    press(window, "connectButton");
    connectionScreen *screen = nullptr;
    if (!QTest::qWaitFor([&screen] { return (screen = shown<connectionScreen>()) != nullptr; }))
        qFatal("no live screen");
    press(screen, "playToolButton");
    return screen;
}

// Says "ready" once the condition holds, checked while boxes wait for the user.
void readyWhen(std::function<bool()> condition)
{
    auto *poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [poll, condition] {
        if (condition()) {
            poll->stop();
            say("ready");
        }
    });
    poll->start(10);
}

// Records three points as a user does, does the step and says "ready".
void drive(const QString &step)
{
    // A link that stays lost is given up soon.
    Reconnect::window = 3000;
    MainWindow *window = shown<MainWindow>();
    connectionScreen *screen = startRecording(window);
    say("recording");
    if (step == "behind") {
        // Saved before the first frame: the box says nothing was recorded, and the screen goes
        // on recording behind it.
        QTimer::singleShot(0, screen, [screen] { press(screen, "saveToolButton"); });
        readyWhen([window] { return window->liveRecording()->size() == 3; });
        return;
    }
    if (!QTest::qWaitFor([window] { return window->liveRecording()->size() == 3; }, 30000))
        qFatal("nothing recorded");
    if (step == "save") {
        ModalAnswer saved(QMessageBox::Ok);
        press(screen, "saveToolButton");
    } else if (step == "session-end") {
        emit qApp->commitDataRequest(*qApp->findChild<QSessionManager *>());
    } else if (step == "pause") {
        press(screen, "playToolButton");
    } else if (step == "cancel") {
        press(screen, "cancelToolButton");
    } else if (step == "close") {
        // Ready from inside the box that tells of the ended link.
        screen->close();
        readyWhen([] { return qApp->activeModalWidget() != nullptr; });
        return;
    }
    say("ready");
}

// Says how each checkpoint went.
void sayWritten(MainWindow *window)
{
    QObject::connect(&window->storeWriter(), &StoreWriter::written,
        [](bool ok) { say(ok ? "written true" : "written false"); });
}

// Records, saying each point and how each checkpoint went; after SIGUSR1 every sync fails,
// after SIGUSR2 the disk is fine again.
void ioError()
{
    std::signal(SIGUSR1, [](int) { diskFails = true; });
    std::signal(SIGUSR2, [](int) { diskFails = false; });
    MainWindow *window = shown<MainWindow>();
    sayWritten(window);
    connectionScreen *screen = startRecording(window);
    QObject::connect(screen, &connectionScreen::dataTransformed,
        [window] { say(QString("point %1").arg(window->liveRecording()->size())); });
    say("recording");
}

// Records alone for a while, then changes the meter and its measurements in bursts of steps
// with pauses between, long enough for a checkpoint to start; says every point and step.
void crash(quint32 seed)
{
    auto *random = new QRandomGenerator(seed);
    MainWindow *window = shown<MainWindow>();
    auto *checkpointing = new QTimer(qApp);
    QObject::connect(checkpointing, &QTimer::timeout, [window, was = false]() mutable {
        const bool is = window->storeWriter().checkpointRunning();
        if (is != was)
            say(is ? "checkpoint started" : "checkpoint");
        was = is;
    });
    checkpointing->start(5);
    connectionScreen *screen = startRecording(window);
    auto *reported = new int(0);
    QObject::connect(screen, &connectionScreen::dataTransformed, [window, reported] {
        const Samples &recorded = window->liveRecording()->samples();
        for (; *reported < recorded.size(); ++*reported) {
            say(QString("point %1 %2 %3")
                    .arg(*reported + 1)
                    .arg(recorded.points[*reported].y())
                    .arg(recorded.timestamp(*reported)));
        }
    });
    say("recording");

    auto *step = new int(0);
    auto *next = new QTimer(qApp);
    next->setSingleShot(true);
    QObject::connect(next, &QTimer::timeout, [=] {
        const int n = ++*step;
        const QStringList kinds = { "relabel", "rename", "delete", "theme", "save", "cancel" };
        const QString kind = kinds[random->bounded(n % 7 == 0 ? 6 : 5)];
        say(QString("doing %1 %2").arg(kind).arg(n));
        if (kind == "theme") {
            press(window, "settingsButton");
            settingsScreen *settings = shown<settingsScreen>();
            press(settings, "darkModeButton");
            settings->close();
        } else if (kind == "save" || kind == "cancel") {
            if (kind == "save") {
                ModalAnswer saved(QMessageBox::Ok);
                press(screen, "saveToolButton");
            } else {
                press(screen, "cancelToolButton");
                *reported = 0;
            }
            press(screen, "playToolButton");
        } else {
            press(window, "editButton");
            deviceOverviewScreen *overview = shown<deviceOverviewScreen>();
            auto *list = child<QListWidget>(overview, "measureList");
            if (kind == "relabel") {
                ModalAnswer label({ ModalAnswer::enter(QString("Bank %1").arg(n)) });
                press(overview, "renameButton");
            } else if (kind == "rename") {
                list->setCurrentRow(0);
                ModalAnswer name({ ModalAnswer::enter(QString("Messung %1").arg(n)) });
                press(overview, "measureRenameButton");
            } else {
                list->setCurrentRow(list->count() - 1);
                ModalAnswer yes(QMessageBox::Yes);
                press(overview, "deleteMeasureButton");
            }
            overview->close();
        }
        say("done");
        next->start(n % 5 == 0 ? random->bounded(2200, 3000) : random->bounded(50, 400));
    });
    next->start(2500);
}

// Saves three points, deletes the first measurement and relabels the meter; once the
// checkpoint that follows is under way, switches the theme.
void checkpointKill()
{
    MainWindow *window = shown<MainWindow>();
    connectionScreen *screen = startRecording(window);
    say("recording");
    if (!QTest::qWaitFor([window] { return window->liveRecording()->size() == 3; }, 30000))
        qFatal("nothing recorded");
    {
        ModalAnswer saved(QMessageBox::Ok);
        press(screen, "saveToolButton");
    }
    press(window, "editButton");
    deviceOverviewScreen *overview = shown<deviceOverviewScreen>();
    child<QListWidget>(overview, "measureList")->setCurrentRow(0);
    {
        ModalAnswer yes(QMessageBox::Yes);
        press(overview, "deleteMeasureButton");
    }
    ModalAnswer label({ ModalAnswer::enter("Neu") });
    press(overview, "renameButton");
    auto *poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [poll, window] {
        if (window->storeWriter().checkpointRunning()) {
            poll->stop();
            press(window, "settingsButton");
            press(shown<settingsScreen>(), "darkModeButton");
            say("changed while writing");
        }
    });
    poll->start(1);
}

// Makes one change to a large store and says when the checkpoint that follows is under way.
// With `failing`, makes another change then, whose sync fails, and says how the checkpoint
// went.
void checkpoint(bool failing)
{
    MainWindow *window = shown<MainWindow>();
    const auto toggleTheme = [window] {
        press(window, "settingsButton");
        press(shown<settingsScreen>(), "darkModeButton");
    };
    toggleTheme();
    sayWritten(window);
    auto *poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, [=] {
        if (!window->storeWriter().checkpointRunning())
            return;
        poll->stop();
        say("checkpoint started");
        if (failing) {
            failNextSync = true;
            toggleTheme();
        }
    });
    poll->start(5);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc >= 3 && qstrcmp(argv[1], "--copy") == 0) {
        isCopy = true;
        QApplication app(argc, argv);
        const QString step = argv[2];
        QTimer::singleShot(0, [step, seed = QString(argc > 3 ? argv[3] : "0").toUInt()] {
            if (step == "crash")
                crash(seed);
            else if (step == "checkpoint" || step == "checkpoint-append-fails")
                checkpoint(step != "checkpoint");
            else if (step == "checkpoint-kill")
                checkpointKill();
            else if (step == "io-error")
                ioError();
            else
                drive(step);
        });
        return Startup::run(app);
    }
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    noBuses(config.path());
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ModalAnswer noBoxExpected;
    SessionEndTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_sessionend.moc"
