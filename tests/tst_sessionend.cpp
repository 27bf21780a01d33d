#include "app/mainwindow.h"
#include "app/startup.h"
#include "store/store.h"
#include "live/connectionscreen.h"
#include "screens/settingsscreen.h"
#include "support/modalanswer.h"
#include "support/storedmeter.h"
#include "support/virtualmeter.h"
#include "support/widgets.h"

#include <QLineSeries>
#include <QPushButton>
#include <QSessionManager>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>
#include <QTimer>
#include <QToolButton>

#include <csignal>

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
        QTest::newRow("SIGTERM while recording") << "record" << SIGTERM;
        QTest::newRow("SIGINT while recording") << "record" << SIGINT;
        QTest::newRow("SIGHUP while recording") << "record" << SIGHUP;
        QTest::newRow("session end while recording") << "session-end" << 0;
        QTest::newRow("SIGKILL after a save") << "save" << SIGKILL;
        QTest::newRow("SIGTERM after the user closed the live screen") << "close" << SIGTERM;
    }

    void nothingRecordedIsLost()
    {
        QFETCH(QString, step);
        QFETCH(int, signal);
        writeStore({ StoredMeter() });
        meter.reset({ { "streaming", false } });
        // A lock left behind is no live copy's: one naming no owner, or the one SIGKILL left.
        const QString lock = Startup::InstanceLock().fileName();
        QFile(lock).open(QIODevice::Append);
        QProcess copy;
        copy.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        copy.start(QCoreApplication::applicationFilePath(), { "--copy", step });
        const auto says = [&copy](const QByteArray &line) {
            return QTest::qWaitFor(
                [&] { return copy.canReadLine() && copy.readLine().trimmed() == line; }, 30000);
        };
        QVERIFY(says("recording"));
        ModalAnswer refused(QMessageBox::Ok);
        QCOMPARE(Startup::run(*qApp), 1);
        QCOMPARE(refused.box().title, QString("Kalvion läuft bereits"));

        QTRY_VERIFY_WITH_TIMEOUT(!meter.strings("NotifyingPaths").isEmpty(), 10000);
        for (const char *frame : { "dc-volts", "millivolts", "negative" })
            meter.call("SendCanned", { frame });
        QVERIFY(says("ready"));
        if (signal == SIGKILL)
            QTRY_COMPARE(UserStore().value("deviceList/1/pointsNumber/size").toInt(), 1);
        if (signal)
            ::kill(pid_t(copy.processId()), signal);
        // The session's end may have ended the copy already, while it said "ready".
        QTRY_COMPARE_WITH_TIMEOUT(copy.state(), QProcess::NotRunning, 5000);
        if (signal != SIGKILL) {
            QVERIFY(copy.exitStatus() == QProcess::NormalExit && copy.exitCode() == 0);
            QVERIFY(!QFile::exists(lock));
        }
        QCOMPARE(MainWindow().meterRecords().meter(0).pointsNumber,
            step == "close" ? QList<int>() : QList<int>{ 3 });
    }
};

namespace {

// Inside the copy: records three points as a user does, does the step and says "ready".
void drive(const QString &step)
{
    MainWindow *window = shown<MainWindow>();
    child<QListWidget>(window, "deviceList")->setCurrentRow(0);
    child<QPushButton>(window, "connectButton")->click();
    connectionScreen *screen = nullptr;
    if (!QTest::qWaitFor([&screen] { return (screen = shown<connectionScreen>()) != nullptr; }))
        qFatal("no live screen");
    child<QToolButton>(screen, "playToolButton")->click();
    QTextStream(stdout) << "recording" << Qt::endl;
    if (!QTest::qWaitFor([screen] { return screen->measureSeries->count() == 3; }, 30000))
        qFatal("nothing recorded");
    if (step == "save") {
        ModalAnswer saved(QMessageBox::Ok);
        child<QToolButton>(screen, "saveToolButton")->click();
    } else if (step == "session-end") {
        // The session's own write then waits behind one in flight.
        child<QPushButton>(window, "settingsButton")->click();
        child<QPushButton>(shown<settingsScreen>(), "darkModeButton")->click();
        emit qApp->commitDataRequest(*qApp->findChild<QSessionManager *>());
    } else if (step == "close") {
        screen->close();
        // Ready from inside the box that tells of the ended link, while it waits for the user.
        auto *poll = new QTimer(qApp);
        QObject::connect(poll, &QTimer::timeout, [poll] {
            if (qApp->activeModalWidget()) {
                poll->stop();
                QTextStream(stdout) << "ready" << Qt::endl;
            }
        });
        poll->start(10);
        return;
    }
    QTextStream(stdout) << "ready" << Qt::endl;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--copy") == 0) {
        QApplication app(argc, argv);
        QTimer::singleShot(0, [step = QString(argv[2])] { drive(step); });
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
