#include "app/mainwindow.h"
#include "live/connectionscreen.h"
#include "support/modalanswer.h"
#include "support/storedmeter.h"
#include "support/testmain.h"
#include "support/virtualmeter.h"
#include "support/widgets.h"

#include <QFile>
#include <QLowEnergyService>
#include <QPushButton>

// A long day at the bench, sped up, against the virtual meter. A soak run, outside the default
// test command.
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
    // Each round a link, ended by either side, and every screen: neither widgets nor link
    // services nor memory may grow from round to round.
    void linksAndScreensLevelOff()
    {
        QVERIFY(meter.isRunning());
        meter.reset({ { "streaming", false } });
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
            round % 2 ? void(meter.call("DropLink")) : void(live->close());
            QTRY_VERIFY(lost.done());
            click(&window, "newDeviceButton")->close();
            click(click(&window, "settingsButton"), "languageButton")->close();
            QWidget *overview = click(&window, "editButton");
            child<QListWidget>(overview, "measureList")->setCurrentRow(0);
            click(click(overview, "openMeasureButton"), "backButton");
            overview->close();
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
};

KALVION_TEST_MAIN(EnduranceTest)
#include "tst_endurance.moc"
