#include "app/mainwindow.h"
#include "link/meterlink.h"
#include "link/search.h"
#include "live/connectionscreen.h"
#include "live/recording.h"
#include "screens/deviceoverviewscreen.h"
#include "support/modalanswer.h"
#include "support/storedmeter.h"
#include "support/testmain.h"
#include "support/virtualmeter.h"
#include "support/widgets.h"

#include <QAbstractButton>
#include <QDeadlineTimer>
#include <QLCDNumber>
#include <QLabel>
#include <QLineSeries>
#include <QThread>

#include <optional>

// The link to a known meter against the virtual meter: what it records and how it ends, also
// while the user does something else on the main window.
class LinkTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<VirtualMeter> meter;
    const QString first = "C8:27:53:0C:00:01", second = "C8:27:53:0C:00:02";
    const QString lost = "Keine Verbindung", saved = "Messung erfolreich gespeichert!";

    static void press(QWidget *screen, const char *button)
    {
        child<QAbstractButton>(screen, button)->click();
    }

    static void select(MainWindow &window, int row, const char *button)
    {
        child<QListWidget>(&window, "deviceList")->setCurrentRow(row);
        press(&window, button);
    }

    // The live screens the user sees.
    static int liveScreens()
    {
        int n = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            n += qobject_cast<connectionScreen *>(w) && w->isVisible();
        return n;
    }

    // Whether the meter at this address has a link, as the meter sees it.
    bool linked(const QString &address)
    {
        return meter->call("Connected", { address }).arguments().value(0).toBool();
    }

    void record(connectionScreen *screen, const QStringList &frames)
    {
        press(screen, "playToolButton");
        for (const QString &frame : frames)
            QVERIFY(sendFrame(*meter, screen, frame));
    }

    // Presses save and drops the link as soon as the box is up. Only posted events are let in
    // meanwhile, so no answer can close the box before the loss has been handled.
    void saveWithTheLinkLostBehindTheBox(connectionScreen *screen, const ModalAnswer &answers)
    {
        const auto drop = [&] {
            meter->call("DropLink");
            const QDeadlineTimer deadline(5000);
            while (answers.seen().isEmpty() && !deadline.hasExpired()) {
                QCoreApplication::sendPostedEvents();
                QThread::msleep(1);
            }
        };
        QMetaObject::invokeMethod(this, drop, Qt::QueuedConnection);
        press(screen, "saveToolButton");
    }

private slots:
    void initTestCase()
    {
        meter = std::make_unique<VirtualMeter>();
        QVERIFY(meter->isRunning());
    }

    void cleanupTestCase() { meter.reset(); }

    // The data service is exported first, so it is not the service created last.
    // A lost link with unsaved points is given up soon.
    void init()
    {
        meter->reset({ { "streaming", false }, { "order", "data-first" } });
        Reconnect::every = 300;
        Reconnect::window = 1500;
    }

    // While a link is being made (or its forgotten meter searched for) the main window is
    // free: one link comes up, to the meter it was made for, and what it records goes there.
    // The same meter again lets the attempt go on; another, or deleting it, abandons it. The
    // user is told once of the end and the live screen goes for good; only a lost link saves
    // what was recorded since the last save. Nothing of the link is left after it.
    void linkBelongsToItsMeter_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QString>("end");
        const QStringList one{ first }, both{ first, second };
        QTest::newRow("frame closed") << "" << one << "frame";
        QTest::newRow("Escape") << "" << one << "escape";
        QTest::newRow("meter gone") << "" << one << "drop";
        QTest::newRow("meter gone after a save") << "" << one << "save, drop";
        QTest::newRow("meter gone behind the saved box") << "" << one << "behind";
        QTest::newRow("another meter opened") << "open" << one << "drop";
        QTest::newRow("another meter relabelled") << "relabel" << one << "drop";
        QTest::newRow("the meter below deleted") << "delete below" << one << "drop";
        QTest::newRow("another opened while searching") << "search, open" << one << "drop";
        QTest::newRow("the same meter again") << "again" << one << "drop";
        QTest::newRow("another double-clicked") << "double-click" << both << "drop";
        QTest::newRow("the linked meter deleted") << "delete linked" << both << "drop";
        QTest::newRow("another while searching")
            << "search, connect" << QStringList{ second } << "drop";
    }

    void linkBelongsToItsMeter()
    {
        QFETCH(QString, meanwhile);
        QFETCH(QStringList, calls);
        QFETCH(QString, end);
        writeStore({ StoredMeter{ "Werkbank", first, "M27K53C", {} },
            StoredMeter{ "Labor", second, "M27K53C", {} } });
        meter->call("AddMeter", { QString("M27K53C") });
        const bool searching = meanwhile.startsWith("search");
        meter->call(searching ? "ForgetDevice" : "HoldLinks",
            { searching ? QVariant(first) : QVariant(true) });
        QTest::qWait(100);
        MainWindow window;
        window.show();
        select(window, 0, "connectButton");

        QPointer<deviceOverviewScreen> overview;
        auto *list = child<QListWidget>(&window, "deviceList");
        if (meanwhile == "again" || meanwhile == "search, connect") {
            select(window, meanwhile == "again" ? 0 : 1, "connectButton");
        } else if (meanwhile == "double-click") {
            const QPoint centre = list->visualItemRect(list->item(1)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
        } else if (!meanwhile.isEmpty()) {
            select(window, meanwhile == "delete linked" ? 0 : 1, "editButton");
            overview = shown<deviceOverviewScreen>();
            ModalAnswer answer({ meanwhile == "relabel" ? ModalAnswer::enter("Neu")
                                                        : ModalAnswer::press(QMessageBox::Yes) });
            if (meanwhile == "relabel")
                press(overview, "renameButton");
            else if (meanwhile.startsWith("delete"))
                press(overview, "deleteButton");
            if (meanwhile == "delete linked") {
                QTRY_VERIFY(!linked(first));
                select(window, 0, "connectButton");
            }
        }

        meter->call("HoldLinks", { false });
        QTRY_VERIFY(!meter->strings("NotifyingPaths").isEmpty());
        QPointer<connectionScreen> screen = shown<connectionScreen>();
        QVERIFY(screen);
        record(screen, { "dc-volts", "millivolts" });
        ModalAnswer firstSave(QMessageBox::Ok);
        press(screen, "saveToolButton");
        record(screen, { "overload" });
        if (meanwhile == "search, connect")
            QTest::qWait(500); // the abandoned search would have seen its meter by now
        QCOMPARE(meter->strings("ConnectCalls"), calls);
        QCOMPARE(linked(first), calls.last() == first);
        QCOMPARE(linked(second), calls.last() == second);
        QCOMPARE(liveScreens(), 1);

        const bool discards = end == "frame" || end == "escape";
        const QStringList boxes = end == "behind" ? QStringList{ lost, saved }
            : discards                            ? QStringList{ lost }
                                                  : QStringList{ saved, lost };
        ModalAnswer answers(
            QList<ModalAnswer::Reply>(boxes.size(), ModalAnswer::press(QMessageBox::Ok)));
        if (end == "frame")
            screen->close();
        else if (end == "escape")
            QTest::keyClick(screen, Qt::Key_Escape);
        else if (end == "behind")
            saveWithTheLinkLostBehindTheBox(screen, answers);
        else if (end == "save, drop")
            press(screen, "saveToolButton");
        // Out of range for good: a link with unsaved points is made again until it is given up.
        if (end.endsWith("drop"))
            meter->call("OutOfRange", { calls.last(), 60.0 });
        QTRY_VERIFY(answers.done());
        for (int k = 0; k < boxes.size(); ++k)
            QCOMPARE(answers.seen()[k].title, boxes[k]);
        QCOMPARE(answers.seen()[boxes.indexOf(lost)].text,
            QString("Die Verbindung zum Gerät wurde getrennt!"));
        QCOMPARE(liveScreens(), 0);
        QVERIFY(meter->strings("NotifyingPaths").isEmpty());
        QCOMPARE(bool(overview), meanwhile.endsWith("open"));
        // Both meters are named alike: the one that got the series is known by its address, in
        // the order the test left the meters in.
        QStringList order = { first, second };
        if (meanwhile.startsWith("delete"))
            order.removeAt(meanwhile == "delete linked" ? 0 : 1);
        const int row = order.indexOf(calls.last());
        const MeterRecords &records = window.meterRecords();
        QCOMPARE(records.count(), order.size());
        for (int i = 0; i < records.count(); ++i) {
            QCOMPARE(records.meter(i).device.address().toString(), order[i]);
            QCOMPARE(records.meter(i).pointsNumber,
                i != row       ? QList<int>()
                    : discards ? QList<int>({ 2 })
                               : QList<int>({ 2, 3 }));
        }

        meter->call("OutOfRange", { calls.last(), 0.0 });
        QVERIFY(connectMeter(&window, *meter, row) && !screen);
        ModalAnswer closed(QMessageBox::Ok);
        shown<connectionScreen>()->close();
        QTRY_VERIFY(closed.done());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(window.findChildren<MeterLink *>().size(), 0);
    }

    // The meter goes out of range during a recording with something to lose: the live screen
    // stays, says so and shows no reading, and the link is made again. Back in time, the
    // recording goes on into the same series, paused if it was paused, without a box; never
    // back, what a lost link does then; closed meanwhile, or another meter connected, the
    // attempts end and the unsaved points go. One link is left, or none.
    void reconnection_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<double>("away"); // seconds out of range
        QTest::newRow("back while recording") << "recording" << 1.5;
        QTest::newRow("back while paused") << "paused" << 1.5;
        QTest::newRow("saved during the attempts, then back") << "saved" << 1.5;
        QTest::newRow("forgotten by BlueZ meanwhile") << "forgotten" << 1.5;
        QTest::newRow("the adapter pulled out and plugged in again") << "unplugged" << 2.0;
        QTest::newRow("Bluetooth switched off and on again") << "off" << 2.0;
        QTest::newRow("never back") << "never" << 60.0;
        QTest::newRow("back, but it never notifies") << "silent" << 1.0;
        QTest::newRow("closed during the attempts") << "closed" << 60.0;
        QTest::newRow("another meter connected during the attempts") << "another" << 60.0;
    }

    void reconnection()
    {
        QFETCH(QString, what);
        QFETCH(double, away);
        Reconnect::window = what == "never" ? 2000 : what == "silent" ? 4000 : 10000;
        Search::timeout = 1000;
        writeStore({ StoredMeter{ "Werkbank", first, "M27K53C", {} },
            StoredMeter{ "Labor", second, "M27K53C", {} } });
        meter->call("AddMeter", { QString("M27K53C") });
        std::optional<MainWindow> window(std::in_place);
        window->show();
        connectionScreen *screen = connectMeter(&*window, *meter);
        QVERIFY(screen);
        record(screen, { "dc-volts", "millivolts" });
        if (what == "paused")
            press(screen, "playToolButton");
        const Recording *recorded = window->liveRecording();
        QStringList stamps = recorded->samples().timestamps();
        // The link's report of its loss returns before its controller goes.
        auto *controller = window->findChild<MeterLink *>()->findChild<QLowEnergyController *>();
        bool reportReturned = false;
        connect(controller, &QLowEnergyController::disconnected, this,
            [&, controller = QPointer<QLowEnergyController>(controller)] {
                reportReturned = controller;
            });
        if (what == "unplugged") {
            meter->call("RemoveAdapter");
        } else if (what == "off") {
            meter->call("SetPowered", { false });
        } else {
            meter->call("RefuseNotify", { what == "silent" });
            meter->call("OutOfRange", { first, away });
        }
        if (what == "forgotten")
            meter->call("ForgetDevice", { first });
        auto *saying = child<QLabel>(screen, "linkLostLabel");
        const QLCDNumber *lcd = screen->findChild<QLCDNumber *>();
        QTRY_VERIFY(saying->isVisible());
        QCOMPARE(saying->text(),
            what == "unplugged" || what == "off"
                ? "Bluetooth ist ausgeschaltet oder nicht vorhanden.\nDie Verbindung wird "
                  "wiederhergestellt, sobald es zurück ist …"
                : "Verbindung zum Gerät verloren.\nSie wird wiederhergestellt …");
        QVERIFY(!lcd->isVisible() && !child<QLabel>(screen, "voltLabel")->isVisible()
            && !child<QLabel>(screen, "bluetoothLabel")->isVisible());
        QVERIFY(reportReturned);
        // Bluetooth is back after a while; meanwhile no box comes up, and the screen still
        // says what goes on.
        if (what == "unplugged" || what == "off") {
            QTest::qWait(int(away * 1000));
            QVERIFY(saying->isVisible());
            if (what == "unplugged")
                meter->reset({ { "streaming", false }, { "order", "data-first" } });
            else
                meter->call("SetPowered", { true });
        }
        // Saving works on what was recorded, and pauses as always.
        if (what == "saved") {
            ModalAnswer done(QMessageBox::Ok);
            press(screen, "saveToolButton");
            QCOMPARE(done.box().title, saved);
            QCOMPARE(window->meterRecords().measurement(0, 0).timestamps(), stamps);
        }

        if (what == "never" || what == "silent") {
            ModalAnswer ended({ ModalAnswer::press(QMessageBox::Ok),
                ModalAnswer::press(QMessageBox::Ok) });
            QTRY_VERIFY_WITH_TIMEOUT(ended.done(), 10000);
            QCOMPARE(ended.seen()[0].title, saved);
            QCOMPARE(ended.seen()[1].title, lost);
            QCOMPARE(liveScreens(), 0);
            QCOMPARE(window->meterRecords().meter(0).pointsNumber, QList<int>({ 2 }));
            QCOMPARE(window->meterRecords().measurement(0, 0).timestamps(), stamps);
        } else if (what == "closed") {
            ModalAnswer ended(QMessageBox::Ok);
            screen->close();
            QTRY_VERIFY(ended.done());
            QCOMPARE(ended.box().title, lost);
            QCOMPARE(window->meterRecords().meter(0).pointsNumber, QList<int>());
        } else if (what == "another") {
            const QPointer<connectionScreen> before = screen;
            select(*window, 1, "connectButton");
            QTRY_VERIFY(!meter->strings("NotifyingPaths").isEmpty());
            QCOMPARE(meter->strings("ConnectCalls").constLast(), second);
            QCOMPARE(liveScreens(), 1);
            QVERIFY(!before);
            QCOMPARE(window->meterRecords().meter(0).pointsNumber, QList<int>());
        } else {
            // Back: the display follows the meter again, and a recording goes on where it was,
            // its time stamps showing the gap.
            QTRY_VERIFY_WITH_TIMEOUT(!meter->strings("NotifyingPaths").isEmpty(), 10000);
            QVERIFY(sendFrame(*meter, screen, "ohms"));
            QVERIFY(!saying->isVisible() && lcd->isVisible()
                && child<QLabel>(screen, "bluetoothLabel")->isVisible());
            QCOMPARE(lcd->value(), double(4.7f));
            if (what != "paused" && what != "saved") {
                stamps = recorded->samples().timestamps();
                QCOMPARE(recorded->samples().points,
                    QList<QPointF>({ QPointF(1, double(5.012f)), QPointF(2, double(325.8f)),
                        QPointF(3, double(4.7f)) }));
                QVERIFY(QDateTime::fromString(stamps[1].left(23), "yyyy-MM-dd hh:mm:ss.zzz")
                            .msecsTo(QDateTime::fromString(stamps[2].left(23),
                                "yyyy-MM-dd hh:mm:ss.zzz"))
                    >= 1500);
            }
            QCOMPARE(recorded->size(), stamps.size());
            QCOMPARE(liveScreens(), 1);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCOMPARE(window->findChildren<MeterLink *>().size(), 1);
            QVERIFY(linked(first));
            // The journal kept the whole series: ended as by a kill, the next start keeps it as
            // a measurement and says so, unless it was saved.
            window.reset();
            ModalAnswer recovered(
                QList<ModalAnswer::Reply>(what == "saved" ? 0 : 1, ModalAnswer::press(QMessageBox::Ok)));
            window.emplace();
            window->show();
            QTest::qWait(100);
            QVERIFY(recovered.done());
            QCOMPARE(window->meterRecords().measurement(0, 0).timestamps(), stamps);
            QCOMPARE(window->meterRecords().meter(0).measureNames.size(), 1);
            return;
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(window->findChildren<MeterLink *>().size(), what == "another" ? 1 : 0);
        QCOMPARE(linked(first), false);
    }

    // The user closes the live screen to discard a recording, and a frame arrives before BlueZ
    // reports the link down (as its back end delivers one while the link is closing): the frame
    // reaches no recording, nor the journal, so neither the session's end nor a kill keeps it.
    void aFrameAfterTheClose()
    {
        writeStore({ StoredMeter() });
        std::optional<MainWindow> window(std::in_place);
        window->show();
        connectionScreen *screen = connectMeter(&*window, *meter);
        QVERIFY(screen);
        record(screen, { "dc-volts", "millivolts" });
        QLowEnergyService *data = nullptr;
        for (auto *service : window->findChild<MeterLink *>()->findChildren<QLowEnergyService *>()) {
            if (service->characteristics().value(0).properties() & QLowEnergyCharacteristic::Notify)
                data = service;
        }
        QVERIFY(data);
        const QString ohms = meter->call("CannedFrame", { "ohms" }).arguments().value(0).toString();
        ModalAnswer ended(QMessageBox::Ok);
        QTest::keyClick(screen, Qt::Key_Escape);
        emit data->characteristicChanged(
            data->characteristics().constFirst(), QByteArray::fromHex(ohms.toLatin1()));
        // As a logout or a kill would find it, before the box about the ended link is answered.
        QVERIFY(!window->storeWriter().journal().recording(window->meterRecords().meter(0).device));
        QCOMPARE(window->liveRecording()->size(), 0);
        QTRY_VERIFY(ended.done());
        QCOMPARE(ended.box().title, lost);
        QVERIFY(!window->storeWriter().journal().recording(window->meterRecords().meter(0).device));
        QVERIFY(!window->endSession());
        QCOMPARE(window->meterRecords().meter(0).pointsNumber, QList<int>());
    }
};

KALVION_TEST_MAIN(LinkTest)
#include "tst_link.moc"
