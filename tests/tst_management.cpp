#include "app/mainwindow.h"
#include "app/meterrecords.h"
#include "app/store.h"
#include "screens/deviceoverviewscreen.h"
#include "screens/measureoverview.h"
#include "support/modalanswer.h"
#include "support/testmain.h"
#include "support/widgets.h"

#include <QChart>
#include <QChartView>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QTemporaryDir>

// Managing meters and measurements from the main window: the management screen and the viewer
// it opens, the changes they make to the records, the CSV export, and what a confirmed close
// keeps of it all.
class ManagementTest : public QObject
{
    Q_OBJECT

private:
    // One measurement as the live screen would hand it over.
    struct Series {
        QList<QPointF> points;
        QStringList timestamps, units, settings;
    };

    QTemporaryDir dir;

    static QBluetoothDeviceInfo meterInfo(int n)
    {
        return QBluetoothDeviceInfo(
                QBluetoothAddress(QString("C8:27:53:0C:00:%1").arg(n, 2, 10, QChar('0'))),
                "M27K53C", 0);
    }

    static Series series(const QString &stem, const QList<double> &values,
                         const QStringList &units, const QStringList &settings)
    {
        Series s;
        for (int j = 0; j < values.size(); ++j) {
            s.points.append(QPointF(j + 1, values[j]));
            s.timestamps.append(QString("%1-%2").arg(stem).arg(j + 1));
        }
        s.units = units;
        s.settings = settings;
        return s;
    }

    // The measurements of the 3-and-2 meter used throughout.
    static Series first()
    {
        return series("a", {1, 2, 3}, {"V ", "V ", "V "}, {"DC ", "DC ", "DC "});
    }
    static Series second()
    {
        return series("b", {0, 20}, {"m A ?", "A "}, {"AC AUTO ", "AC "});
    }

    static void addMeter(MainWindow &window, int n, const QString &label,
                         const QList<Series> &measurements = {})
    {
        window.records->addMeter(Meter(meterInfo(n)), label, window.darkMode);
        const int i = window.records->count() - 1;
        for (const Series &s : measurements)
            window.records->addMeasurement(i, s.timestamps.value(0, "leer"), s.points,
                                           s.timestamps, s.units, s.settings);
    }

    static void verifyMeasurement(const MeterRecords &records, int i, int k, const QString &name,
                                  const Series &expected)
    {
        const Meter &m = records.meter(i);
        const int s = records.offset(i, k);
        const int n = int(expected.points.size());
        QCOMPARE(m.measureNames[k], name);
        QCOMPARE(m.pointsNumber[k], n);
        QCOMPARE(m.points.mid(s, n), expected.points);
        QCOMPARE(m.timestamps.mid(s, n), expected.timestamps);
        QCOMPARE(m.units.mid(s, n), expected.units);
        QCOMPARE(m.settingTexts.mid(s, n), expected.settings);
        QCOMPARE(m.savedSeries[size_t(k)]->points(), expected.points);
    }

    static QListWidget *deviceList(MainWindow &window)
    {
        return child<QListWidget>(&window, "deviceList");
    }

    // Selects a meter and presses the edit button.
    static deviceOverviewScreen *edit(MainWindow &window, int row)
    {
        deviceList(window)->setCurrentRow(row);
        child<QPushButton>(&window, "editButton")->click();
        return shown<deviceOverviewScreen>();
    }

    static void press(QWidget *screen, const char *button)
    {
        child<QPushButton>(screen, button)->click();
    }

    static measureOverview *open(deviceOverviewScreen *screen, int row)
    {
        child<QListWidget>(screen, "measureList")->setCurrentRow(row);
        press(screen, "openMeasureButton");
        return shown<measureOverview>();
    }

    static QLineSeries *drawn(measureOverview *viewer)
    {
        auto *view = child<QWidget>(viewer, "graph")->findChild<QChartView *>();
        return view ? qobject_cast<QLineSeries *>(view->chart()->series().value(0)) : nullptr;
    }

    static QStringList facts(measureOverview *viewer)
    {
        QStringList result;
        for (const char *name : {"addressForm", "timeForm", "settingsForm", "unitForm"})
            result.append(child<QLabel>(viewer, name)->text());
        return result;
    }

    static QByteArray fileBytes(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(no file)");
    }

    static void clearStore()
    {
        QSettings settings("Orvu", "Kalvion");
        settings.clear();
        settings.sync();
    }

private slots:
    void init() { clearStore(); }

    void editWithoutSelectionWarns_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::newRow("German") << 0 << "Kein Gerät ausgewählt"
                                << "Bitte wählen Sie erst ein Gerät aus, das Sie verwalten "
                                   "möchten!";
        QTest::newRow("English") << 1 << "No device selected"
                                 << "Please choose a device which you want to edit!";
    }

    void editWithoutSelectionWarns()
    {
        QFETCH(int, language);
        QFETCH(QString, title);
        QFETCH(QString, text);
        MainWindow window;
        window.translateText(language);
        addMeter(window, 1, "Werkbank");
        window.show();
        QVERIFY(!deviceList(window)->currentItem());

        ModalAnswer answer(QMessageBox::Ok);
        press(&window, "editButton");
        QCOMPARE(answer.box().icon, QMessageBox::Warning);
        QCOMPARE(answer.box().title, title);
        QCOMPARE(answer.box().text, text);
        QCOMPARE(answer.box().buttons, QMessageBox::Ok);
        QVERIFY(!shown<deviceOverviewScreen>());
    }

    // The whole way through one meter's measurements: the screen lists them, one is deleted,
    // one renamed, and the viewer shows what is left, twice, without taking it over.
    void measurementsAreManagedAndViewed()
    {
        MainWindow window;
        window.reverseDarkMode(true);
        addMeter(window, 1, "Erster");
        addMeter(window, 2, "Zweiter", {first(), second()});
        window.show();

        deviceOverviewScreen *screen = edit(window, 1);
        QVERIFY(screen);
        QVERIFY(screen->isModal());
        QVERIFY(screen->isDarkMode);
        QCOMPARE(child<QLabel>(screen, "nameForm")->text(), QString("Zweiter"));
        auto *list = child<QListWidget>(screen, "measureList");
        QCOMPARE(entries(list), QStringList({"a-1", "b-1"}));
        QCOMPARE(list->item(1)->background().color(), QColor("#555555"));
        QCOMPARE(screen->styleSheet(), QString("background-color: #202020"));

        list->setCurrentRow(0);
        ModalAnswer yes(QMessageBox::Yes);
        press(screen, "deleteMeasureButton");
        QVERIFY(yes.done());
        const MeterRecords &records = window.meterRecords();
        QCOMPARE(records.meter(1).pointsNumber, QList<int>({2}));
        QCOMPARE(records.meter(1).points.size(), 2);
        verifyMeasurement(records, 1, 0, "b-1", second());
        QCOMPARE(records.meter(0).pointsNumber.size(), 0);
        QCOMPARE(entries(list), QStringList({"b-1"}));

        list->setCurrentRow(0);
        ModalAnswer name({ModalAnswer::enter("Akku")});
        press(screen, "measureRenameButton");
        QCOMPARE(records.meter(1).measureNames, QStringList({"Akku"}));

        const QLineSeries *stored = records.meter(1).savedSeries[0].get();
        for (int opening = 0; opening < 2; ++opening) {
            measureOverview *viewer = open(screen, 0);
            QVERIFY(viewer);
            QVERIFY(viewer->isModal());
            QVERIFY(viewer->isDarkMode);
            QCOMPARE(viewer->styleSheet(), QString("background-color: #202020"));
            // The first point's facts, though the second point has other ones.
            QCOMPARE(facts(viewer),
                     QStringList({"C8:27:53:0C:00:02", "b-1", "AC AUTO ", "m A "}));
            QCOMPARE(drawn(viewer)->points(), second().points);
            QVERIFY(drawn(viewer) != stored);
            press(viewer, "backButton");
            QVERIFY(!viewer->isVisible());
            QVERIFY(screen->isVisible());
        }
        // The next opening replaced the first viewer; the stored series outlived both charts.
        QCOMPARE(records.meter(1).savedSeries[0].get(), stored);
        QCOMPARE(stored->points(), second().points);

        // Back on the management screen, everything still answers.
        list->setCurrentRow(0);
        ModalAnswer gone(QMessageBox::Yes);
        press(screen, "deleteMeasureButton");
        QCOMPARE(records.meter(1).pointsNumber.size(), 0);
        QCOMPARE(records.meter(1).points.size(), 0);
        QCOMPARE(list->count(), 0);
    }

    // Double-clicking an entry is the same as selecting it and pressing open.
    void doubleClickOpensTheViewer()
    {
        MainWindow window;
        addMeter(window, 3, "Werkbank", {first(), second()});
        window.show();
        deviceOverviewScreen *screen = edit(window, 0);
        auto *list = child<QListWidget>(screen, "measureList");
        const QPoint entry = list->visualItemRect(list->item(1)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, entry);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, entry);
        measureOverview *viewer = shown<measureOverview>();
        QVERIFY(viewer);
        QVERIFY(!viewer->isDarkMode);
        QCOMPARE(viewer->styleSheet(), QString("background-color: white"));
        QCOMPARE(facts(viewer), QStringList({"C8:27:53:0C:00:03", "b-1", "AC AUTO ", "m A "}));
        QCOMPARE(drawn(viewer)->points(), second().points);
        QCOMPARE(window.currentMeasure, 1);
    }

    void meterDeletionAsksFirst_data()
    {
        QTest::addColumn<ModalAnswer::Reply>("reply");
        QTest::newRow("No") << ModalAnswer::press(QMessageBox::No);
        QTest::newRow("Cancel") << ModalAnswer::press(QMessageBox::Cancel);
        QTest::newRow("dismissed") << ModalAnswer::dismiss();
    }

    void meterDeletionAsksFirst()
    {
        QFETCH(ModalAnswer::Reply, reply);
        MainWindow window;
        window.translateText(1);
        addMeter(window, 1, "A", {first()});
        addMeter(window, 2, "B");
        window.show();
        deviceOverviewScreen *screen = edit(window, 0);

        ModalAnswer answer({reply});
        press(screen, "deleteButton");
        QCOMPARE(answer.box().icon, QMessageBox::Question);
        QCOMPARE(answer.box().title, QString("Kalvion"));
        QCOMPARE(answer.box().text, QString("Do you really want to delete the device?\n"));
        QCOMPARE(answer.box().buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(answer.box().defaultButton, QMessageBox::Yes);
        QCOMPARE(entries(deviceList(window)), QStringList({"A", "B"}));
        QCOMPARE(window.meterRecords().count(), 2);
        verifyMeasurement(window.meterRecords(), 0, 0, "a-1", first());
        QTest::qWait(0);
        QCOMPARE(shown<deviceOverviewScreen>(), screen);
    }

    // Deleting meter 0 of three moves the other two up, in the list and in every record.
    void deletedMeterLeavesTheOthersWhole()
    {
        MainWindow window;
        addMeter(window, 1, "Eins", {first()});
        addMeter(window, 2, "Zwei", {second(), first()});
        addMeter(window, 3, "Drei", {first()});
        window.show();
        QPointer<deviceOverviewScreen> screen = edit(window, 0);

        ModalAnswer yes(QMessageBox::Yes);
        press(screen, "deleteButton");
        QCOMPARE(yes.box().text, QString("Wollen Sie das Gerät wirklich löschen?\n"));
        QTRY_VERIFY(screen.isNull());

        const MeterRecords &records = window.meterRecords();
        QCOMPARE(entries(deviceList(window)), QStringList({"Zwei", "Drei"}));
        QCOMPARE(records.count(), 2);
        QCOMPARE(records.meter(0).device.address(), meterInfo(2).address());
        QCOMPARE(records.meter(1).device.address(), meterInfo(3).address());
        verifyMeasurement(records, 0, 0, "b-1", second());
        verifyMeasurement(records, 0, 1, "a-1", first());
        verifyMeasurement(records, 1, 0, "a-1", first());
        QVERIFY(!records.contains(meterInfo(1)));

        // The list is still the way in: the meter now in row 0 opens with its own measurements.
        deviceOverviewScreen *next = edit(window, 0);
        QCOMPARE(child<QLabel>(next, "nameForm")->text(), QString("Zwei"));
        QCOMPARE(entries(child<QListWidget>(next, "measureList")), QStringList({"b-1", "a-1"}));
    }

    // A new label shows at once, is stored on a confirmed close, and the meter is still known
    // by its identity; an empty or cancelled rename changes nothing.
    void relabelledMeterIsKeptAndKnown()
    {
        {
            MainWindow window;
            addMeter(window, 1, "Eins");
            addMeter(window, 2, "Zwei", {second()});
            window.show();
            QPointer<deviceOverviewScreen> screen = edit(window, 1);

            ModalAnswer nothing({ModalAnswer::dismiss(), ModalAnswer::enter("")});
            press(screen, "renameButton");
            press(screen, "renameButton");
            QVERIFY(nothing.done());
            const ModalAnswer::Seen &input = nothing.box();
            QCOMPARE(input.kind, QString("input"));
            QCOMPARE(input.title, QString("Gerät umbenennen"));
            QCOMPARE(input.text, QString("Neuer Gerätename:"));
            QCOMPARE(input.value, QString());
            QCOMPARE(entries(deviceList(window)), QStringList({"Eins", "Zwei"}));
            QTest::qWait(0);
            QVERIFY(screen && screen->isVisible());

            ModalAnswer typed({ModalAnswer::enter(" Eins ")});
            press(screen, "renameButton");
            QCOMPARE(entries(deviceList(window)), QStringList({"Eins", " Eins "}));
            QTRY_VERIFY(screen.isNull());
            QVERIFY(window.meterRecords().contains(meterInfo(2)));
            QCOMPARE(window.meterRecords().meter(1).device.name(), QString("M27K53C"));

            ModalAnswer close(QMessageBox::Yes);
            QVERIFY(window.close());
        }
        QSettings store("Orvu", "Kalvion");
        QCOMPARE(store.value("deviceList/2/buttonName").toString(), QString(" Eins "));
        QCOMPARE(store.value("deviceList/2/deviceAdress").toString(),
                 QString("C8:27:53:0C:00:02"));

        MainWindow again;
        QCOMPARE(entries(deviceList(again)), QStringList({"Eins", " Eins "}));
        QVERIFY(again.meterRecords().contains(meterInfo(2)));
        verifyMeasurement(again.meterRecords(), 1, 0, "b-1", second());
    }

    // The export from the viewer: the file dialog, the file, and a confirmation only for a
    // file that was written.
    void exportFromTheViewer()
    {
        MainWindow window;
        window.translateText(1);
        window.reverseDarkMode(true);
        addMeter(window, 4, "Werkbank", {first(), second()});
        window.show();
        deviceOverviewScreen *screen = edit(window, 0);
        measureOverview *viewer = open(screen, 1);
        const QString path = dir.filePath("second.csv");
        const QByteArray expected = "Measurementb-1\nDevice:C8:27:53:0C:00:04\n\n"
                                    "Settings:AC AUTO ,b-1\nSettings:AC ,b-2\n\n"
                                    "Data,Unit,Time\n0.L,m A ,b-1\n20,A ,b-2\n";

        ModalAnswer written({ModalAnswer::enter(path), ModalAnswer::press(QMessageBox::Ok)});
        press(viewer, "csvButton");
        QVERIFY(written.done());
        const ModalAnswer::Seen &file = written.seen()[0];
        QCOMPARE(file.kind, QString("file"));
        QCOMPARE(file.title, QString("Save CSV file"));
        QCOMPARE(file.value, QDir::current().absoluteFilePath("test.csv"));
        QCOMPARE(file.filters, QStringList({"*.csv"}));
        const ModalAnswer::Seen &confirmation = written.seen()[1];
        QCOMPARE(confirmation.title, QString("CSV file created"));
        QCOMPARE(confirmation.text, QString("CSV file was successfully created!"));
        QVERIFY(!confirmation.parentVisible);
        QCOMPARE(confirmation.parentStyleSheet, QString("background-color: white"));
        QCOMPARE(fileBytes(path), expected);
        QVERIFY(viewer->isVisible());
        QCOMPARE(viewer->styleSheet(), QString("background-color: #202020"));

        // Cancelled: the main window asks for a name, and nothing is confirmed.
        {
            // The spare reply would answer a confirmation, if one came.
            ModalAnswer cancelled({ModalAnswer::dismiss(), ModalAnswer::press(QMessageBox::Ok),
                                   ModalAnswer::press(QMessageBox::Ok)});
            press(viewer, "csvButton");
            QCOMPARE(cancelled.seen().size(), 2);
            QCOMPARE(cancelled.seen()[1].icon, QMessageBox::Warning);
            QCOMPARE(cancelled.seen()[1].title, QString("File creation Error"));
            QCOMPARE(cancelled.seen()[1].text, QString("Please choose a file name!"));
            QCOMPARE(cancelled.seen()[1].buttons, QMessageBox::Ok);
        }

        // A name that cannot be written: a warning instead of the confirmation, and no file.
        const QString unreachable = dir.filePath("no such folder/x.csv");
        {
            ModalAnswer failed({ModalAnswer::enter(unreachable),
                                ModalAnswer::press(QMessageBox::Ok),
                                ModalAnswer::press(QMessageBox::Ok)});
            press(viewer, "csvButton");
            QCOMPARE(failed.seen().size(), 2);
            QCOMPARE(failed.seen()[1].icon, QMessageBox::Warning);
            QCOMPARE(failed.seen()[1].title, QString("File creation Error"));
            // The file dialog may resolve a path into a missing folder against its own.
            const QString text = failed.seen()[1].text;
            QVERIFY2(text.startsWith("The file could not be written:\n/"), qPrintable(text));
            QVERIFY(text.endsWith("/no such folder/x.csv\n\nPlease choose another place."));
            QVERIFY(!QFile::exists(unreachable));
        }

        // The first measurement, to the same name: the dialog asks before replacing, and
        // nothing of the longer first file is left.
        press(viewer, "backButton");
        viewer = open(screen, 0);
        window.translateText(0);
        ModalAnswer replaced({ModalAnswer::enter(path), ModalAnswer::press(QMessageBox::Yes),
                              ModalAnswer::press(QMessageBox::Ok)});
        press(viewer, "csvButton");
        QVERIFY(replaced.done());
        QCOMPARE(fileBytes(path), QByteArray("Messunga-1\nGerät:C8:27:53:0C:00:04\n\n"
                                             "Einstellungen:DC ,a-1\n\n"
                                             "Messwert,Einheit,Zeit\n1,V ,a-1\n2,V ,a-2\n"
                                             "3,V ,a-3\n"));
    }

    // Only a store written elsewhere holds a measurement without points; it still opens and
    // exports, and nothing is read from its neighbours.
    void measurementWithoutPoints()
    {
        MainWindow window;
        addMeter(window, 5, "Werkbank", {Series{}, first()});
        window.show();
        deviceOverviewScreen *screen = edit(window, 0);
        measureOverview *viewer = open(screen, 0);
        QVERIFY(viewer);
        QCOMPARE(facts(viewer), QStringList({"C8:27:53:0C:00:05", "", "", ""}));
        QCOMPARE(drawn(viewer)->count(), 0);

        const QString path = dir.filePath("empty.csv");
        ModalAnswer answer({ModalAnswer::enter(path), ModalAnswer::press(QMessageBox::Ok)});
        press(viewer, "csvButton");
        QVERIFY(answer.done());
        QCOMPARE(fileBytes(path), QByteArray("Messungleer\nGerät:C8:27:53:0C:00:05\n\n\n"
                                             "Messwert,Einheit,Zeit\n"));
    }

    // Random runs of the record operations behind the screens, each followed by the write of
    // a confirmed close and a fresh read, against a plain model of what the user did.
    void randomSequencesKeepTheRecords()
    {
        struct Measure {
            QString name;
            Series series;
        };
        struct Model {
            int id;
            QString label;
            QList<Measure> measures;
        };
        const QStringList words = {"Werkbank", "Akku, leer", "Ω/Hz=1", "  Bank 2 ", "Prüfung"};
        const QStringList units = {"V ", "m V ?", "k Ω ", "A ", "?"};
        const QStringList settings = {"DC AUTO ", "AC ", "", "DC "};
        QRandomGenerator random(20261206);

        const auto verify = [](const MeterRecords &records, const QListWidget &rows,
                               const QList<Model> &model) {
            QCOMPARE(records.count(), model.size());
            QCOMPARE(rows.count(), model.size());
            for (int i = 0; i < model.size(); ++i) {
                const Meter &m = records.meter(i);
                QCOMPARE(rows.item(i)->text(), model[i].label);
                QCOMPARE(m.device.address(), meterInfo(model[i].id).address());
                QCOMPARE(m.pointsNumber.size(), model[i].measures.size());
                QCOMPARE(int(m.savedSeries.size()), int(model[i].measures.size()));
                int total = 0;
                for (int k = 0; k < model[i].measures.size(); ++k) {
                    verifyMeasurement(records, i, k, model[i].measures[k].name,
                                      model[i].measures[k].series);
                    total += int(model[i].measures[k].series.points.size());
                }
                QCOMPARE(m.points.size(), total);
                QCOMPARE(m.timestamps.size(), total);
                QCOMPARE(m.units.size(), total);
                QCOMPARE(m.settingTexts.size(), total);
            }
        };

        for (int run = 0; run < 1000; ++run) {
            QListWidget rows;
            MeterRecords records(&rows);
            QList<Model> model;
            int nextId = 0;
            const int steps = random.bounded(1, 30);
            for (int step = 0; step < steps; ++step) {
                const int op = model.isEmpty() ? 0 : random.bounded(6);
                const int i = model.isEmpty() ? -1 : random.bounded(int(model.size()));
                const int measures = i < 0 ? 0 : int(model[i].measures.size());
                if (op == 0) {
                    const QString label = words[random.bounded(int(words.size()))];
                    records.addMeter(Meter(meterInfo(nextId)), label, false);
                    model.append({nextId++, label, {}});
                } else if (op == 1) {
                    Series s;
                    const int n = random.bounded(1, 9);
                    for (int j = 0; j < n; ++j) {
                        s.points.append(QPointF(j + 1, (random.generateDouble() - 0.5) * 1e4));
                        s.timestamps.append(QString("2026-12-06 10:%1:%2.000%3")
                                                    .arg(run % 60)
                                                    .arg(step)
                                                    .arg(j));
                        s.units.append(units[random.bounded(int(units.size()))]);
                        s.settings.append(settings[random.bounded(int(settings.size()))]);
                    }
                    records.addMeasurement(i, s.timestamps.first(), s.points, s.timestamps,
                                           s.units, s.settings);
                    model[i].measures.append({s.timestamps.first(), s});
                } else if (op == 2) {
                    records.removeMeter(i);
                    model.removeAt(i);
                } else if (op == 3) {
                    const QString label = words[random.bounded(int(words.size()))];
                    records.relabel(i, label);
                    model[i].label = label;
                } else if (op == 4 && measures > 0) {
                    const int k = random.bounded(measures);
                    records.removeMeasurement(i, k);
                    model[i].measures.removeAt(k);
                } else if (op == 5 && measures > 0) {
                    const int k = random.bounded(measures);
                    const QString name = words[random.bounded(int(words.size()))];
                    records.renameMeasurement(i, k, name);
                    model[i].measures[k].name = name;
                }
                verify(records, rows, model);
                if (QTest::currentTestFailed())
                    QFAIL(qPrintable(QString("run %1, step %2, operation %3")
                                             .arg(run)
                                             .arg(step)
                                             .arg(op)));
            }

            const QString path = dir.filePath(QString("run%1.conf").arg(run));
            {
                QSettings store(path, QSettings::IniFormat);
                Store::write(store, Options{}, records);
                store.sync();
                QCOMPARE(store.status(), QSettings::NoError);
            }
            QListWidget readRows;
            MeterRecords read(&readRows);
            QSettings store(path, QSettings::IniFormat);
            Options options;
            Store::read(store, options, read);
            verify(read, readRows, model);
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(QString("run %1 after reading").arg(run)));
            QFile::remove(path);
        }
    }
};

KALVION_TEST_MAIN(ManagementTest)
#include "tst_management.moc"
