#include "app/mainwindow.h"
#include "screens/deviceoverviewscreen.h"
#include "screens/settingsscreen.h"
#include "store/journal.h"
#include "store/store.h"
#include "store/storefile.h"
#include "store/storewriter.h"
#include "support/files.h"
#include "support/storedmeter.h"
#include "support/testmain.h"
#include "support/widgets.h"

#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>

#include <random>
#include <QTemporaryDir>

#include <csignal>
#include <cstring>
#include <sys/resource.h>

// Stores and journals this program did not leave, read as the program starts: forged sizes,
// gaps, counts that do not fit; torn, damaged and foreign journals; a store that is no store.
class StoreTest : public QObject
{
    Q_OBJECT

    static QString journalFile() { return Journal::Files(UserStore().fileName()).journal; }

    static void press(QWidget *screen, const char *button)
    {
        child<QPushButton>(screen, button)->click();
    }

    // The meter's label, its measurements' names and the theme, as the user sees them.
    static QStringList seen(MainWindow &window)
    {
        const QListWidget *rows = child<QListWidget>(&window, "deviceList");
        QStringList s = entries(rows);
        s += window.meterRecords().meter(0).measureNames;
        s.append(rows->item(0)->background().color() == QColor("#555555") ? "dunkel" : "hell");
        return s;
    }

    // Meters whose texts hold every kind of character a user may type or paste, and whose
    // points hold every kind of double, NaN and infinities among them.
    static QList<StoredMeter> oddMeters()
    {
        QRandomGenerator random(7);
        const QStringList pieces = { "\"", "\\", ",", ";", "=", "#", " ", "\t", "\n", "\r",
            "ü", "Ω", "°C", "😀", QString(QChar(0)), QString(QChar(0xD800)), "\x01", "\x1f", "\x7f", "é", "@", "@@",
            "@String(", "@Variant(", ")", "[General]", "\\x41", "0", "7", "a", "F", "V " };
        const auto text = [&] {
            QString t;
            for (int n = random.bounded(6); n > 0; --n)
                t += pieces[random.bounded(pieces.size())];
            return t;
        };
        const auto number = [&] {
            const quint64 bits = random.generate64();
            double d;
            std::memcpy(&d, &bits, sizeof d);
            return d;
        };
        QList<StoredMeter> meters;
        for (int i = 0; i < 12; ++i) {
            StoredMeter m{ text(), QString("C8:27:53:0C:00:%1").arg(i, 2, 10, QChar('0')), text(), {} };
            for (int k = 0; k < i % 3; ++k) {
                StoredSeries series{ text(), {}, {}, {}, {} };
                for (int j = 0; j < 11 * k + 1; ++j) {
                    series.points.append(QPointF(j % 4 ? number() : j + 1, number()));
                    series.timestamps.append(j % 3 ? QString("2026-12-%1 14:07:09.%2")
                                                         .arg(j % 28 + 1, 2, 10, QChar('0'))
                                                         .arg(random.bounded(1000000), 6, 10, QChar('0'))
                                                   : text());
                    series.units.append(j % 2 ? "V " : text());
                    series.settings.append(text());
                }
                m.measurements.append(series);
            }
            meters.append(m);
        }
        return meters;
    }

    // What the program holds of meters written key by key.
    static Store::Snapshot held(const QList<StoredMeter> &meters, const StoredOptions &options)
    {
        MeterRecords records;
        for (const StoredMeter &m : meters) {
            records.addMeter(Meter(
                QBluetoothDeviceInfo(QBluetoothAddress(m.address), m.name, 0), m.label));
            for (const StoredSeries &s : m.measurements) {
                records.addMeasurement(
                    records.count() - 1, s.name, s.points, s.timestamps, s.units, s.settings);
            }
        }
        return Store::snapshot({ options.dark, options.tovik, options.language }, records);
    }

private slots:
    void damagedStoresAreReadAsFarAsTheyGo_data()
    {
        QTest::addColumn<QVariantMap>("changes");
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QList<int>>("counts"); // of the meter "Werkbank"

        const QStringList one = { "Werkbank" };
        const QString p = "deviceList/1/points/";
        QTest::newRow("forged point size, its last entry there")
            << QVariantMap{ { p + "size", 2147483647 }, { p + "2147483647/unit", "V " } } << one
            << QList<int>{ 3, 2 };
        QTest::newRow("forged meter size, a gap, its last entry there, one beyond it")
            << QVariantMap{ { "deviceList/size", 50000000 },
                   { "deviceList/3/buttonName", "Dritter" },
                   { "deviceList/50000000/buttonName", "Fremd" },
                   { "deviceList/50000001/buttonName", "Alt" } }
            << QStringList{ "Werkbank", "Dritter", "Fremd" } << QList<int>{ 3, 2 };
        QTest::newRow("point size short of the points")
            << QVariantMap{ { p + "size", 4 } } << one << QList<int>{ 3, 1 };
        QTest::newRow("counts beyond the points")
            << QVariantMap{ { "deviceList/1/pointsNumber/1/pointNumber", 2147483647 } } << one
            << QList<int>{ 5 };
    }

    void damagedStoresAreReadAsFarAsTheyGo()
    {
        QFETCH(QVariantMap, changes);
        writeStore({ StoredMeter{ "Werkbank", "C8:27:53:0C:00:01", "M27K53C",
            { storedSeries(3, 0.5, "m V "), storedSeries(2, -7.25, "k Ω ", "REL ") } } });
        UserStore store;
        for (auto change = changes.cbegin(); change != changes.cend(); ++change)
            store.setValue(change.key(), change.value());
        store.sync();
        QElapsedTimer startup;
        startup.start();
        MainWindow window;
        QVERIFY2(startup.elapsed() < 10000, "a forged size must not cost time");
        QTEST(entries(child<QListWidget>(&window, "deviceList")), "labels");
        QTEST(window.meterRecords().meter(0).pointsNumber, "counts");
    }

    // A run ends without the close after four changes, and its journal is then damaged as a
    // disk or another program might. What can be read is replayed, in order; what cannot is
    // kept aside, and one box says so.
    void journalsThisProgramDidNotLeave_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<int>("replayed"); // of the four changes
        QTest::addColumn<QString>("box"); // the start of its text, or none

        const QString unreadable = "Das Protokoll Ihrer letzten Änderungen konnte nicht gelesen "
                                   "werden. Es wurde beiseitegelegt unter:\n";
        QTest::newRow("intact") << "" << 4 << "";
        QTest::newRow("last change torn") << "cut" << 3 << "";
        QTest::newRow("zeros after the last change") << "zeros" << 4 << "";
        QTest::newRow("second change damaged")
            << "flip" << 1
            << "Das Protokoll Ihrer letzten Änderungen ist beschädigt. Alle Änderungen bis zur "
               "beschädigten Stelle sind geladen; eine Kopie des Protokolls liegt unter:\n";
        QTest::newRow("garbage") << "garbage" << 0 << unreadable;
        QTest::newRow("store replaced since") << "store" << 0 << unreadable;
    }

    void journalsThisProgramDidNotLeave()
    {
        QFETCH(QString, damage);
        QFETCH(int, replayed);
        QFETCH(QString, box);
        writeStore({ StoredMeter{ "Werkbank", "C8:27:53:0C:00:01", "M27K53C",
            { storedSeries(2), storedSeries(3), storedSeries(4) } } });
        for (const QString &aside : QDir(QFileInfo(journalFile()).path()).entryList({ "*.journal.*" }))
            QFile::remove(QFileInfo(journalFile()).path() + "/" + aside);
        QList<qint64> sizes; // of the journal after each change
        QList<QStringList> expected; // seen after each change
        {
            MainWindow window;
            window.show();
            const auto changed = [&] {
                sizes.append(QFileInfo(journalFile()).size());
                expected.append(seen(window));
            };
            changed();
            child<QListWidget>(&window, "deviceList")->setCurrentRow(0);
            press(&window, "editButton");
            {
                ModalAnswer label({ ModalAnswer::enter("Bank") });
                press(shown<deviceOverviewScreen>(), "renameButton");
            }
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // that screen
            changed();
            press(&window, "editButton");
            deviceOverviewScreen *overview = shown<deviceOverviewScreen>();
            auto *list = child<QListWidget>(overview, "measureList");
            list->setCurrentRow(0);
            {
                ModalAnswer name({ ModalAnswer::enter("Erste") });
                press(overview, "measureRenameButton");
            }
            changed();
            list->setCurrentRow(1);
            {
                ModalAnswer yes(QMessageBox::Yes);
                press(overview, "deleteMeasureButton");
            }
            changed();
            overview->close();
            press(&window, "settingsButton");
            press(shown<settingsScreen>(), "darkModeButton");
            changed();
        } // ends as a kill would: no close, and no checkpoint yet
        QCOMPARE(expected.constLast(),
            QStringList({ "Bank", "Erste", "2026-12-06 14:07:09.042042", "dunkel" }));

        QFile file(journalFile());
        QVERIFY(file.open(QIODevice::ReadWrite));
        const QByteArray intact = file.readAll();
        if (damage == "cut") {
            file.resize(sizes[4] - 3);
        } else if (damage == "zeros") {
            file.write(QByteArray(4096, '\0'));
        } else if (damage == "flip") {
            file.seek(sizes[1] + 12);
            file.write(QByteArray(1, char(intact[sizes[1] + 12] ^ 0x40)));
        } else if (damage == "garbage") {
            file.resize(0);
            for (int i = 0; i < 1000; ++i)
                file.write(QByteArray::number(QRandomGenerator::global()->generate64()));
        }
        file.close();
        const QByteArray damaged = fileBytes(journalFile());
        if (damage == "store")
            UserStore().setValue("tovik", true);

        // The second start neither replays anything twice nor says anything again.
        for (int start = 0; start < 2; ++start) {
            const bool says = start == 0 && !box.isEmpty();
            ModalAnswer said(QList<ModalAnswer::Reply>(says ? 1 : 0, ModalAnswer::press(QMessageBox::Ok)));
            MainWindow window;
            window.show();
            QTest::qWait(100);
            QVERIFY(said.done());
            QCOMPARE(seen(window), expected[replayed]);
            if (!says)
                continue;
            QCOMPARE(said.box().title, QString("Änderungsprotokoll beschädigt"));
            QVERIFY2(said.box().text.startsWith(box), qPrintable(said.box().text));
            const QString aside = said.box().text.mid(box.size()).section('\n', 0, 0);
            QCOMPARE(fileBytes(aside), damaged);
        }
    }

    // Two meters recorded at once through one journal, the first twice as often as the second
    // and saved part-way; then the run ends as a kill would. Whatever came in the middle (a
    // checkpoint, one after the journal was removed, the second dropped and started again), the
    // next start keeps each unsaved recording under its own meter, every point as it was
    // appended, and says so; a look before it sees the same.
    void severalRecordingsAtOnce_data()
    {
        QTest::addColumn<QString>("step");
        QTest::newRow("none") << "";
        QTest::newRow("checkpoint") << "checkpoint";
        QTest::newRow("checkpoint after the journal was removed") << "removed";
        QTest::newRow("second dropped and started again") << "drop";
    }

    void severalRecordingsAtOnce()
    {
        QFETCH(QString, step);
        writeStore({ StoredMeter{}, StoredMeter{ "Labor", "C8:27:53:0C:00:02", "M27K53C", {} } });
        const QString store = UserStore().fileName();
        Store::Snapshot read = Store::read(store);
        MeterRecords records; // as the window holds them, then as the next start is to
        for (const Meter &meter : std::as_const(read.meters))
            records.addMeter(meter);
        SamplesBuilder sent[2];
        {
            QByteArray hash; // of a checkpoint's store, landed three points after its seal
            Journal journal(store);
            journal.open(records, read.options);
            for (int j = 0; j < 60; ++j) {
                const int i = j % 3 == 2 ? 1 : 0;
                const QBluetoothDeviceInfo &meter = records.meter(i).device;
                const qsizetype n = sent[i].built().size();
                if (n == 0)
                    journal.startRecording(meter, records.label(i));
                const RecordedPoint p{ j * 0.25, i ? "A " : "V ",
                    QString("2026-12-06 14:%1:09.042042").arg(j, 2, 10, QChar('0')),
                    j % 5 ? "DC " : "AC " };
                sent[i].append(QPointF(n + 1, p.y), p.timestamp, p.unit, p.settings);
                journal.appendPoint(meter, p);
                if (j == 10) {
                    records.addMeasurement(0, "Teil", sent[0].built());
                    journal.saveRecording(meter, "Teil", int(n + 1));
                } else if (j == 30 && step == "drop") {
                    journal.dropRecording(records.meter(1).device);
                    sent[1] = SamplesBuilder();
                } else if (j == 30 && !step.isEmpty()) {
                    if (step == "removed")
                        QVERIFY(QFile::remove(journal.files.journal) && !journal.sync());
                    const QByteArray start = journal.seal();
                    hash = StoreWriter::writeCheckpoint(
                        journal.files, Store::snapshot(read.options, records), start);
                } else if (j == 33 && !hash.isEmpty()) {
                    QVERIFY(journal.land(hash) && journal.trusted());
                }
            }
        } // ends as a kill would: no close
        QStringList said;
        for (int i : { 0, 1 }) {
            records.addMeasurement(i, sent[i].built().timestamp(0), sent[i].built());
            said << QString("Kalvion wurde während einer Aufzeichnung von „%1“ beendet. Die "
                            "Aufzeichnung (%2 Messpunkte) wurde als Messung gespeichert. Sie "
                            "finden sie im Startbildschirm unter Verwalten.")
                        .arg(records.label(i))
                        .arg(sent[i].built().size());
        }
        QString error;
        QVERIFY(Journal::peek(store, error)->meters == records.all());
        ModalAnswer told(QMessageBox::Ok);
        MainWindow window;
        window.show();
        QTRY_VERIFY(told.done());
        QCOMPARE(told.box().text, said.join("\n\n"));
        QVERIFY(window.meterRecords().all() == records.all());
    }

    // QSettings reads what it wrote key by key; the program writes the same bytes for the
    // same records, and reads such a file, and any file made from it, as QSettings does: in
    // one pass where it can, otherwise through QSettings.
    void storesAsQSettingsKeepThem_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("onePass"); // the file is read in one pass, not left to QSettings
        QTest::newRow("as QSettings writes it") << "" << true;
        QTest::newRow("keys out of order") << "shuffle" << true;
        QTest::newRow("line ends of Windows") << "crlf" << false;
        QTest::newRow("a point left out") << "gap" << true;
        QTest::newRow("sizes short of the points and forged") << "sizes" << true;
        QTest::newRow("a key twice") << "twice" << false;
        QTest::newRow("a comment after a label") << "comment" << false;
        QTest::newRow("cut short") << "cut" << false;
    }

    void storesAsQSettingsKeepThem()
    {
        QFETCH(QString, change);
        QFETCH(bool, onePass);
        QTemporaryDir folder;
        const QList<StoredMeter> meters = oddMeters();
        const StoredOptions options{ true, false, 1 };
        const QString written = folder.filePath("written.conf");
        writeStoreFile(written, meters, options);
        QByteArray ours;
        QVERIFY(StoreFile::write(held(meters, options), [&](QByteArrayView bytes) {
            ours += bytes;
            return true;
        }));
        QCOMPARE(ours, fileBytes(written));
        if (change.isEmpty()) {
            // The window opens such a store, and its close writes it back to the byte.
            writeStore(meters, options);
            MainWindow window;
            QCOMPARE(child<QListWidget>(&window, "deviceList")->count(), meters.size());
            ModalAnswer yes(QMessageBox::Yes);
            QVERIFY(window.close());
            QCOMPARE(fileBytes(UserStore().fileName()), fileBytes(written));
        }

        QList<QByteArray> lines = fileBytes(written).split('\n');
        const qsizetype first = lines.indexOf("[deviceList]") + 1;
        const auto line = [&](const QByteArray &start) {
            return std::find_if(lines.begin(), lines.end(),
                       [&](const QByteArray &l) { return l.startsWith(start); })
                - lines.begin();
        };
        if (change == "shuffle") {
            std::shuffle(lines.begin() + first, lines.end() - 1, std::mt19937(5));
        } else if (change == "crlf") {
            for (QByteArray &l : lines)
                l += '\r';
        } else if (change == "gap") {
            lines.removeIf([](const QByteArray &l) { return l.startsWith("3\\points\\3\\"); });
        } else if (change == "sizes") {
            lines[line("3\\points\\size=")] = "3\\points\\size=5";
            lines[line("6\\points\\size=")] = "6\\points\\size=2147483647";
            lines.insert(line("6\\points\\size="), "6\\points\\2147483647\\unit=\"V \"");
            lines[line("6\\pointsNumber\\2\\pointNumber=")] = "6\\pointsNumber\\2\\pointNumber=13";
        } else if (change == "twice") {
            lines.insert(line("3\\points\\3\\unit=") + 1, "3\\points\\3\\unit=\"mV \"");
        } else if (change == "comment") {
            lines[first] = "1\\buttonName=Werk bank  ;note";
        }
        QList<QByteArray> variants = { lines.join('\n') };
        QRandomGenerator random(11);
        for (int i = 0; change == "cut" && i < 40; ++i)
            variants.append(variants[0].left(random.bounded(variants[0].size())));
        for (const QByteArray &bytes : variants) {
            const QString path = folder.filePath(QString("changed%1.conf").arg(&bytes - variants.data()));
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
            file.close();
            QVERIFY(Store::read(path) == Store::readSettings(path));
            if (onePass)
                QVERIFY(StoreFile::read(path));
        }
    }

    // The disk is full as the program starts, so the journal cannot be made. A change cannot be
    // appended, and is said once; the checkpoint it starts at once fails, and is tried again
    // after a pause, not over and over. Once there is room again, a retry makes the journal by
    // itself, and the store gets the change.
    void aJournalThatCouldNotBeMadeAtStart()
    {
        writeStore({ StoredMeter{} });
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        const rlimit full{ 0, old.rlim_max };
        setrlimit(RLIMIT_FSIZE, &full);
        const auto room = qScopeGuard([&] { setrlimit(RLIMIT_FSIZE, &old); }); // on a failure
        MainWindow window;
        window.show();
        QSignalSpy written(&window.storeWriter(), &StoreWriter::written);
        ModalAnswer unsaved(QMessageBox::Ok);
        press(&window, "settingsButton");
        press(shown<settingsScreen>(), "darkModeButton");
        QTRY_VERIFY(unsaved.done());
        // At once, and two seconds later.
        QTest::qWait(3000);
        QCOMPARE(written.size(), 2);
        QCOMPARE(written[1].first().toBool(), false);
        setrlimit(RLIMIT_FSIZE, &old);
        QTRY_COMPARE_WITH_TIMEOUT(written.size(), 3, 10000);
        QCOMPARE(written[2].first().toBool(), true);
        QCOMPARE(UserStore().value("darkMode").toBool(), true);
        QVERIFY(QFileInfo(journalFile()).size() > 0);
    }

    // A store file that is no settings file at all is read as empty; writing it anew is no
    // failure, and the close goes through.
    void aStoreThatIsNoStore()
    {
        writeStore({});
        QFile junk(UserStore().fileName());
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray("\x00\xff[[[\x01=\xfe\n", 10).repeated(500));
        junk.close();
        MainWindow window;
        window.show();
        QCOMPARE(child<QListWidget>(&window, "deviceList")->count(), 0);
        QSignalSpy written(&window.storeWriter(), &StoreWriter::written);
        press(&window, "settingsButton");
        press(shown<settingsScreen>(), "darkModeButton");
        QVERIFY(written.wait(10000));
        QCOMPARE(written.first().first().toBool(), true);
        ModalAnswer yes(QMessageBox::Yes);
        QVERIFY(window.close());
        QCOMPARE(UserStore().value("darkMode").toBool(), true);
    }

    // A store kept as a link into a dotfiles folder, and then its journal too (a link to no
    // file yet): a change reaches the files the links point to, and the links stay.
    void aStoreKeptAsALink_data()
    {
        QTest::addColumn<QStringList>("linked");
        QTest::newRow("store") << QStringList{ "Kalvion.conf" };
        QTest::newRow("store and journal") << QStringList{ "Kalvion.conf", "Kalvion.journal" };
    }

    void aStoreKeptAsALink()
    {
        QFETCH(QStringList, linked);
        writeStore({ StoredMeter{} });
        const QDir config = QFileInfo(UserStore().fileName()).dir();
        const QDir dotfiles = QDir::cleanPath(config.filePath("../dotfiles"));
        const auto unlink = qScopeGuard([&] {
            for (const QString &name : linked)
                QFile::remove(config.filePath(name));
            QDir(dotfiles).removeRecursively();
        });
        QVERIFY(dotfiles.mkpath("."));
        for (const QString &name : linked) {
            QFile::rename(config.filePath(name), dotfiles.filePath(name));
            QVERIFY(QFile::link(dotfiles.filePath(name), config.filePath(name)));
        }
        {
            MainWindow window;
            window.show();
            QSignalSpy written(&window.storeWriter(), &StoreWriter::written);
            press(&window, "settingsButton");
            press(shown<settingsScreen>(), "darkModeButton");
            QVERIFY(written.wait(10000));
            QCOMPARE(written.first().first().toBool(), true);
        }
        for (const QString &name : linked) {
            const QFileInfo link(config.filePath(name));
            QVERIFY2(link.isSymLink() && link.exists(), qPrintable(name));
        }
        const QSettings kept(dotfiles.filePath("Kalvion.conf"), QSettings::IniFormat);
        QCOMPARE(kept.value("darkMode").toBool(), true);
        QCOMPARE(config.entryList({ "*.next" }), QStringList());
    }
};

KALVION_TEST_MAIN(StoreTest)
#include "tst_store.moc"
