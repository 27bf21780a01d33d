#include "app/mainwindow.h"
#include "link/loadingscreen.h"
#include "link/newdevicescreen.h"
#include "link/search.h"
#include "support/modalanswer.h"
#include "support/storedmeter.h"
#include "support/testmain.h"
#include "support/virtualmeter.h"
#include "support/widgets.h"

#include <QLabel>
#include <QPushButton>

// Finding meters against the virtual meter: which devices are listed, the spinner around every
// search however it ends, and adding the chosen meter to the main window.
class DiscoveryTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<VirtualMeter> meter;

    // Presses search in the discovery dialog, opening it first from the main window.
    static newDeviceScreen *search(MainWindow &window)
    {
        if (!shown<newDeviceScreen>())
            child<QPushButton>(&window, "newDeviceButton")->click();
        child<QPushButton>(shown<newDeviceScreen>(), "searchButton")->click();
        return shown<newDeviceScreen>();
    }

    static bool searchEnds()
    {
        return QTest::qWaitFor([] { return !shown<loadingScreen>(); }, 5 * Search::timeout);
    }

    static QLabel *nothingFound(newDeviceScreen *dialog)
    {
        return child<QLabel>(dialog, "noDeviceFoundLabel");
    }

private slots:
    void initTestCase()
    {
        // Time enough for the virtual meter, which is seen 0.3 s into a search.
        Search::timeout = 1000;
        meter = std::make_unique<VirtualMeter>();
        QVERIFY(meter->isRunning());
    }

    void cleanupTestCase() { meter.reset(); }

    void init()
    {
        writeStore({});
        meter->reset();
    }

    // Added once; the same meter again, though relabelled by now, is refused.
    void meterIsAddedOnce()
    {
        MainWindow window;
        window.show();
        for (int round = 0; round < 2; ++round) {
            newDeviceScreen *dialog = search(window);
            auto *list = child<QListWidget>(dialog, "blootoothList");
            QTRY_COMPARE(entries(list), QStringList({ "M27K53C" }));
            QVERIFY(searchEnds());
            QVERIFY(!nothingFound(dialog)->isVisible());
            list->setCurrentRow(0);
            ModalAnswer answer(
                QList<ModalAnswer::Reply>(round, ModalAnswer::press(QMessageBox::Ok)));
            child<QPushButton>(dialog, "confirmButton")->click();
            QVERIFY(answer.done());
            QCOMPARE(answer.box().title, round ? "Gerät bereits gespeichert" : "");
            child<QListWidget>(&window, "deviceList")->item(0)->setText("Werkbank");
        }
        QCOMPARE(shown<newDeviceScreen>(), nullptr);
        QCOMPARE(window.meterRecords().count(), 1);
        QCOMPARE(window.meterRecords().meter(0).device.address().toString(), "C8:27:53:0C:00:01");
        QCOMPARE(window.meterRecords().meter(0).device.name(), "M27K53C");
    }

    void lookalikesAreNotListed()
    {
        writeStore({}, { false, false, 1 });
        meter->reset({ { "meter", false } });
        meter->call("AddDualModeDevice", { "M27K53C" });
        for (const char *name : { "m27k53c", "M27K53C ", "M27K53CX", " M27K53C" })
            meter->call("AddMeter", { QString(name) });
        MainWindow window;
        newDeviceScreen *dialog = search(window);
        QVERIFY(searchEnds());
        QCOMPARE(child<QListWidget>(dialog, "blootoothList")->count(), 0);
        QVERIFY(nothingFound(dialog)->isVisible());
        QCOMPARE(nothingFound(dialog)->text(), "No device found!");
    }

    // Two meters come into range after a search found none; the next search lists one.
    void searchingAgainListsOneMeter()
    {
        meter->reset({ { "meter", false } });
        MainWindow window;
        newDeviceScreen *dialog = search(window);
        QVERIFY(searchEnds());
        QVERIFY(nothingFound(dialog)->isVisible());
        meter->call("AddMeter", { QString("M27K53C") });
        meter->call("AddMeter", { QString("M27K53C") });
        search(window);
        QVERIFY(shown<loadingScreen>());
        QVERIFY(!nothingFound(dialog)->isVisible());
        QVERIFY(searchEnds());
        QCOMPARE(entries(child<QListWidget>(dialog, "blootoothList")), QStringList({ "M27K53C" }));
        QVERIFY(!nothingFound(dialog)->isVisible());
    }

    void failedSearchEndsLikeAnEmptyOne_data()
    {
        QTest::addColumn<QVariantMap>("state");
        QTest::newRow("no adapter") << QVariantMap{ { "adapter", false } };
        QTest::newRow("adapter off") << QVariantMap{ { "powered", false } };
    }

    // However often the user tries, no spinner stays behind.
    void failedSearchEndsLikeAnEmptyOne()
    {
        QFETCH(QVariantMap, state);
        meter->reset(state);
        MainWindow window;
        for (int round = 0; round < 2; ++round) {
            newDeviceScreen *dialog = search(window);
            QVERIFY(!shown<loadingScreen>());
            QVERIFY(nothingFound(dialog)->isVisible());
        }
    }
};

KALVION_TEST_MAIN(DiscoveryTest)
#include "tst_discovery.moc"
