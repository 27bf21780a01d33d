#include "app/mainwindow.h"
#include "link/loadingscreen.h"
#include "link/newdevicescreen.h"
#include "support/modalanswer.h"
#include "support/testmain.h"
#include "support/widgets.h"
#include "support/virtualmeter.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>

// Finding meters against the virtual meter: which devices are listed, the spinner around every
// search however it ends, and adding the chosen meter to the main window.
class DiscoveryTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<VirtualMeter> meter;

    // Opens the discovery dialog from the main window and presses search.
    static newDeviceScreen *search(MainWindow &window)
    {
        if (!shown<newDeviceScreen>())
            window.newDevice();
        newDeviceScreen *dialog = shown<newDeviceScreen>();
        child<QPushButton>(dialog, "searchButton")->click();
        return dialog;
    }

    // A search lasts its full ten seconds (a little less, as the platform reports).
    static bool waitForEnd() { return QTest::qWaitFor([] { return !shown<loadingScreen>(); }, 12000); }

private slots:
    void initTestCase()
    {
        meter = std::make_unique<VirtualMeter>();
        QVERIFY(meter->isRunning());
    }

    void cleanupTestCase() { meter.reset(); }

    void init()
    {
        QSettings("Orvu", "Kalvion").clear();
        meter->reset();
    }

    void meterIsListedAndAdded()
    {
        MainWindow window;
        window.reverseDarkMode(true);
        window.show();
        newDeviceScreen *dialog = search(window);
        QVERIFY(shown<loadingScreen>());
        QCOMPARE(child<QPushButton>(dialog, "searchButton")->text(), QString("Suchen"));
        auto *list = child<QListWidget>(dialog, "blootoothList");
        QTRY_COMPARE(entries(list), QStringList({"M27K53C"}));
        QCOMPARE(list->item(0)->background().color(), QColor("#555555"));
        QVERIFY(waitForEnd());
        QVERIFY(!child<QLabel>(dialog, "noDeviceFoundLabel")->isVisible());

        list->setCurrentRow(0);
        child<QPushButton>(dialog, "confirmButton")->click();
        QVERIFY(!dialog->isVisible());
        auto *known = child<QListWidget>(&window, "deviceList");
        QCOMPARE(entries(known), QStringList({"M27K53C"}));
        QCOMPARE(known->item(0)->background().color(), QColor("#555555"));
        const Meter &added = window.meterRecords().meter(0);
        QCOMPARE(added.device.address().toString(), QString("C8:27:53:0C:00:01"));
        QCOMPARE(added.device.name(), QString("M27K53C"));
        QCOMPARE(added.pointsNumber.size(), 0);

        // The same meter again, though relabelled by now, is refused.
        known->item(0)->setText("Werkbank");
        dialog = search(window);
        list = child<QListWidget>(dialog, "blootoothList");
        QTRY_COMPARE(entries(list), QStringList({"M27K53C"}));
        QVERIFY(waitForEnd());
        list->setCurrentRow(0);
        ModalAnswer answer(QMessageBox::Ok);
        child<QPushButton>(dialog, "confirmButton")->click();
        QCOMPARE(answer.box().title, QString("Gerät bereits gespeichert"));
        QCOMPARE(answer.box().text,
                 QString("Dieses Gerät ist bereits Teil der gespeicherten Geräte!"));
        QCOMPARE(answer.box().buttons, QMessageBox::Ok);
        QCOMPARE(entries(known), QStringList({"Werkbank"}));
        QCOMPARE(window.meterRecords().count(), 1);
    }

    void lookalikesAreNotListed()
    {
        meter->reset({{"meter", false}});
        meter->call("AddDualModeDevice", {"M27K53C"});
        for (const char *name : {"m27k53c", "M27K53C ", "M27K53CX", " M27K53C"})
            meter->call("AddMeter", {QString(name)});
        QTest::qWait(100);

        MainWindow window;
        window.translateText(1);
        newDeviceScreen *dialog = search(window);
        QVERIFY(waitForEnd());
        QCOMPARE(child<QListWidget>(dialog, "blootoothList")->count(), 0);
        auto *label = child<QLabel>(dialog, "noDeviceFoundLabel");
        QVERIFY(label->isVisible());
        QCOMPARE(label->text(), QString("No device found!"));
    }

    void onlyTheFirstOfTwoMetersIsListed()
    {
        meter->call("AddMeter", {QString("M27K53C")});
        QTest::qWait(100);
        MainWindow window;
        newDeviceScreen *dialog = search(window);
        auto *list = child<QListWidget>(dialog, "blootoothList");
        QTRY_COMPARE(entries(list), QStringList({"M27K53C"}));
        QVERIFY(waitForEnd());
        QCOMPARE(entries(list), QStringList({"M27K53C"}));
        const QString first = dialog->foundDevice.address().toString();
        QVERIFY(first == "C8:27:53:0C:00:01" || first == "C8:27:53:0C:00:02");
    }

    void searchingAgainKeepsTheEntryAndHidesTheLabel()
    {
        meter->reset({{"meter", false}});
        MainWindow window;
        newDeviceScreen *dialog = search(window);
        auto *label = child<QLabel>(dialog, "noDeviceFoundLabel");
        QVERIFY(waitForEnd());
        QVERIFY(label->isVisible());

        // The meter comes into range; the next search hides the label until it ends.
        meter->call("AddMeter", {QString("M27K53C")});
        search(window);
        QVERIFY(shown<loadingScreen>());
        QVERIFY(!label->isVisible());
        auto *list = child<QListWidget>(dialog, "blootoothList");
        QTRY_COMPARE(entries(list), QStringList({"M27K53C"}));
        QVERIFY(waitForEnd());
        QVERIFY(!label->isVisible());

        search(window);
        QVERIFY(!label->isVisible());
        QCOMPARE(entries(list), QStringList({"M27K53C"}));
        QVERIFY(waitForEnd());
        QCOMPARE(entries(list), QStringList({"M27K53C"}));
        QVERIFY(!label->isVisible());
    }

    void failedSearchEndsLikeAnEmptyOne_data()
    {
        QTest::addColumn<QVariantMap>("state");
        QTest::newRow("no adapter") << QVariantMap{{"adapter", false}};
        QTest::newRow("adapter off") << QVariantMap{{"powered", false}};
    }

    void failedSearchEndsLikeAnEmptyOne()
    {
        QFETCH(QVariantMap, state);
        meter->reset(state);
        MainWindow window;
        newDeviceScreen *dialog = search(window);
        QVERIFY(!shown<loadingScreen>());
        QVERIFY(child<QLabel>(dialog, "noDeviceFoundLabel")->isVisible());
        QVERIFY(dialog->isVisible());
        // A second try ends the same way and leaves no spinner behind either.
        search(window);
        QVERIFY(!shown<loadingScreen>());
        QVERIFY(child<QLabel>(dialog, "noDeviceFoundLabel")->isVisible());
    }

    void confirmingWithoutSelectionWarns()
    {
        MainWindow window;
        window.reverseDarkMode(true);
        window.translateText(1);
        window.newDevice();
        newDeviceScreen *dialog = shown<newDeviceScreen>();
        QSignalSpy confirmed(dialog, &newDeviceScreen::confirmPressed);

        ModalAnswer answer(QMessageBox::Ok);
        child<QPushButton>(dialog, "confirmButton")->click();
        QCOMPARE(answer.box().title, QString("No device selected"));
        QCOMPARE(answer.box().text, QString("Please choose a device which you want to add!"));
        QCOMPARE(answer.box().icon, QMessageBox::Warning);
        QCOMPARE(answer.box().parentStyleSheet, QString("background-color: white"));
        QVERIFY(!answer.box().parentVisible);
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->styleSheet(), QString("background-color: #202020"));
        QCOMPARE(confirmed.count(), 0);
        QCOMPARE(window.meterRecords().count(), 0);
    }
};

KALVION_TEST_MAIN(DiscoveryTest)
#include "tst_discovery.moc"
