#include "app/mainwindow.h"
#include "store/store.h"
#include "screens/deviceoverviewscreen.h"
#include "screens/measureoverview.h"
#include "support/files.h"
#include "support/modalanswer.h"
#include "support/storedmeter.h"
#include "support/testmain.h"
#include "support/widgets.h"

#include <QChartView>
#include <QDir>
#include <QLabel>
#include <QLineSeries>
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
    // Unreadable digits, numbers of every size, and settings that change and come back.
    const StoredSeries b{ "b-1", { { 1, 0 }, { 2, 2500000 }, { 3, -1.0 / 3 }, { 4, 0.00001 } },
        { "b-1", "b-2", "b-3", "b-4" }, { "m A ?", "A ", "k Ω ", "V " },
        { "AC AUTO ", "AC ", "AC AUTO ", "AC AUTO " } };

    static StoredMeter stored(int n, const QString &label, const QList<StoredSeries> &series)
    {
        return { label, QString("C8:27:53:0C:00:0%1").arg(n), "M27K53C", series };
    }

    static void verify(const MeterRecords &records, int i, int k, const StoredSeries &expected)
    {
        const Measurement m = records.measurement(i, k);
        QStringList units, settings;
        for (int j = 0; j < m.size(); ++j) {
            units.append(m.unit(j));
            settings.append(m.settings(j));
        }
        QCOMPARE(QList<QStringList>({ { m.name }, m.timestamps(), units, settings }),
            QList<QStringList>(
                { { expected.name }, expected.timestamps, expected.units, expected.settings }));
        QCOMPARE(m.points(), expected.points);
    }

    static QStringList storedLabels()
    {
        UserStore s;
        QStringList labels;
        for (int i = 1; i <= s.value("deviceList/size").toInt(); ++i)
            labels.append(s.value(QString("deviceList/%1/buttonName").arg(i)).toString());
        return labels;
    }

    static void press(QWidget *screen, const char *button)
    {
        child<QPushButton>(screen, button)->click();
    }

private slots:
    // Editing and connecting need a meter selected. One meter's second measurement is viewed
    // from its first point on and exported, its first deleted and the other renamed.
    void measurementsAreViewedExportedAndManaged()
    {
        writeStore({ stored(1, "Erster", { a }), stored(2, "Zweiter", { a, b }) });
        MainWindow window;
        window.show();
        ModalAnswer warnings(QList<ModalAnswer::Reply>(2, ModalAnswer::press(QMessageBox::Ok)));
        press(&window, "editButton");
        press(&window, "connectButton");
        QCOMPARE(warnings.box().title + ": " + warnings.box().text + warnings.seen().value(1).text,
            "Kein Gerät ausgewählt: Bitte wählen Sie erst ein Gerät aus, das Sie verwalten "
            "möchten!Bitte wählen Sie erst ein Gerät aus, mit dem Sie verbinden wollen!");
        child<QListWidget>(&window, "deviceList")->setCurrentRow(1);
        press(&window, "editButton");
        deviceOverviewScreen *screen = shown<deviceOverviewScreen>();
        auto *list = child<QListWidget>(screen, "measureList");
        QCOMPARE(entries(list), QStringList({ "a-1", "b-1" }));
        list->setCurrentRow(1);
        press(screen, "openMeasureButton");
        measureOverview *viewer = shown<measureOverview>();
        QStringList facts;
        for (const char *name : { "addressForm", "timeForm", "settingsForm", "unitForm" })
            facts.append(child<QLabel>(viewer, name)->text());
        QCOMPARE(facts, QStringList({ "C8:27:53:0C:00:02", "b-1", "AC AUTO ", "m A " }));
        auto *view = child<QWidget>(viewer, "graph")->findChild<QChartView *>();
        QCOMPARE(qobject_cast<QLineSeries *>(view->chart()->series().value(0))->points(), b.points);

        const QString path = dir.filePath("b.csv");
        ModalAnswer written({ ModalAnswer::enter(path), ModalAnswer::press(QMessageBox::Ok) });
        press(viewer, "csvButton");
        QVERIFY(written.done());
        const ModalAnswer::Seen &file = written.seen()[0];
        QCOMPARE(QStringList(
                     { file.title, file.value, file.filters.join(';'), written.seen()[1].title }),
            QStringList({ "CSV-Datei speichern", QDir::current().absoluteFilePath("test.csv"),
                "*.csv", "CSV-Datei erstellt" }));
        QCOMPARE(fileBytes(path),
            QByteArray("Messungb-1\nGerät:C8:27:53:0C:00:02\n\nEinstellungen:AC AUTO ,b-1\n"
                       "Einstellungen:AC ,b-2\nEinstellungen:AC AUTO ,b-3\n\n"
                       "Messwert,Einheit,Zeit\n0.L,m A ,b-1\n2.5e+06,A ,b-2\n"
                       "-0.333333,k Ω ,b-3\n1e-05,V ,b-4\n"));

        // Cancelled, or a place that cannot be written: a warning, and no confirmation. The
        // spare reply would answer one, if it came.
        const QString unreachable = "no such folder/x.csv";
        for (const ModalAnswer::Reply &choice :
            { ModalAnswer::dismiss(), ModalAnswer::enter(unreachable) }) {
            ModalAnswer failed({ choice, ModalAnswer::press(QMessageBox::Ok),
                ModalAnswer::press(QMessageBox::Ok) });
            press(viewer, "csvButton");
            QCOMPARE(failed.seen().size(), 2);
            QCOMPARE(failed.seen()[1].title, QString("Fehler beim Erstellen der Datei"));
            QCOMPARE(failed.seen()[1].text,
                choice.value.isEmpty() ? QString("Bitte Filenamen wählen!")
                                       : "Die Datei konnte nicht geschrieben werden:\n"
                        + QDir::current().absoluteFilePath(unreachable)
                        + "\n\nBitte wählen Sie einen anderen Ort.");
        }
        press(viewer, "backButton");
        QVERIFY(!viewer->isVisible() && screen->isVisible());

        list->setCurrentRow(0);
        ModalAnswer yes(QMessageBox::Yes);
        press(screen, "deleteMeasureButton");
        const MeterRecords &records = window.meterRecords();
        verify(records, 1, 0, b);
        verify(records, 0, 0, a);
        QTRY_COMPARE(UserStore().value("deviceList/2/pointsNumber/size").toInt(), 1);
        list->setCurrentRow(0);
        ModalAnswer name({ ModalAnswer::enter("Akku") });
        press(screen, "measureRenameButton");
        QCOMPARE(records.meter(1).measureNames, QStringList({ "Akku" }));
        QTRY_COMPARE(
            UserStore().value("deviceList/2/pointsNumber/1/measureNames").toString(), "Akku");
    }

    // Only Yes deletes a meter and only a typed label renames it. Then the screen goes, the list
    // shows the change at once, and the meters after a deleted one move a row up.
    void meterDeletedOrRelabelled_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<ModalAnswer::Reply>("reply");
        QTest::addColumn<QStringList>("labels");
        const QStringList all = { "Eins", "Zwei", "Drei" };
        const QString remove = "deleteButton", rename = "renameButton";
        QTest::newRow("delete: No") << remove << ModalAnswer::press(QMessageBox::No) << all;
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
        child<QListWidget>(&window, "deviceList")->setCurrentRow(0);
        press(&window, "editButton");
        QPointer<deviceOverviewScreen> screen = shown<deviceOverviewScreen>();

        ModalAnswer answer({ reply });
        press(screen, qPrintable(button));
        const bool deleting = button == "deleteButton";
        QCOMPARE(answer.box().title + answer.box().text,
            deleting ? "KalvionWollen Sie das Gerät wirklich löschen?\n"
                     : "Gerät umbenennenNeuer Gerätename:");
        QCOMPARE(answer.box().defaultButton, deleting ? QMessageBox::Yes : QMessageBox::NoButton);
        QCOMPARE(entries(child<QListWidget>(&window, "deviceList")), labels);
        QTRY_COMPARE(storedLabels(), labels);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(bool(screen), labels.first() == "Eins");

        QCOMPARE(window.meterRecords().meter(labels.indexOf("Zwei")).measureNames,
            QStringList({ "b-1", "a-1" }));
    }
};

KALVION_TEST_MAIN(ManagementTest)
#include "tst_management.moc"
