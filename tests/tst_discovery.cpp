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

    VirtualMeter meter;
    std::unique_ptr<MainWindow> window;
    newDeviceScreen *dialog = nullptr;
    QListWidget *found = nullptr;
    QLabel *nothingFound = nullptr;

    // Presses search in the discovery dialog, which the main window opens first.
    void search()
    {
        if (!shown<newDeviceScreen>())
            child<QPushButton>(window.get(), "newDeviceButton")->click();
        dialog = shown<newDeviceScreen>();
        found = child<QListWidget>(dialog, "blootoothList");
        nothingFound = child<QLabel>(dialog, "noDeviceFoundLabel");
        child<QPushButton>(dialog, "searchButton")->click();
    }
    bool searchEnds()
    {
        return QTest::qWaitFor([] { return !shown<loadingScreen>(); }, 9000);
    }

private slots:
    void initTestCase()
    {
        Search::timeout = 1000; // the virtual meter is seen 0.3 s into a search
        QVERIFY(meter.isRunning());
    }

    void init()
    {
        writeStore({}, { false, false, 1 });
        window = std::make_unique<MainWindow>();
    }

    // Look-alikes are never listed; of two meters that come into range later, one is, and it
    // is added once: the same meter again, though relabelled by now, is refused.
    void onlyTheMeterIsListedAndAddedOnce()
    {
        meter.reset({ { "meter", false } });
        meter.call("AddDualModeDevice", { "M27K53C" });
        for (const char *name : { "m27k53c", "M27K53C ", "M27K53CX", " M27K53C" })
            meter.call("AddMeter", { QString(name) });
        search();
        QVERIFY(searchEnds());
        QCOMPARE(found->count(), 0);
        QVERIFY(nothingFound->isVisible());
        QCOMPARE(nothingFound->text(), "No device found!");
        meter.call("AddMeter", { QString("M27K53C") });
        meter.call("AddMeter", { QString("M27K53C") });
        for (int round = 0; round < 2; ++round) {
            search();
            QVERIFY(shown<loadingScreen>() && !nothingFound->isVisible());
            QVERIFY(searchEnds());
            QCOMPARE(entries(found), QStringList({ "M27K53C" }));
            QVERIFY(!nothingFound->isVisible());
            found->setCurrentRow(0);
            ModalAnswer answer(
                QList<ModalAnswer::Reply>(round, ModalAnswer::press(QMessageBox::Ok)));
            child<QPushButton>(dialog, "confirmButton")->click();
            QVERIFY(answer.done());
            QCOMPARE(answer.box().title, round ? "Device already saved" : "");
            child<QListWidget>(window.get(), "deviceList")->item(0)->setText("Werkbank");
        }
        QCOMPARE(window->meterRecords().count(), 1);
    }

    void failedSearchLeavesNoSpinner_data()
    {
        QTest::addColumn<QVariantMap>("state");
        QTest::newRow("no adapter") << QVariantMap{ { "adapter", false } };
        QTest::newRow("adapter off") << QVariantMap{ { "powered", false } };
    }

    // It ends like an empty one, however often the user tries.
    void failedSearchLeavesNoSpinner()
    {
        QFETCH(QVariantMap, state);
        meter.reset(state);
        for (int round = 0; round < 2; ++round) {
            search();
            QVERIFY(!shown<loadingScreen>());
            QVERIFY(nothingFound->isVisible());
        }
    }
};

KALVION_TEST_MAIN(DiscoveryTest)
#include "tst_discovery.moc"
