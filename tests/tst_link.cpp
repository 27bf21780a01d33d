#include "app/mainwindow.h"
#include "live/connectionscreen.h"
#include "support/modalanswer.h"
#include "support/storedmeter.h"
#include "support/testmain.h"
#include "support/virtualmeter.h"
#include "support/widgets.h"

#include <QLCDNumber>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QLowEnergyController>
#include <QPushButton>
#include <QToolButton>

// The link to a known meter against the virtual meter: connecting in either service order,
// notifications reaching the live screen, saving series, and every way a link ends.
class LinkTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<VirtualMeter> meter;

    static QListWidget *meterList(MainWindow &window)
    {
        return window.findChild<QListWidget *>("deviceList");
    }

    static void press(connectionScreen *screen, const char *button)
    {
        screen->findChild<QToolButton *>(button)->click();
    }

    connectionScreen *connectMeter(MainWindow &window) { return ::connectMeter(&window, *meter); }

    bool sendFrame(connectionScreen *screen, const QString &name)
    {
        return ::sendFrame(*meter, screen, name);
    }

private slots:
    void initTestCase()
    {
        meter = std::make_unique<VirtualMeter>();
        QVERIFY(meter->isRunning());
    }

    void cleanupTestCase() { meter.reset(); }

    void init()
    {
        writeStore({StoredMeter()});
        meter->reset({{"streaming", false}});
    }

    void connectsAndStreamsInEitherServiceOrder_data()
    {
        QTest::addColumn<QString>("order");
        QTest::newRow("Generic Attribute first") << "gatt-first";
        QTest::newRow("data service first") << "data-first";
    }

    void connectsAndStreamsInEitherServiceOrder()
    {
        QFETCH(QString, order);
        meter->reset({{"streaming", false}, {"order", order}});
        MainWindow window;
        window.show();
        connectionScreen *screen = connectMeter(window);
        QVERIFY(screen);
        const QString data = meter->call("DataCharacteristic", {QString()}).arguments()
                                     .value(0).toString();
        QVERIFY(meter->strings("StartNotifyCalls").contains(data));
        QVERIFY(meter->strings("NotifyingPaths").contains(data));

        meter->call("SendFrame", {QString("00ff")});
        QTRY_COMPARE(screen->receivedData, QByteArray("00ff"));

        QVERIFY(sendFrame(screen, "dc-volts"));
        QCOMPARE(screen->findChild<QLCDNumber *>()->value(), double(5.012f));
        QVERIFY(screen->findChild<QLabel *>("voltLabel")->isVisible());
        QVERIFY(!screen->findChild<QLabel *>("ohmLabel")->isVisible());

        ModalAnswer lost(QMessageBox::Ok);
        screen->close();
        QTRY_VERIFY(lost.done());
    }

    void connectingWithoutSelectionWarns()
    {
        MainWindow window;
        window.show();
        ModalAnswer german(QMessageBox::Ok);
        window.findChild<QPushButton *>("connectButton")->click();
        QCOMPARE(german.box().title, QString("Kein Gerät ausgewählt"));
        QCOMPARE(german.box().text,
                 QString("Bitte wählen Sie erst ein Gerät aus, mit dem Sie verbinden wollen!"));
        QCOMPARE(german.box().buttons, QMessageBox::Ok);

        window.translateText(1);
        ModalAnswer english(QMessageBox::Ok);
        window.findChild<QPushButton *>("connectButton")->click();
        QCOMPARE(english.box().title, QString("No device selected"));
        QCOMPARE(english.box().text,
                 QString("Please select a device which you want to connect to!"));
        QVERIFY(meter->strings("ConnectCalls").isEmpty());
    }

    void doubleClickConnects()
    {
        MainWindow window;
        window.show();
        QListWidget *list = meterList(window);
        const QPoint centre = list->visualItemRect(list->item(0)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
        QTRY_VERIFY(shown<connectionScreen>());
        QCOMPARE(meter->strings("ConnectCalls"), QStringList({"C8:27:53:0C:00:01"}));
        ModalAnswer lost(QMessageBox::Ok);
        shown<connectionScreen>()->close();
        QTRY_VERIFY(lost.done());
    }

    void savedSeriesBecomeMeasurementsThatSurviveARestart()
    {
        {
            MainWindow window;
            window.show();
            connectionScreen *screen = connectMeter(window);
            QVERIFY(screen);
            press(screen, "playToolButton");
            for (const char *name : {"dc-volts", "millivolts", "overload", "negative"})
                QVERIFY(sendFrame(screen, name));
            const QString firstTime = screen->timestampList.first();
            {
                ModalAnswer saved(QMessageBox::Ok);
                press(screen, "saveToolButton");
                QCOMPARE(saved.box().title, QString("Messung erfolreich gespeichert!"));
            }
            press(screen, "playToolButton");
            for (const char *name : {"ohms", "celsius", "battery"})
                QVERIFY(sendFrame(screen, name));
            {
                ModalAnswer saved(QMessageBox::Ok);
                press(screen, "saveToolButton");
            }
            press(screen, "cancelToolButton");

            const Meter &m = window.meterRecords().meter(0);
            QCOMPARE(m.pointsNumber, QList<int>({4, 7}));
            QCOMPARE(m.measureNames, QStringList({firstTime, firstTime}));
            QCOMPARE(m.points.mid(4, 4), m.points.mid(0, 4));
            QCOMPARE(m.points[2], QPointF(3, 0));
            QCOMPARE(m.units[2], QString("M Ohm ?"));
            QCOMPARE(m.savedSeries[0]->count(), 4);
            QCOMPARE(m.savedSeries[1]->count(), 7);

            ModalAnswer answers({ModalAnswer::press(QMessageBox::Ok)});
            screen->close();
            QTRY_VERIFY(answers.done());
            ModalAnswer yes(QMessageBox::Yes);
            QVERIFY(window.close());
        }
        MainWindow restarted;
        const Meter &m = restarted.meterRecords().meter(0);
        QCOMPARE(m.pointsNumber, QList<int>({4, 7}));
        QCOMPARE(m.units[8], QString("k Ohm "));
        QCOMPARE(m.units[9], QString("°C "));
    }

    void lostLinkIsReported()
    {
        MainWindow window;
        window.show();
        connectionScreen *screen = connectMeter(window);
        QVERIFY(screen);
        ModalAnswer lost(QMessageBox::Ok);
        meter->call("DropLink");
        QTRY_VERIFY(lost.done());
        QCOMPARE(lost.box().title, QString("Keine Verbindung"));
        QCOMPARE(lost.box().text, QString("Die Verbindung zum Gerät wurde getrennt!"));
        QCOMPARE(lost.box().icon, QMessageBox::Warning);
        QVERIFY(!screen->isVisible());
        QCOMPARE(window.meterRecords().meter(0).pointsNumber.size(), 0);
    }

    void droppedLinkKeepsTheUnsavedRecording()
    {
        QString firstTime;
        {
            MainWindow window;
            window.show();
            connectionScreen *screen = connectMeter(window);
            QVERIFY(screen);
            press(screen, "playToolButton");
            for (const char *name : {"dc-volts", "millivolts", "ac-hertz"})
                QVERIFY(sendFrame(screen, name));
            firstTime = screen->timestampList.first();

            ModalAnswer answers({ModalAnswer::press(QMessageBox::Ok),
                                 ModalAnswer::press(QMessageBox::Ok)});
            meter->call("DropLink");
            QTRY_VERIFY(answers.done());
            QCOMPARE(answers.seen()[0].title, QString("Messung erfolreich gespeichert!"));
            QCOMPARE(answers.seen()[1].title, QString("Keine Verbindung"));
            QVERIFY(!screen->isVisible());
            QCOMPARE(window.meterRecords().meter(0).pointsNumber, QList<int>({3}));

            // Saved, nothing recorded since: a drop adds nothing more.
            screen = connectMeter(window);
            QVERIFY(screen);
            press(screen, "playToolButton");
            QVERIFY(sendFrame(screen, "ohms"));
            {
                ModalAnswer saved(QMessageBox::Ok);
                press(screen, "saveToolButton");
            }
            ModalAnswer lost(QMessageBox::Ok);
            meter->call("DropLink");
            QTRY_VERIFY(lost.done());
            QCOMPARE(lost.box().title, QString("Keine Verbindung"));
            QCOMPARE(window.meterRecords().meter(0).pointsNumber, QList<int>({3, 1}));

            ModalAnswer yes(QMessageBox::Yes);
            QVERIFY(window.close());
        }
        MainWindow restarted;
        const Meter &m = restarted.meterRecords().meter(0);
        QCOMPARE(m.pointsNumber, QList<int>({3, 1}));
        QCOMPARE(m.measureNames.first(), firstTime);
        QCOMPARE(m.units.mid(0, 3), QStringList({"V ", "m V ", "Hz "}));
    }

    void closingTheLiveScreenEndsTheLink()
    {
        MainWindow window;
        window.show();
        connectionScreen *screen = connectMeter(window);
        QVERIFY(screen);
        press(screen, "playToolButton");
        QVERIFY(sendFrame(screen, "dc-volts"));
        ModalAnswer lost(QMessageBox::Ok);
        screen->close();
        QTRY_VERIFY(lost.done());
        QCOMPARE(lost.box().title, QString("Keine Verbindung"));
        QTRY_VERIFY(meter->strings("NotifyingPaths").isEmpty());
        // Closing by hand keeps the old behaviour: the unsaved points are discarded.
        QCOMPARE(window.meterRecords().meter(0).pointsNumber.size(), 0);
    }

    void connectsAgainAfterALoss()
    {
        MainWindow window;
        window.show();
        QVERIFY(connectMeter(window));
        {
            ModalAnswer lost(QMessageBox::Ok);
            meter->call("DropLink");
            QTRY_VERIFY(lost.done());
        }
        connectionScreen *screen = connectMeter(window);
        QVERIFY(screen);
        QVERIFY(sendFrame(screen, "celsius"));
        QCOMPARE(meter->strings("ConnectCalls").size(), 2);
        ModalAnswer lost(QMessageBox::Ok);
        screen->close();
        QTRY_VERIFY(lost.done());
    }

    void forgottenMeterIsFoundAgain()
    {
        meter->call("ForgetDevice", {QString()});
        QTest::qWait(100);
        MainWindow window;
        window.show();
        connectionScreen *screen = connectMeter(window);
        QVERIFY(screen);
        QVERIFY(sendFrame(screen, "dc-volts"));
        ModalAnswer lost(QMessageBox::Ok);
        screen->close();
        QTRY_VERIFY(lost.done());
    }

    void everyFrameOfAFastStreamIsRecorded()
    {
        MainWindow window;
        window.show();
        connectionScreen *screen = connectMeter(window);
        QVERIFY(screen);
        press(screen, "playToolButton");
        meter->call("SendBurst", {2000u, 200.0});
        QTRY_COMPARE_WITH_TIMEOUT(screen->measureSeries->count(), 2000, 20000);
        for (int i = 0; i < 2000; ++i)
            QCOMPARE(screen->measureSeries->at(i), QPointF(i + 1, i));
        ModalAnswer lost(QMessageBox::Ok);
        screen->close();
        QTRY_VERIFY(lost.done());
    }

    void repeatedLinksDoNotPileUp()
    {
        MainWindow window;
        window.show();
        for (int cycle = 0; cycle < 100; ++cycle) {
            connectionScreen *screen = connectMeter(window);
            QVERIFY(screen);
            ModalAnswer lost(QMessageBox::Ok);
            if (cycle % 2)
                meter->call("DropLink");
            else
                screen->close();
            QTRY_VERIFY(lost.done());
        }
        QApplication::processEvents();
        QVERIFY(window.findChildren<QLowEnergyService *>().size() <= 2);
        int screens = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            screens += qobject_cast<connectionScreen *>(w) != nullptr;
        QCOMPARE(screens, 1);
    }
};

KALVION_TEST_MAIN(LinkTest)
#include "tst_link.moc"
