#include "app/mainwindow.h"
#include "screens/deviceoverviewscreen.h"
#include "screens/measureoverview.h"
#include "support/modalanswer.h"
#include "support/storedmeter.h"
#include "support/testmain.h"
#include "support/widgets.h"

#include <QChartView>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>

// Managing meters and measurements from the main window: what the management screen and the
// viewer it opens change in the records, what the viewer shows, and the CSV export from it.
class ManagementTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    const StoredSeries a{ "a-1", { { 1, 1 }, { 2, 2 }, { 3, 3 } }, { "a-1", "a-2", "a-3" },
        { "V ", "V ", "V " }, { "DC ", "DC ", "DC " } };
    const StoredSeries b{ "b-1", { { 1, 0 }, { 2, 20 } }, { "b-1", "b-2" }, { "m A ?", "A " },
        { "AC AUTO ", "AC " } };

    static StoredMeter stored(int n, const QString &label, const QList<StoredSeries> &series)
    {
        return { label, QString("C8:27:53:0C:00:%1").arg(n, 2, 10, QChar('0')), "M27K53C", series };
    }

    static void verify(const MeterRecords &records, int i, int k, const StoredSeries &expected)
    {
        const Measurement m = records.measurement(i, k);
        QCOMPARE(m.name, expected.name);
        QCOMPARE(m.points, expected.points);
        QCOMPARE(m.series->points(), expected.points);
        QCOMPARE(QList<QStringList>({ m.timestamps, m.units, m.settingTexts }),
            QList<QStringList>({ expected.timestamps, expected.units, expected.settings }));
    }

    static void press(QWidget *screen, const char *button)
    {
        child<QPushButton>(screen, button)->click();
    }

    static deviceOverviewScreen *edit(MainWindow &window, int row)
    {
        child<QListWidget>(&window, "deviceList")->setCurrentRow(row);
        press(&window, "editButton");
        return shown<deviceOverviewScreen>();
    }

    static measureOverview *open(deviceOverviewScreen *screen, int row)
    {
        child<QListWidget>(screen, "measureList")->setCurrentRow(row);
        press(screen, "openMeasureButton");
        return shown<measureOverview>();
    }

private slots:
    // Editing needs a meter selected. Then one meter's measurements: one is deleted, one
    // renamed, and the viewer shows what is left from its first point on, without taking the
    // stored series over.
    void measurementsAreManagedAndViewed()
    {
        writeStore({ stored(1, "Erster", { a }), stored(2, "Zweiter", { a, b }) });
        MainWindow window;
        window.show();
        {
            ModalAnswer warning(QMessageBox::Ok);
            press(&window, "editButton");
            QCOMPARE(warning.box().title, QString("Kein Gerät ausgewählt"));
            QCOMPARE(warning.box().text,
                QString("Bitte wählen Sie erst ein Gerät aus, das Sie verwalten möchten!"));
        }
        deviceOverviewScreen *screen = edit(window, 1);
        QVERIFY(screen && screen->isModal());
        auto *list = child<QListWidget>(screen, "measureList");
        QCOMPARE(entries(list), QStringList({ "a-1", "b-1" }));

        list->setCurrentRow(0);
        ModalAnswer yes(QMessageBox::Yes);
        press(screen, "deleteMeasureButton");
        const MeterRecords &records = window.meterRecords();
        QCOMPARE(records.meter(1).pointsNumber, QList<int>({ 2 }));
        verify(records, 1, 0, b);
        verify(records, 0, 0, a);

        list->setCurrentRow(0);
        ModalAnswer name({ ModalAnswer::enter("Akku") });
        press(screen, "measureRenameButton");
        QCOMPARE(records.meter(1).measureNames, QStringList({ "Akku" }));

        measureOverview *viewer = open(screen, 0);
        QVERIFY(viewer && viewer->isModal());
        QStringList facts;
        for (const char *name : { "addressForm", "timeForm", "settingsForm", "unitForm" })
            facts.append(child<QLabel>(viewer, name)->text());
        QCOMPARE(facts, QStringList({ "C8:27:53:0C:00:02", "b-1", "AC AUTO ", "m A " }));
        auto *view = child<QWidget>(viewer, "graph")->findChild<QChartView *>();
        auto *drawn = qobject_cast<QLineSeries *>(view->chart()->series().value(0));
        QCOMPARE(drawn->points(), b.points);
        press(viewer, "backButton");
        QVERIFY(!viewer->isVisible() && screen->isVisible());
    }

    // Deleting or relabelling a meter from its management screen: only Yes deletes and only a
    // typed label renames. Then the screen goes, the list shows the change at once, and every
    // meter keeps its identity and measurements, those after a deleted one a row up.
    void meterDeletedOrRelabelled_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<ModalAnswer::Reply>("reply");
        QTest::addColumn<QStringList>("labels");
        const QStringList all = { "Eins", "Zwei", "Drei" };
        const QString remove = "deleteButton", rename = "renameButton";
        QTest::newRow("delete: No") << remove << ModalAnswer::press(QMessageBox::No) << all;
        QTest::newRow("delete: Cancel") << remove << ModalAnswer::press(QMessageBox::Cancel) << all;
        QTest::newRow("delete: dismissed") << remove << ModalAnswer::dismiss() << all;
        QTest::newRow("delete: Yes")
            << remove << ModalAnswer::press(QMessageBox::Yes) << QStringList{ "Zwei", "Drei" };
        QTest::newRow("relabel: cancelled") << rename << ModalAnswer::dismiss() << all;
        QTest::newRow("relabel: empty") << rename << ModalAnswer::enter("") << all;
        QTest::newRow("relabel") << rename << ModalAnswer::enter(" Zwei ")
                                 << QStringList{ " Zwei ", "Zwei", "Drei" };
    }

    void meterDeletedOrRelabelled()
    {
        QFETCH(QString, button);
        QFETCH(ModalAnswer::Reply, reply);
        QFETCH(QStringList, labels);
        writeStore(
            { stored(1, "Eins", { a }), stored(2, "Zwei", { b, a }), stored(3, "Drei", { a }) });
        MainWindow window;
        window.show();
        QPointer<deviceOverviewScreen> screen = edit(window, 0);

        ModalAnswer answer({ reply });
        press(screen, qPrintable(button));
        const bool deleting = button == "deleteButton";
        QCOMPARE(answer.box().title, deleting ? "Kalvion" : "Gerät umbenennen");
        QCOMPARE(answer.box().text,
            deleting ? "Wollen Sie das Gerät wirklich löschen?\n" : "Neuer Gerätename:");
        if (deleting) {
            QCOMPARE(
                answer.box().buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            QCOMPARE(answer.box().defaultButton, QMessageBox::Yes);
        }
        QCOMPARE(entries(child<QListWidget>(&window, "deviceList")), labels);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(bool(screen), labels.first() == "Eins");

        const MeterRecords &records = window.meterRecords();
        const int zwei = labels.indexOf("Zwei");
        QCOMPARE(records.find(
                     QBluetoothDeviceInfo(QBluetoothAddress("C8:27:53:0C:00:02"), "M27K53C", 0)),
            zwei);
        verify(records, zwei, 0, b);
        verify(records, zwei, 1, a);
        verify(records, zwei + 1, 0, a);
    }

    // The export from the viewer: the file dialog, the file, and a confirmation only for a
    // file that was written.
    void exportFromTheViewer()
    {
        writeStore({ stored(4, "Werkbank", { a, b }) }, { false, false, 1 });
        MainWindow window;
        window.show();
        measureOverview *viewer = open(edit(window, 0), 1);
        const QString path = dir.filePath("second.csv");
        ModalAnswer written({ ModalAnswer::enter(path), ModalAnswer::press(QMessageBox::Ok) });
        press(viewer, "csvButton");
        QVERIFY(written.done());
        const ModalAnswer::Seen &file = written.seen()[0];
        QCOMPARE(file.title, QString("Save CSV file"));
        QCOMPARE(file.value, QDir::current().absoluteFilePath("test.csv"));
        QCOMPARE(file.filters, QStringList({ "*.csv" }));
        QCOMPARE(written.seen()[1].title, QString("CSV file created"));
        QFile csv(path);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        QCOMPARE(csv.readAll(),
            QByteArray("Measurementb-1\nDevice:C8:27:53:0C:00:04\n\n"
                       "Settings:AC AUTO ,b-1\nSettings:AC ,b-2\n\n"
                       "Data,Unit,Time\n0.L,m A ,b-1\n20,A ,b-2\n"));

        // Cancelled, or a place that cannot be written: a warning, and no confirmation. The
        // spare reply would answer one, if it came.
        const QString unreachable = dir.filePath("no such folder/x.csv");
        for (const ModalAnswer::Reply &choice :
            { ModalAnswer::dismiss(), ModalAnswer::enter(unreachable) }) {
            ModalAnswer failed({ choice, ModalAnswer::press(QMessageBox::Ok),
                ModalAnswer::press(QMessageBox::Ok) });
            press(viewer, "csvButton");
            QCOMPARE(failed.seen().size(), 2);
            QCOMPARE(failed.seen()[1].icon, QMessageBox::Warning);
            QCOMPARE(failed.seen()[1].title, QString("File creation Error"));
            const QString text = failed.seen()[1].text;
            if (choice.kind == ModalAnswer::Reply::Dismiss)
                QCOMPARE(text, QString("Please choose a file name!"));
            else
                QVERIFY2(text.startsWith("The file could not be written:\n/")
                        && text.endsWith("x.csv\n\nPlease choose another place."),
                    qPrintable(text));
        }
        QVERIFY(!QFile::exists(unreachable));
    }
};

KALVION_TEST_MAIN(ManagementTest)
#include "tst_management.moc"
