#include "app/mainwindow.h"
#include "link/meterlink.h"
#include "live/connectionscreen.h"
#include "screens/deviceoverviewscreen.h"
#include "support/modalanswer.h"
#include "support/storedmeter.h"
#include "support/testmain.h"
#include "support/virtualmeter.h"
#include "support/widgets.h"

#include <QDeadlineTimer>
#include <QLineSeries>
#include <QListWidget>
#include <QPushButton>
#include <QThread>
#include <QToolButton>

// The link to a known meter against the virtual meter: connecting, notifications reaching the
// live screen, series filed under the meter that recorded them, and every way a link ends,
// also while the user does something else on the main window.
class LinkTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<VirtualMeter> meter;
    const QString first = QStringLiteral("C8:27:53:0C:00:01");
    const QString second = QStringLiteral("C8:27:53:0C:00:02");
    const QString lostTitle = QStringLiteral("Keine Verbindung");
    const QString savedTitle = QStringLiteral("Messung erfolreich gespeichert!");

    static void press(QWidget *screen, const char *button)
    {
        child<QAbstractButton>(screen, button)->click();
    }

    static QStringList titles(const ModalAnswer &answers)
    {
        QStringList result;
        for (const ModalAnswer::Seen &seen : answers.seen())
            result.append(seen.title);
        return result;
    }

    static int liveScreens()
    {
        int n = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            n += qobject_cast<connectionScreen *>(w) && w->isVisible();
        return n;
    }

    // The measurements stored for the meter at this address, by their point counts.
    static QList<int> savedFor(const MainWindow &window, const QString &address)
    {
        const MeterRecords &records = window.meterRecords();
        const int i = records.find(QBluetoothDeviceInfo(QBluetoothAddress(address), "M27K53C", 0));
        return i < 0 ? QList<int>{-1} : records.meter(i).pointsNumber;
    }

    // Whether the meter at this address has a link, as the meter sees it.
    bool linked(const QString &address)
    {
        return meter->call("Connected", {address}).arguments().value(0).toBool();
    }

    void record(connectionScreen *screen, const QStringList &frames)
    {
        press(screen, "playToolButton");
        for (const QString &frame : frames)
            QVERIFY(sendFrame(*meter, screen, frame));
    }

    static void save(connectionScreen *screen)
    {
        ModalAnswer saved(QMessageBox::Ok);
        press(screen, "saveToolButton");
        QCOMPARE(saved.box().title, QStringLiteral("Messung erfolreich gespeichert!"));
    }

    static void closeLive(connectionScreen *screen)
    {
        ModalAnswer lost(QMessageBox::Ok);
        screen->close();
        QTRY_VERIFY(lost.done());
    }

    // Two stored meters that the virtual meter has in range, both known to BlueZ.
    void twoMeters()
    {
        writeStore({StoredMeter{"Werkbank", first, "M27K53C", {}}, StoredMeter{"Labor", second, "M27K53C", {}}});
        QCOMPARE(meter->call("AddMeter", {QString("M27K53C")}).arguments().value(0).toString(),
                 second);
        QTest::qWait(100);
    }

    static deviceOverviewScreen *manage(MainWindow &window, int row)
    {
        child<QListWidget>(&window, "deviceList")->setCurrentRow(row);
        press(&window, "editButton");
        return shown<deviceOverviewScreen>();
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
        connectionScreen *screen = connectMeter(&window, *meter);
        QVERIFY(screen);
        QVERIFY(screen->isModal());
        const QString data = meter->call("DataCharacteristic", {QString()}).arguments()
                                     .value(0).toString();
        QCOMPARE(meter->strings("NotifyingPaths"), QStringList({data}));
        meter->call("SendFrame", {QString("00ff")});
        QTRY_COMPARE(screen->receivedData, QByteArray("00ff"));
        closeLive(screen);
    }

    void connectingWithoutSelectionWarns_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::newRow("German") << 0 << "Kein Gerät ausgewählt"
                                << "Bitte wählen Sie erst ein Gerät aus, mit dem Sie verbinden "
                                   "wollen!";
        QTest::newRow("English") << 1 << "No device selected"
                                 << "Please select a device which you want to connect to!";
    }

    void connectingWithoutSelectionWarns()
    {
        QFETCH(int, language);
        QFETCH(QString, title);
        QFETCH(QString, text);
        MainWindow window;
        window.translateText(language);
        window.show();
        ModalAnswer warning(QMessageBox::Ok);
        press(&window, "connectButton");
        QCOMPARE(warning.box().title, title);
        QCOMPARE(warning.box().text, text);
        QCOMPARE(warning.box().buttons, QMessageBox::Ok);
        QVERIFY(meter->strings("ConnectCalls").isEmpty());
    }

    // Each save hands over everything since the last cancel; an unreadable point is kept as 0.
    void savedSeriesBecomeMeasurements()
    {
        MainWindow window;
        window.show();
        connectionScreen *screen = connectMeter(&window, *meter);
        QVERIFY(screen);
        record(screen, {"dc-volts", "millivolts", "overload", "negative"});
        const QString firstTime = screen->timestampList.first();
        save(screen);
        record(screen, {"ohms", "celsius", "battery"});
        save(screen);
        press(screen, "cancelToolButton");

        const Meter &m = window.meterRecords().meter(0);
        QCOMPARE(m.pointsNumber, QList<int>({4, 7}));
        QCOMPARE(m.measureNames, QStringList({firstTime, firstTime}));
        QCOMPARE(m.points.mid(4, 4), m.points.mid(0, 4));
        QCOMPARE(m.points[2], QPointF(3, 0));
        QCOMPARE(m.units[2], QString("M Ohm ?"));
        QCOMPARE(m.savedSeries[1]->count(), 7);
        closeLive(screen);
    }

    // However the link ends, the user is told once, the live screen goes and the main window
    // answers again; only a lost link saves what was recorded since the last save.
    void endingALink_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("savedBefore");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QList<int>>("saved");
        QTest::newRow("frame closed") << "frame" << false << QStringList{lostTitle} << QList<int>{};
        QTest::newRow("Escape") << "escape" << false << QStringList{lostTitle} << QList<int>{};
        QTest::newRow("meter gone") << "drop" << false << QStringList{savedTitle, lostTitle}
                                    << QList<int>{3};
        QTest::newRow("meter gone after a save")
                << "drop" << true << QStringList{lostTitle} << QList<int>{3};
    }

    void endingALink()
    {
        QFETCH(QString, how);
        QFETCH(bool, savedBefore);
        QFETCH(QStringList, boxes);
        QFETCH(QList<int>, saved);
        MainWindow window;
        window.show();
        connectionScreen *screen = connectMeter(&window, *meter);
        QVERIFY(screen);
        record(screen, {"dc-volts", "millivolts", "ac-hertz"});
        if (savedBefore)
            save(screen);

        ModalAnswer answers({ModalAnswer::press(QMessageBox::Ok),
                             ModalAnswer::press(QMessageBox::Ok)});
        if (how == "frame")
            screen->close();
        else if (how == "escape")
            QTest::keyClick(screen, Qt::Key_Escape);
        else
            meter->call("DropLink");
        QTRY_COMPARE(titles(answers), boxes);
        QCOMPARE(answers.seen().last().text, QString("Die Verbindung zum Gerät wurde getrennt!"));
        QCOMPARE(answers.seen().last().icon, QMessageBox::Warning);
        QVERIFY(!screen->isVisible());
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(meter->strings("NotifyingPaths").isEmpty());
        QCOMPARE(window.meterRecords().meter(0).pointsNumber, saved);
    }

    // Behind the "saved" box the link drops: the screen it closed does not come back.
    void lostLinkKeepsTheScreenClosedBehindItsBox()
    {
        MainWindow window;
        window.show();
        connectionScreen *screen = connectMeter(&window, *meter);
        QVERIFY(screen);
        record(screen, {"dc-volts", "ohms"});
        ModalAnswer answers({ModalAnswer::press(QMessageBox::Ok),
                             ModalAnswer::press(QMessageBox::Ok)});
        // Runs first inside the box; only posted events are let in, so no answer can close
        // the box before the loss has been handled.
        QMetaObject::invokeMethod(
                this,
                [&] {
                    meter->call("DropLink");
                    const QDeadlineTimer deadline(5000);
                    while (answers.seen().isEmpty() && !deadline.hasExpired()) {
                        QCoreApplication::sendPostedEvents();
                        QThread::msleep(1);
                    }
                },
                Qt::QueuedConnection);
        press(screen, "saveToolButton");
        QTRY_VERIFY(answers.done());
        QCOMPARE(titles(answers), QStringList({lostTitle, savedTitle}));
        QVERIFY(!screen->isVisible());
        QVERIFY(!QApplication::activeModalWidget());
        QCOMPARE(window.meterRecords().meter(0).pointsNumber, QList<int>({2}));
    }

    // While the link is being made the main window is free: whatever the user does there, the
    // series go to the meter whose link recorded them, the saved one and the one a lost link
    // saves.
    void seriesGoToTheLinkedMeter_data()
    {
        QTest::addColumn<int>("linked");
        QTest::addColumn<QString>("meanwhile");
        QTest::newRow("another meter opened") << 0 << "open";
        QTest::newRow("another meter relabelled") << 0 << "relabel";
        QTest::newRow("the meter below it deleted") << 0 << "delete";
    }

    void seriesGoToTheLinkedMeter()
    {
        QFETCH(int, linked);
        QFETCH(QString, meanwhile);
        twoMeters();
        const QString address = linked == 0 ? first : second;
        const QString other = linked == 0 ? second : first;
        MainWindow window;
        window.show();
        meter->call("HoldLinks", {true});
        child<QListWidget>(&window, "deviceList")->setCurrentRow(linked);
        press(&window, "connectButton");
        QTRY_COMPARE(meter->strings("ConnectCalls"), QStringList({address}));

        QPointer<deviceOverviewScreen> overview = manage(window, 1 - linked);
        QVERIFY(overview);
        if (meanwhile == "relabel") {
            ModalAnswer label({ModalAnswer::enter("Neu")});
            press(overview, "renameButton");
        } else if (meanwhile == "delete") {
            ModalAnswer yes(QMessageBox::Yes);
            press(overview, "deleteButton");
        }
        QTRY_COMPARE(bool(overview), meanwhile == "open");

        meter->call("HoldLinks", {false});
        QTRY_VERIFY(!meter->strings("NotifyingPaths").isEmpty());
        connectionScreen *screen = shown<connectionScreen>();
        QVERIFY(screen);
        record(screen, {"dc-volts", "millivolts"});
        save(screen);
        record(screen, {"ohms"});
        ModalAnswer lost({ModalAnswer::press(QMessageBox::Ok), ModalAnswer::press(QMessageBox::Ok)});
        meter->call("DropLink");
        QTRY_COMPARE(titles(lost), QStringList({savedTitle, lostTitle}));
        QCOMPARE(savedFor(window, address), QList<int>({2, 3}));
        QCOMPARE(savedFor(window, other), meanwhile == "delete" ? QList<int>{-1} : QList<int>{});
        QCOMPARE(bool(overview), meanwhile == "open");
    }

    // The linked meter deleted while its link is being made: the link ends, the meter goes,
    // and no live screen opens for it.
    void deletingTheLinkedMeterEndsItsLink()
    {
        twoMeters();
        MainWindow window;
        window.show();
        meter->call("HoldLinks", {true});
        child<QListWidget>(&window, "deviceList")->setCurrentRow(0);
        press(&window, "connectButton");
        QTRY_COMPARE(meter->strings("ConnectCalls"), QStringList({first}));
        {
            ModalAnswer yes(QMessageBox::Yes);
            press(manage(window, 0), "deleteButton");
        }
        QCOMPARE(entries(child<QListWidget>(&window, "deviceList")), QStringList({"Labor"}));
        QTRY_VERIFY(!linked(first));
        meter->call("HoldLinks", {false});

        connectionScreen *screen = connectMeter(&window, *meter);
        QVERIFY(screen);
        QCOMPARE(meter->strings("ConnectCalls"), QStringList({first, second}));
        QCOMPARE(meter->strings("NotifyingPaths").size(), 1);
        QCOMPARE(liveScreens(), 1);
        closeLive(screen);
    }

    // A meter BlueZ forgot is searched for again; the search connects to it, whichever meter
    // the user opens meanwhile.
    void searchAgainConnectsItsOwnMeter()
    {
        twoMeters();
        meter->call("ForgetDevice", {first});
        QTest::qWait(100);
        MainWindow window;
        window.show();
        child<QListWidget>(&window, "deviceList")->setCurrentRow(0);
        press(&window, "connectButton");
        QPointer<deviceOverviewScreen> overview = manage(window, 1);
        QVERIFY(overview);
        QTRY_VERIFY_WITH_TIMEOUT(shown<connectionScreen>(), 5000);
        connectionScreen *screen = shown<connectionScreen>();
        QTRY_VERIFY(!meter->strings("NotifyingPaths").isEmpty());
        QCOMPARE(meter->strings("ConnectCalls"), QStringList({first}));
        record(screen, {"celsius"});
        save(screen);
        QCOMPARE(savedFor(window, first), QList<int>({1}));
        closeLive(screen);
        QVERIFY(overview && overview->isVisible());
    }

    // A second connect while a link is being made: to the same meter the attempt goes on, to
    // another one it is abandoned. Either way one live screen, with a link, and one "Keine
    // Verbindung" when it closes, and no link left behind.
    void connectingAgainAbandonsTheAttempt_data()
    {
        QTest::addColumn<bool>("forgotten");
        QTest::addColumn<int>("again");
        QTest::addColumn<bool>("doubleClick");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("same meter") << false << 0 << false << QStringList{first};
        QTest::newRow("double-click on another")
                << false << 1 << true << QStringList{first, second};
        QTest::newRow("another while the first is searched for")
                << true << 1 << false << QStringList{second};
    }

    void connectingAgainAbandonsTheAttempt()
    {
        QFETCH(bool, forgotten);
        QFETCH(int, again);
        QFETCH(bool, doubleClick);
        QFETCH(QStringList, calls);
        twoMeters();
        if (forgotten)
            meter->call("ForgetDevice", {first});
        else
            meter->call("HoldLinks", {true});
        QTest::qWait(100);
        MainWindow window;
        window.show();
        auto *list = child<QListWidget>(&window, "deviceList");
        list->setCurrentRow(0);
        press(&window, "connectButton");
        if (doubleClick) {
            const QPoint centre = list->visualItemRect(list->item(again)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
        } else {
            list->setCurrentRow(again);
            press(&window, "connectButton");
        }
        meter->call("HoldLinks", {false});
        QTRY_VERIFY(!meter->strings("NotifyingPaths").isEmpty());
        connectionScreen *screen = shown<connectionScreen>();
        QVERIFY(screen);
        QVERIFY(sendFrame(*meter, screen, "dc-volts"));
        if (forgotten)
            QTest::qWait(500); // the abandoned search would have seen its meter by now
        QCOMPARE(meter->strings("ConnectCalls"), calls);
        QCOMPARE(liveScreens(), 1);
        closeLive(screen);
        QCOMPARE(liveScreens(), 0);
        QTRY_VERIFY(!linked(first) && !linked(second));
    }

    // Links made and ended one after another leave nothing behind but the last live screen.
    void repeatedLinksDoNotPileUp()
    {
        MainWindow window;
        window.show();
        for (int cycle = 0; cycle < 4; ++cycle) {
            connectionScreen *screen = connectMeter(&window, *meter);
            QVERIFY(screen);
            QVERIFY(sendFrame(*meter, screen, "celsius"));
            ModalAnswer lost(QMessageBox::Ok);
            if (cycle % 2)
                meter->call("DropLink");
            else
                screen->close();
            QTRY_VERIFY(lost.done());
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(window.findChildren<MeterLink *>().size(), 0);
        QCOMPARE(window.findChildren<QLowEnergyService *>().size(), 0);
        int screens = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            screens += qobject_cast<connectionScreen *>(w) != nullptr;
        QCOMPARE(screens, 1);
    }
};

KALVION_TEST_MAIN(LinkTest)
#include "tst_link.moc"
