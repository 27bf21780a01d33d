#include "app/mainwindow.h"
#include "app/startup.h"
#include "app/store.h"
#include "live/connectionscreen.h"
#include "support/modalanswer.h"
#include "support/storedmeter.h"
#include "support/virtualmeter.h"
#include "support/widgets.h"

#include <QLineSeries>
#include <QPushButton>
#include <QSessionManager>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <csignal>
#include <cstdio>

// The session ending without the close question, in a real copy of the program: this test
// starts itself again as that copy, which records from the virtual meter and says each step on
// its output, and then ends it with a real signal.
class SessionEndTest : public QObject
{
    Q_OBJECT

    VirtualMeter meter;

private slots:
    void nothingRecordedIsLost_data()
    {
        QTest::addColumn<QString>("step"); // what the copy does after recording three points
        QTest::addColumn<int>("signal"); // 0: the desktop session manager asks to save
        QTest::addColumn<QList<int>>("counts");
        QTest::newRow("SIGTERM while recording") << "record" << SIGTERM << QList<int>{ 3 };
        QTest::newRow("SIGINT while recording") << "record" << SIGINT << QList<int>{ 3 };
        QTest::newRow("SIGHUP while recording") << "record" << SIGHUP << QList<int>{ 3 };
        QTest::newRow("session end while recording") << "session-end" << 0 << QList<int>{ 3 };
        // The copy killed here leaves its lock behind, which the next copy must take over.
        QTest::newRow("SIGKILL after a save") << "save" << SIGKILL << QList<int>{ 3 };
        QTest::newRow("SIGTERM after the user closed the live screen")
            << "close" << SIGTERM << QList<int>{};
    }

    void nothingRecordedIsLost()
    {
        QFETCH(QString, step);
        QFETCH(int, signal);
        QVERIFY(meter.isRunning());
        writeStore({ StoredMeter() });
        meter.reset({ { "streaming", false } });
        QProcess copy;
        copy.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        copy.start(QCoreApplication::applicationFilePath(), { "--copy", step });
        const auto says = [&copy](const QByteArray &line) {
            return QTest::qWaitFor(
                [&] { return copy.canReadLine() && copy.readLine().trimmed() == line; }, 30000);
        };
        QVERIFY(says("recording"));
        QTRY_VERIFY_WITH_TIMEOUT(!meter.strings("NotifyingPaths").isEmpty(), 10000);
        for (const char *frame : { "dc-volts", "millivolts", "negative" })
            meter.call("SendCanned", { frame });
        QVERIFY(says("ready"));
        if (signal == SIGKILL)
            QTRY_COMPARE(UserStore().value("deviceList/1/pointsNumber/size").toInt(), 1);
        if (signal)
            ::kill(pid_t(copy.processId()), signal);
        QVERIFY(copy.waitForFinished(5000));
        if (signal != SIGKILL) {
            QCOMPARE(copy.exitStatus(), QProcess::NormalExit);
            QCOMPARE(copy.exitCode(), 0);
            QVERIFY(!QFile::exists(Startup::InstanceLock().fileName()));
        }

        MainWindow again;
        const Meter &m = again.meterRecords().meter(0);
        QTEST(m.pointsNumber, "counts");
        if (!m.points.isEmpty()) {
            QCOMPARE(m.points.constFirst(), QPointF(1, double(5.012f)));
            QCOMPARE(m.measureNames.constFirst(), m.timestamps.constFirst());
        }
    }
};

namespace {

void say(const char *line)
{
    std::printf("%s\n", line);
    std::fflush(stdout);
}

// What the copy does after recording three points; then it says "ready".
void finish(connectionScreen *screen, const QString &step)
{
    if (step == "save") {
        ModalAnswer saved(QMessageBox::Ok);
        child<QToolButton>(screen, "saveToolButton")->click();
    } else if (step == "session-end") {
        QTimer::singleShot(
            0, qApp, [] { emit qApp->commitDataRequest(*qApp->findChild<QSessionManager *>()); });
    } else if (step == "close") {
        screen->close();
        // Ready once the box that tells of the ended link waits for the user, from inside it.
        auto *poll = new QTimer(screen);
        QObject::connect(poll, &QTimer::timeout, [poll] {
            if (qApp->activeModalWidget() && poll->isActive()) {
                poll->stop();
                say("ready");
            }
        });
        poll->start(10);
        return;
    }
    say("ready");
}

// Inside the copy: connects to the first meter and records as a user does.
void drive(const QString &step)
{
    MainWindow *window = shown<MainWindow>();
    child<QListWidget>(window, "deviceList")->setCurrentRow(0);
    child<QPushButton>(window, "connectButton")->click();
    connectionScreen *screen = nullptr;
    if (!QTest::qWaitFor([&screen] { return (screen = shown<connectionScreen>()) != nullptr; }))
        qFatal("no live screen");
    child<QToolButton>(screen, "playToolButton")->click();
    QObject::connect(screen, &connectionScreen::dataTransformed, screen, [=] {
        if (screen->measureSeries->count() == 3)
            QTimer::singleShot(0, screen, [=] { finish(screen, step); });
    });
    say("recording");
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--copy") == 0) {
        QApplication app(argc, argv);
        const QString step = argv[2];
        QTimer::singleShot(0, [step] { drive(step); });
        return Startup::run(app);
    }
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ModalAnswer noBoxExpected;
    SessionEndTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_sessionend.moc"
