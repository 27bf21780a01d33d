#include "app/mainwindow.h"
#include "store/store.h"
#include "support/storedmeter.h"
#include "support/testmain.h"
#include "support/widgets.h"

#include <QElapsedTimer>

// Stores this program did not write, read as the program starts: forged sizes, gaps, counts
// that do not fit.
class StoreTest : public QObject
{
    Q_OBJECT

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
};

KALVION_TEST_MAIN(StoreTest)
#include "tst_store.moc"
