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
#include <QListWidget>
#include <QPushButton>
#include <QThread>

// The link to a known meter against the virtual meter: connecting, notifications reaching the
// live screen, series filed under the meter that recorded them, and every way a link ends,
// also while the user does something else on the main window.
class LinkTest : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<VirtualMeter> meter;
    const QString first = "C8:27:53:0C:00:01", second = "C8:27:53:0C:00:02";
    const QString lost = "Keine Verbindung", saved = "Messung erfolreich gespeichert!";
    const QList<ModalAnswer::Reply> twoOks
        = { ModalAnswer::press(QMessageBox::Ok), ModalAnswer::press(QMessageBox::Ok) };

    static void press(QWidget *screen, const char *button)
    {
        child<QAbstractButton>(screen, button)->click();
    }

    static void connectRow(MainWindow &window, int row)
    {
        child<QListWidget>(&window, "deviceList")->setCurrentRow(row);
        press(&window, "connectButton");
    }

    static deviceOverviewScreen *manage(MainWindow &window, int row)
    {
        child<QListWidget>(&window, "deviceList")->setCurrentRow(row);
        press(&window, "editButton");
        return shown<deviceOverviewScreen>();
    }

    static QStringList titles(const ModalAnswer &answers)
    {
        QStringList result;
        for (const ModalAnswer::Seen &seen : answers.seen())
            result.append(seen.title);
        return result;
    }

    // The live screens there are; inView: only those the user sees.
    static int liveScreens(bool inView)
    {
        int n = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            n += qobject_cast<connectionScreen *>(w) && (w->isVisible() || !inView);
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

    void save(connectionScreen *screen)
    {
        ModalAnswer answer(QMessageBox::Ok);
        press(screen, "saveToolButton");
        QCOMPARE(answer.box().title, saved);
    }

    static void closeLive(connectionScreen *screen)
    {
        ModalAnswer answer(QMessageBox::Ok);
        screen->close();
        QTRY_VERIFY(answer.done());
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

    void init()
    {
        writeStore({ StoredMeter() });
        meter->reset({ { "streaming", false } });
    }

    // Connecting needs a meter selected. Notifications go on for the data service, though it
    // is not the service created last here. Each save hands over everything since the last
    // cancel; an unreadable point is kept as 0.
    void savedSeriesBecomeMeasurements()
    {
        meter->reset({ { "streaming", false }, { "order", "data-first" } });
        MainWindow window;
        window.show();
        {
            ModalAnswer warning(QMessageBox::Ok);
            press(&window, "connectButton");
            QCOMPARE(warning.box().title, QString("Kein Gerät ausgewählt"));
            QCOMPARE(warning.box().text,
                QString("Bitte wählen Sie erst ein Gerät aus, mit dem "
                        "Sie verbinden wollen!"));
            QVERIFY(meter->strings("ConnectCalls").isEmpty());
        }
        connectionScreen *screen = connectMeter(&window, *meter);
        QVERIFY(screen && screen->isModal());
        const QVariant data = meter->call("DataCharacteristic", { QString() }).arguments().value(0);
        QCOMPARE(meter->strings("NotifyingPaths"), QStringList({ data.toString() }));
        record(screen, { "dc-volts", "millivolts", "overload", "negative" });
        const QString firstTime = screen->timestampList.first();
        save(screen);
        record(screen, { "ohms", "celsius", "battery" });
        save(screen);
        press(screen, "cancelToolButton");

        const Meter &m = window.meterRecords().meter(0);
        QCOMPARE(m.pointsNumber, QList<int>({ 4, 7 }));
        QCOMPARE(m.measureNames, QStringList({ firstTime, firstTime }));
        QCOMPARE(m.points.mid(4, 4), m.points.mid(0, 4));
        QCOMPARE(m.points[2], QPointF(3, 0));
        QCOMPARE(m.units[2], QString("M Ohm ?"));
        QCOMPARE(m.savedSeries[1]->count(), 7);
        closeLive(screen);
    }

    // However the link ends, the user is told once, the live screen goes for good and the main
    // window answers again; only a lost link saves what was recorded since the last save. The
    // next link is a new one, and nothing of the one before is left.
    void endingALink_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("savedBefore");
        QTest::addColumn<QStringList>("boxes");
        QTest::addColumn<QList<int>>("stored");
        QTest::newRow("frame closed") << "frame" << false << QStringList{ lost } << QList<int>{};
        QTest::newRow("Escape") << "escape" << false << QStringList{ lost } << QList<int>{};
        QTest::newRow("meter gone")
            << "drop" << false << QStringList{ saved, lost } << QList<int>{ 3 };
        QTest::newRow("meter gone after a save")
            << "drop" << true << QStringList{ lost } << QList<int>{ 3 };
        QTest::newRow("meter gone behind the saved box")
            << "behind" << false << QStringList{ lost, saved } << QList<int>{ 3 };
    }

    void endingALink()
    {
        QFETCH(QString, how);
        QFETCH(bool, savedBefore);
        QFETCH(QStringList, boxes);
        QFETCH(QList<int>, stored);
        MainWindow window;
        window.show();
        connectionScreen *screen = connectMeter(&window, *meter);
        QVERIFY(screen);
        record(screen, { "dc-volts", "millivolts", "ac-hertz" });
        if (savedBefore)
            save(screen);

        ModalAnswer answers(twoOks);
        if (how == "frame")
            screen->close();
        else if (how == "escape")
            QTest::keyClick(screen, Qt::Key_Escape);
        else if (how == "drop")
            meter->call("DropLink");
        else
            saveWithTheLinkLostBehindTheBox(screen, answers);
        QTRY_COMPARE(titles(answers), boxes);
        const ModalAnswer::Seen &loss = answers.seen()[boxes.indexOf(lost)];
        QCOMPARE(loss.text, QString("Die Verbindung zum Gerät wurde getrennt!"));
        QCOMPARE(loss.icon, QMessageBox::Warning);
        QVERIFY(!screen->isVisible());
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(meter->strings("NotifyingPaths").isEmpty());
        QCOMPARE(window.meterRecords().meter(0).pointsNumber, stored);

        connectionScreen *next = connectMeter(&window, *meter);
        QVERIFY(next && next != screen);
        QVERIFY(sendFrame(*meter, next, "celsius"));
        closeLive(next);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(window.findChildren<MeterLink *>().size(), 0);
        QCOMPARE(window.findChildren<QLowEnergyService *>().size(), 0);
        QCOMPARE(liveScreens(false), 1);
    }

    // While a link is being made (or its forgotten meter searched for) the main window is
    // free. Whatever the user does there, one link comes up, to the meter it was made for, and
    // what it records goes there: the series saved and the one a lost link saves. Connecting
    // the same meter again lets the attempt go on; another meter, or deleting the linked one,
    // abandons it.
    void meanwhileOnTheMainWindow_data()
    {
        QTest::addColumn<QString>("meanwhile");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("another meter opened") << "open" << QStringList{ first };
        QTest::newRow("another meter relabelled") << "relabel" << QStringList{ first };
        QTest::newRow("the meter below deleted") << "delete below" << QStringList{ first };
        QTest::newRow("another opened while searching") << "search, open" << QStringList{ first };
        QTest::newRow("the same meter again") << "again" << QStringList{ first };
        QTest::newRow("another double-clicked") << "double-click" << QStringList{ first, second };
        QTest::newRow("the linked meter deleted")
            << "delete linked" << QStringList{ first, second };
        QTest::newRow("another while searching") << "search, connect" << QStringList{ second };
    }

    void meanwhileOnTheMainWindow()
    {
        QFETCH(QString, meanwhile);
        QFETCH(QStringList, calls);
        writeStore({ StoredMeter{ "Werkbank", first, "M27K53C", {} },
            StoredMeter{ "Labor", second, "M27K53C", {} } });
        meter->call("AddMeter", { QString("M27K53C") });
        const bool searching = meanwhile.startsWith("search");
        meter->call(searching ? "ForgetDevice" : "HoldLinks",
            { searching ? QVariant(first) : QVariant(true) });
        QTest::qWait(100);
        MainWindow window;
        window.show();
        connectRow(window, 0);

        QPointer<deviceOverviewScreen> overview;
        auto *list = child<QListWidget>(&window, "deviceList");
        if (meanwhile == "again" || meanwhile == "search, connect") {
            connectRow(window, meanwhile == "again" ? 0 : 1);
        } else if (meanwhile == "double-click") {
            const QPoint centre = list->visualItemRect(list->item(1)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
        } else {
            overview = manage(window, meanwhile == "delete linked" ? 0 : 1);
            ModalAnswer answer({ meanwhile == "relabel" ? ModalAnswer::enter("Neu")
                                                        : ModalAnswer::press(QMessageBox::Yes) });
            if (meanwhile == "relabel")
                press(overview, "renameButton");
            else if (meanwhile.startsWith("delete"))
                press(overview, "deleteButton");
            if (meanwhile == "delete linked") {
                QTRY_VERIFY(!linked(first));
                connectRow(window, 0);
            }
        }

        meter->call("HoldLinks", { false });
        QTRY_VERIFY(!meter->strings("NotifyingPaths").isEmpty());
        connectionScreen *screen = shown<connectionScreen>();
        QVERIFY(screen);
        record(screen, { "dc-volts", "millivolts" });
        save(screen);
        record(screen, { "ohms" });
        if (meanwhile == "search, connect")
            QTest::qWait(500); // the abandoned search would have seen its meter by now
        QCOMPARE(meter->strings("ConnectCalls"), calls);
        QCOMPARE(linked(first), calls.last() == first);
        QCOMPARE(linked(second), calls.last() == second);
        QCOMPARE(liveScreens(true), 1);

        ModalAnswer answers(twoOks);
        meter->call("DropLink");
        QTRY_COMPARE(titles(answers), QStringList({ saved, lost }));
        QCOMPARE(liveScreens(true), 0);
        const MeterRecords &records = window.meterRecords();
        for (int i = 0; i < records.count(); ++i) {
            const bool linkedMeter = records.meter(i).device.address().toString() == calls.last();
            QCOMPARE(
                records.meter(i).pointsNumber, linkedMeter ? QList<int>({ 2, 3 }) : QList<int>());
        }
        QCOMPARE(bool(overview), meanwhile.endsWith("open"));
    }
};

KALVION_TEST_MAIN(LinkTest)
#include "tst_link.moc"
