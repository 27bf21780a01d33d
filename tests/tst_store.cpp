#include "app/mainwindow.h"
#include "app/store.h"
#include "support/storedmeter.h"
#include "support/testmain.h"
#include "support/widgets.h"

#include <QElapsedTimer>
#include <QFile>

// The store's layout, and stores this program did not write: forged sizes, gaps, counts that
// do not fit. Read as the program starts, by the main window.
class StoreTest : public QObject
{
    Q_OBJECT

    // One meter without measurements and one with two, of 3 and 2 points.
    static QList<StoredMeter> reference()
    {
        return { StoredMeter{ "Leer", "0A:1B:2C:3D:4E:5F", "M27K53C", {} },
            StoredMeter{ "Werkbank", "C8:27:53:0C:00:01", "M27K53C",
                { storedSeries(3, 0.5, "m V "), storedSeries(2, -7.25, "k Ω ", "REL ") } } };
    }

    static QByteArray bytes(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void writesTheLayoutItReads()
    {
        writeStore(reference(), StoredOptions{ true, true, 1 });
        const QByteArray earlier = bytes(UserStore().fileName());
        MainWindow window;
        window.show();
        QCOMPARE(entries(child<QListWidget>(&window, "deviceList")),
            QStringList({ "Leer", "Werkbank" }));
        const Meter &m = window.meterRecords().meter(1);
        QCOMPARE(m.pointsNumber, QList<int>({ 3, 2 }));
        QCOMPARE(m.units.mid(2), QStringList({ "m V ", "k Ω ", "k Ω " }));

        // Written whole on close, the store is what earlier runs wrote, to the byte.
        UserStore().clear();
        ModalAnswer yes(QMessageBox::Yes);
        QVERIFY(window.close());
        QCOMPARE(bytes(UserStore().fileName()), earlier);
    }

    void damagedStoresAreReadAsFarAsTheyGo_data()
    {
        QTest::addColumn<QVariantMap>("changes"); // an invalid value removes the key
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QList<int>>("counts"); // of the meter "Werkbank"

        const QStringList both = { "Leer", "Werkbank" };
        const QString p = "deviceList/2/points/", n = "deviceList/2/pointsNumber/";
        QTest::newRow("forged point size, its last entry there")
            << QVariantMap{ { p + "size", 2147483647 }, { p + "2147483647/unit", "V " } } << both
            << QList<int>{ 3, 2 };
        QTest::newRow("forged meter size, its last entry there") << QVariantMap{
            { "deviceList/size", 50000000 }, { "deviceList/50000000/buttonName", "Fremd" }
        } << QStringList{ "Leer", "Werkbank", "Fremd" } << QList<int>{ 3, 2 };
        QTest::newRow("a meter missing below the size, one beyond it")
            << QVariantMap{ { "deviceList/size", 4 }, { "deviceList/4/buttonName", "Vierter" },
                   { "deviceList/5/buttonName", "Alt" } }
            << QStringList{ "Leer", "Werkbank", "Vierter" } << QList<int>{ 3, 2 };
        QTest::newRow("a point missing") << QVariantMap{ { p + "2/point", {} },
            { p + "2/timestamp", {} }, { p + "2/unit", {} }, { p + "2/settings", {} } }
                                         << both << QList<int>{ 3, 1 };
        QTest::newRow("entries beyond the size")
            << QVariantMap{ { "deviceList/size", 1 } } << QStringList{ "Leer" } << QList<int>{};
        QTest::newRow("negative size")
            << QVariantMap{ { "deviceList/size", -4 } } << QStringList{} << QList<int>{};
        QTest::newRow("no point size") << QVariantMap{ { p + "size", {} } } << both << QList<int>{};
        QTest::newRow("counts beyond the points")
            << QVariantMap{ { n + "1/pointNumber", 2147483647 } } << both << QList<int>{ 5 };
        QTest::newRow("counts that are no counts")
            << QVariantMap{ { n + "1/pointNumber", -1 }, { n + "2/pointNumber", "zwei" } } << both
            << QList<int>{};
    }

    void damagedStoresAreReadAsFarAsTheyGo()
    {
        QFETCH(QVariantMap, changes);
        writeStore(reference());
        {
            UserStore store;
            for (auto change = changes.cbegin(); change != changes.cend(); ++change) {
                if (change.value().isValid())
                    store.setValue(change.key(), change.value());
                else
                    store.remove(change.key());
            }
        }
        QElapsedTimer startup;
        startup.start();
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY2(startup.elapsed() < 10000, "a forged size must not cost time");

        QTEST(entries(child<QListWidget>(&window, "deviceList")), "labels");
        const MeterRecords &records = window.meterRecords();
        QList<int> counts;
        for (int i = 0; i < records.count(); ++i) {
            if (records.label(i) == "Werkbank")
                counts = records.meter(i).pointsNumber;
        }
        QTEST(counts, "counts");
    }
};

KALVION_TEST_MAIN(StoreTest)
#include "tst_store.moc"
