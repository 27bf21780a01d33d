#include "app/mainwindow.h"
#include "link/meterlink.h"
#include "live/connectionscreen.h"
#include "screens/deviceoverviewscreen.h"
#include "support/modalanswer.h"
#include "support/storedmeter.h"
#include "support/testmain.h"
#include "support/virtualmeter.h"
#include "support/widgets.h"

#include <QAbstractButton>
#include <QDeadlineTimer>
#include <QThread>

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
    void init() { meter->reset({ { "streaming", false }, { "order", "data-first" } }); }

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
        if (end.endsWith("drop"))
            meter->call("DropLink");
        QTRY_VERIFY(answers.done());
        for (int k = 0; k < boxes.size(); ++k)
            QCOMPARE(answers.seen()[k].title, boxes[k]);
        QCOMPARE(answers.seen()[boxes.indexOf(lost)].text,
            QString("Die Verbindung zum Gerät wurde getrennt!"));
        QCOMPARE(liveScreens(), 0);
        QVERIFY(meter->strings("NotifyingPaths").isEmpty());
        QCOMPARE(bool(overview), meanwhile.endsWith("open"));
        const MeterRecords &records = window.meterRecords();
        const int row
            = records.find(QBluetoothDeviceInfo(QBluetoothAddress(calls.last()), "M27K53C", 0));
        for (int i = 0; i < records.count(); ++i)
            QCOMPARE(records.meter(i).pointsNumber,
                i != row       ? QList<int>()
                    : discards ? QList<int>({ 2 })
                               : QList<int>({ 2, 3 }));

        QVERIFY(connectMeter(&window, *meter, row) && !screen);
        ModalAnswer closed(QMessageBox::Ok);
        shown<connectionScreen>()->close();
        QTRY_VERIFY(closed.done());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(window.findChildren<MeterLink *>().size(), 0);
    }
};

KALVION_TEST_MAIN(LinkTest)
#include "tst_link.moc"
