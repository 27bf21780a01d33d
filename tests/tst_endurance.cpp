#include "app/mainwindow.h"
#include "live/connectionscreen.h"
#include "support/modalanswer.h"
#include "support/storedmeter.h"
#include "support/testmain.h"
#include "support/virtualmeter.h"
#include "support/widgets.h"

#include <QFile>
#include <QLineSeries>
#include <QLowEnergyService>
#include <QPushButton>
#include <QToolButton>

// A long day at the bench, sped up, against the virtual meter: hundreds of links and screens
// opened and closed, and an hour of recording. A soak run, outside the default test command.
class EnduranceTest : public QObject
{
    Q_OBJECT

    VirtualMeter meter;

    static QWidget *click(QWidget *screen, const char *button)
    {
        child<QPushButton>(screen, button)->click();
        return QApplication::activeModalWidget();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(meter.isRunning());
        meter.reset({ { "streaming", false } });
    }

    // Each round a link, ended by either side, and every screen: neither widgets nor link
    // services nor memory may grow from round to round.
    void linksAndScreensLevelOff()
    {
        StoredMeter stored;
        stored.measurements = { storedSeries(50) };
        writeStore({ stored });
        MainWindow window;
        window.show();
        QList<QList<long>> counts; // widgets, services, resident KiB after rounds 1, 100, 200
        for (int round = 1; round <= 200; ++round) {
            connectionScreen *live = connectMeter(&window, meter);
            QVERIFY2(live, qPrintable(QString("round %1").arg(round)));
            ModalAnswer lost(QMessageBox::Ok);
            if (round % 2)
                meter.call("DropLink");
            else
                live->close();
            QTRY_VERIFY(lost.done());
            click(&window, "newDeviceButton")->close();
            click(click(&window, "settingsButton"), "languageButton")->close();
            QWidget *overview = click(&window, "editButton");
            child<QListWidget>(overview, "measureList")->setCurrentRow(0);
            click(click(overview, "openMeasureButton"), "backButton");
            overview->close();
            QVERIFY(!QApplication::activeModalWidget());
            if (round == 1 || round % 100 == 0) {
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
                QFile statm("/proc/self/statm");
                QVERIFY(statm.open(QIODevice::ReadOnly));
                counts.append({ long(QApplication::allWidgets().size()),
                    long(window.findChildren<QLowEnergyService *>().size()),
                    statm.readAll().split(' ').value(1).toLong() * 4 }); // 4 KiB pages
            }
        }
        qInfo() << "widgets, services, resident KiB:" << counts;
        QCOMPARE(counts[2][0], counts[0][0]);
        QVERIFY(counts[2][1] <= 2);
#ifndef __SANITIZE_ADDRESS__ // which holds freed memory back on purpose
        // The allocator keeps some slack; a leak per round would grow far beyond it.
        QVERIFY(counts[2][2] - counts[1][2] < 8 * 1024);
#endif
    }

    void anHourOfRecordingSurvivesARestart()
    {
        constexpr int frames = 360000; // an hour at 100 frames a second, sent 20 times as fast
        writeStore({ StoredMeter() });
        {
            MainWindow window;
            window.show();
            connectionScreen *live = connectMeter(&window, meter);
            QVERIFY(live);
            child<QToolButton>(live, "playToolButton")->click();
            // In bursts that the screen takes in before the next, so that no queue on the bus
            // grows when the program runs slower. Each burst counts 0000 to 9999.
            for (int sent = 10000; sent <= frames; sent += 10000) {
                meter.call("SendBurst", { 10000u, 5000.0 });
                QTRY_COMPARE_WITH_TIMEOUT(live->measureSeries->count(), sent, 60000);
                QTRY_VERIFY(!meter.call("BurstRunning").arguments().value(0).toBool());
            }
            ModalAnswer answers({ ModalAnswer::press(QMessageBox::Ok),
                ModalAnswer::press(QMessageBox::Ok), ModalAnswer::press(QMessageBox::Yes) });
            child<QToolButton>(live, "saveToolButton")->click();
            live->close();
            QTRY_COMPARE(answers.seen().size(), 2);
            QVERIFY(window.close());
        }
        MainWindow restarted;
        const Meter &m = restarted.meterRecords().meter(0);
        QCOMPARE(m.pointsNumber, QList<int>({ frames }));
        QCOMPARE(m.timestamps.size(), frames);
        for (int j = 0; j < frames; ++j) {
            if (m.points[j] != QPointF(j + 1, j % 10000))
                QFAIL(qPrintable(QString("point %1 is wrong").arg(j)));
        }
    }
};

KALVION_TEST_MAIN(EnduranceTest)
#include "tst_endurance.moc"
