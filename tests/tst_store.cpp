#include "app/meterrecords.h"
#include "app/store.h"
#include "support/testmain.h"

#include <QFile>
#include <QListWidget>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

// The store's layout and the repair of stores this program did not write, through the real
// store code and the record operations that keep a meter's lists in step.
class StoreTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir dir;
    int files = 0;

    QString freshPath() { return dir.filePath(QString("store%1.conf").arg(files++)); }

    static QBluetoothDeviceInfo meterInfo(const QString &address, const QString &name = "M27K53C")
    {
        return QBluetoothDeviceInfo(QBluetoothAddress(address), name, 0);
    }

    static QList<QPointF> pointsFrom(int from, int count, double y0)
    {
        QList<QPointF> p;
        for (int x = from; x < from + count; ++x)
            p.append(QPointF(x, y0 + x));
        return p;
    }

    static QStringList texts(const QString &stem, int count)
    {
        QStringList t;
        for (int j = 0; j < count; ++j)
            t.append(stem + QString::number(j));
        return t;
    }

    // Every list of every meter agrees with its counts.
    static void verifyConsistent(const MeterRecords &records, const QListWidget &rows)
    {
        QCOMPARE(rows.count(), records.count());
        for (int i = 0; i < records.count(); ++i) {
            const Meter &m = records.meter(i);
            int sum = 0;
            for (int n : m.pointsNumber) {
                QVERIFY(n > 0);
                sum += n;
            }
            QCOMPARE(m.points.size(), sum);
            QCOMPARE(m.timestamps.size(), sum);
            QCOMPARE(m.units.size(), sum);
            QCOMPARE(m.settingTexts.size(), sum);
            QCOMPARE(m.measureNames.size(), m.pointsNumber.size());
            QCOMPARE(int(m.savedSeries.size()), int(m.pointsNumber.size()));
            for (int k = 0; k < m.pointsNumber.size(); ++k) {
                const QList<QPointF> seriesPoints = m.savedSeries[size_t(k)]->points();
                QCOMPARE(seriesPoints, m.points.mid(records.offset(i, k), m.pointsNumber[k]));
            }
        }
    }

    // Reads a store file into fresh records and checks they are consistent.
    struct Loaded {
        QListWidget rows;
        MeterRecords records{&rows};
        Options options;
    };
    static void load(const QString &path, Loaded &out)
    {
        QSettings settings(path, QSettings::IniFormat);
        Store::read(settings, out.options, out.records);
        verifyConsistent(out.records, out.rows);
    }

    static void writeStore(const QString &path, const Options &options, const MeterRecords &r)
    {
        QSettings settings(path, QSettings::IniFormat);
        Store::write(settings, options, r);
        settings.sync();
        QCOMPARE(settings.status(), QSettings::NoError);
    }

    // A meter written by hand: the given points and the given measurement counts.
    static void writeRawMeter(QSettings &s, int pointCount, const QList<QVariant> &counts)
    {
        s.beginWriteArray("deviceList");
        s.setArrayIndex(0);
        s.setValue("deviceName", "M27K53C");
        s.setValue("deviceAdress", "AA:BB:CC:DD:EE:01");
        s.setValue("buttonName", "Bench");
        s.beginWriteArray("points");
        for (int j = 0; j < pointCount; ++j) {
            s.setArrayIndex(j);
            s.setValue("point", QPointF(j + 1, 10 * (j + 1)));
            s.setValue("timestamp", QString("t%1").arg(j));
            s.setValue("unit", "V ");
            s.setValue("settings", "DC ");
        }
        s.endArray();
        s.beginWriteArray("pointsNumber");
        for (int k = 0; k < counts.size(); ++k) {
            s.setArrayIndex(k);
            s.setValue("measureNames", QString("m%1").arg(k));
            s.setValue("pointNumber", counts[k]);
        }
        s.endArray();
        s.endArray();
    }

private slots:
    void emptyStoreGivesDefaults()
    {
        Loaded loaded;
        load(freshPath(), loaded);
        QCOMPARE(loaded.options.darkMode, false);
        QCOMPARE(loaded.options.tovik, false);
        QCOMPARE(loaded.options.language, 0);
        QCOMPARE(loaded.records.count(), 0);
    }

    void meterWithoutMeasurementsRoundTrips()
    {
        QListWidget rows;
        MeterRecords records(&rows);
        records.addMeter(Meter(meterInfo("AA:BB:CC:DD:EE:01")), "M27K53C", false);
        const QString path = freshPath();
        writeStore(path, Options{true, true, 1}, records);

        QSettings raw(path, QSettings::IniFormat);
        QCOMPARE(raw.allKeys(), QStringList({"darkMode", "deviceList/1/buttonName",
                                            "deviceList/1/deviceAdress",
                                            "deviceList/1/deviceName",
                                            "deviceList/1/points/size",
                                            "deviceList/1/pointsNumber/size",
                                            "deviceList/size", "language", "tovik"}));
        QCOMPARE(raw.value("deviceList/1/points/size").toInt(), 0);
        QCOMPARE(raw.value("deviceList/1/pointsNumber/size").toInt(), 0);

        Loaded loaded;
        load(path, loaded);
        QCOMPARE(loaded.options.darkMode, true);
        QCOMPARE(loaded.options.tovik, true);
        QCOMPARE(loaded.options.language, 1);
        QCOMPARE(loaded.records.count(), 1);
        QCOMPARE(loaded.records.label(0), QString("M27K53C"));
        QCOMPARE(loaded.records.meter(0).pointsNumber.size(), 0);
        QCOMPARE(loaded.records.meter(0).points.size(), 0);
    }

    void measurementsShareOnePointArray()
    {
        QListWidget rows;
        MeterRecords records(&rows);
        records.addMeter(Meter(meterInfo("AA:BB:CC:DD:EE:01")), "Werkbank", false);
        records.addMeasurement(0, "2026-12-06 10:00:00.001001", pointsFrom(1, 3, 0.5),
                               texts("a", 3), {"m V ", "m V ", "m V ?"},
                               {"DC AUTO ", "DC AUTO ", "DC AUTO "});
        records.addMeasurement(0, "Zweite Messung", pointsFrom(1, 2, -7.25), texts("b", 2),
                               {"k Ω ", "k Ω "}, {"AUTO ", "REL "});
        const QString path = freshPath();
        writeStore(path, Options{}, records);

        QSettings raw(path, QSettings::IniFormat);
        QCOMPARE(raw.value("deviceList/size").toInt(), 1);
        QCOMPARE(raw.value("deviceList/1/points/size").toInt(), 5);
        QCOMPARE(raw.value("deviceList/1/pointsNumber/size").toInt(), 2);
        QCOMPARE(raw.value("deviceList/1/pointsNumber/1/pointNumber").toInt(), 3);
        QCOMPARE(raw.value("deviceList/1/pointsNumber/2/pointNumber").toInt(), 2);
        QCOMPARE(raw.value("deviceList/1/pointsNumber/2/measureNames").toString(),
                 QString("Zweite Messung"));
        QCOMPARE(raw.value("deviceList/1/points/4/point").toPointF(), QPointF(1, -6.25));
        QCOMPARE(raw.value("deviceList/1/points/5/unit").toString(), QString("k Ω "));
        QCOMPARE(raw.value("deviceList/1/points/5/settings").toString(), QString("REL "));
        QCOMPARE(raw.value("deviceList/1/points/3/timestamp").toString(), QString("a2"));

        Loaded loaded;
        load(path, loaded);
        const Meter &m = loaded.records.meter(0);
        QCOMPARE(loaded.records.label(0), QString("Werkbank"));
        QCOMPARE(m.pointsNumber, QList<int>({3, 2}));
        QCOMPARE(m.measureNames,
                 QStringList({"2026-12-06 10:00:00.001001", "Zweite Messung"}));
        QCOMPARE(m.savedSeries[0]->count(), 3);
        QCOMPARE(m.savedSeries[1]->count(), 2);
        QCOMPARE(m.savedSeries[1]->at(0), QPointF(1, -6.25));
        QCOMPARE(loaded.records.offset(0, 1), 3);
        QCOMPARE(m.points[3], QPointF(1, -6.25));
        QCOMPARE(m.units, QStringList({"m V ", "m V ", "m V ?", "k Ω ", "k Ω "}));
        QCOMPARE(m.settingTexts[4], QString("REL "));
        QCOMPARE(m.timestamps, QStringList({"a0", "a1", "a2", "b0", "b1"}));
    }

    void addressIsWrittenInColonForm()
    {
        QListWidget rows;
        MeterRecords records(&rows);
        records.addMeter(Meter(meterInfo("0a:1b:2c:3d:4e:5f")), "M27K53C", false);
        const QString path = freshPath();
        writeStore(path, Options{}, records);

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY2(bytes.contains("1\\deviceAdress=0A:1B:2C:3D:4E:5F\n"), bytes.constData());
        QVERIFY(bytes.contains("1\\deviceName=M27K53C\n"));

        Loaded loaded;
        load(path, loaded);
        QCOMPARE(loaded.records.meter(0).device.address().toString(),
                 QString("0A:1B:2C:3D:4E:5F"));
        QCOMPARE(loaded.records.meter(0).device.name(), QString("M27K53C"));
    }

    void entriesBeyondTheSizeAreNeverRead()
    {
        const QString path = freshPath();
        {
            QListWidget rows;
            MeterRecords records(&rows);
            for (int i = 0; i < 3; ++i)
                records.addMeter(Meter{meterInfo(QString("AA:BB:CC:DD:EE:0%1").arg(i))},
                                 QString("Meter %1").arg(i), false);
            writeStore(path, Options{}, records);
            records.removeMeter(0);
            records.removeMeter(0);
            writeStore(path, Options{}, records);
        }
        QSettings raw(path, QSettings::IniFormat);
        QVERIFY(raw.contains("deviceList/3/buttonName"));

        Loaded loaded;
        load(path, loaded);
        QCOMPARE(loaded.records.count(), 1);
        QCOMPARE(loaded.records.label(0), QString("Meter 2"));
    }

    void recordOperationsKeepTheListsInStep()
    {
        QListWidget rows;
        MeterRecords records(&rows);
        records.addMeter(Meter(meterInfo("AA:BB:CC:DD:EE:01")), "First", false);
        records.addMeter(Meter(meterInfo("AA:BB:CC:DD:EE:02")), "Second", true);
        records.addMeasurement(1, "one", pointsFrom(1, 4, 0), texts("a", 4), texts("u", 4),
                               texts("s", 4));
        records.addMeasurement(1, "two", pointsFrom(1, 2, 100), texts("b", 2), texts("v", 2),
                               texts("t", 2));
        records.addMeasurement(1, "three", pointsFrom(1, 3, 200), texts("c", 3),
                               texts("w", 3), texts("r", 3));
        verifyConsistent(records, rows);
        QCOMPARE(records.offset(1, 2), 6);

        records.removeMeasurement(1, 1);
        verifyConsistent(records, rows);
        QCOMPARE(records.meter(1).measureNames, QStringList({"one", "three"}));
        QCOMPARE(records.meter(1).timestamps,
                 QStringList({"a0", "a1", "a2", "a3", "c0", "c1", "c2"}));
        QCOMPARE(records.meter(1).points[4], QPointF(1, 201));

        records.renameMeasurement(1, 1, "renamed");
        QCOMPARE(records.meter(1).measureNames[1], QString("renamed"));
        records.relabel(0, "Labelled");
        QCOMPARE(rows.item(0)->text(), QString("Labelled"));

        // Identity is address and advertised name, whatever the label.
        QVERIFY(records.contains(meterInfo("AA:BB:CC:DD:EE:01")));
        QVERIFY(!records.contains(meterInfo("AA:BB:CC:DD:EE:01", "M27K53CX")));
        QVERIFY(!records.contains(meterInfo("AA:BB:CC:DD:EE:03")));

        records.removeMeter(0);
        verifyConsistent(records, rows);
        QCOMPARE(rows.item(0)->text(), QString("Second"));
        QCOMPARE(records.meter(0).device.address().toString(), QString("AA:BB:CC:DD:EE:02"));
    }

    void itemColoursFollowTheTheme()
    {
        QListWidget rows;
        MeterRecords records(&rows);
        records.addMeter(Meter(meterInfo("AA:BB:CC:DD:EE:01")), "Light", false);
        records.addMeter(Meter(meterInfo("AA:BB:CC:DD:EE:02")), "Dark", true);
        QCOMPARE(rows.item(0)->background().color(), QColor("#EEEEEE"));
        QCOMPARE(rows.item(0)->foreground().color(), QColor(Qt::black));
        QCOMPARE(rows.item(1)->background().color(), QColor("#555555"));
        QCOMPARE(rows.item(1)->foreground().color(), QColor(Qt::white));
        QCOMPARE(rows.item(1)->background().style(), Qt::SolidPattern);

        records.recolour(true);
        QCOMPARE(rows.item(0)->background().color(), QColor("#555555"));
        QCOMPARE(rows.item(0)->foreground().color(), QColor(Qt::white));
        records.recolour(false);
        QCOMPARE(rows.item(1)->background().color(), QColor("#EEEEEE"));
        QCOMPARE(rows.item(1)->foreground().color(), QColor(Qt::black));
    }

    void badOptionsReadAsDefaults_data()
    {
        QTest::addColumn<QVariant>("language");
        QTest::addColumn<QVariant>("darkMode");
        QTest::addColumn<int>("expectedLanguage");
        QTest::addColumn<bool>("expectedDark");
        QTest::newRow("valid") << QVariant(1) << QVariant(true) << 1 << true;
        QTest::newRow("language 7") << QVariant(7) << QVariant(false) << 0 << false;
        QTest::newRow("language -1") << QVariant(-1) << QVariant("false") << 0 << false;
        QTest::newRow("language text") << QVariant("English") << QVariant("yes") << 0 << false;
        QTest::newRow("huge language") << QVariant("99999999999999") << QVariant(2) << 0 << false;
        QTest::newRow("point values") << QVariant(QPointF(1, 1)) << QVariant(QPointF(1, 0)) << 0
                                      << false;
    }

    void badOptionsReadAsDefaults()
    {
        QFETCH(QVariant, language);
        QFETCH(QVariant, darkMode);
        const QString path = freshPath();
        {
            QSettings s(path, QSettings::IniFormat);
            s.setValue("language", language);
            s.setValue("darkMode", darkMode);
        }
        Loaded loaded;
        load(path, loaded);
        QTEST(loaded.options.language, "expectedLanguage");
        QTEST(loaded.options.darkMode, "expectedDark");
    }

    void countsAreFittedToThePoints_data()
    {
        QTest::addColumn<int>("pointCount");
        QTest::addColumn<QList<QVariant>>("counts");
        QTest::addColumn<QList<int>>("expectedCounts");
        QTest::addColumn<QStringList>("expectedNames");
        QTest::addColumn<int>("expectedPoints");

        QTest::newRow("exact") << 5 << QList<QVariant>{3, 2} << QList<int>{3, 2}
                               << QStringList{"m0", "m1"} << 5;
        QTest::newRow("too many") << 5 << QList<QVariant>{3, 5} << QList<int>{3, 2}
                                  << QStringList{"m0", "m1"} << 5;
        QTest::newRow("too few") << 5 << QList<QVariant>{2} << QList<int>{2}
                                 << QStringList{"m0"} << 2;
        QTest::newRow("negative") << 5 << QList<QVariant>{-1, 2} << QList<int>{2}
                                  << QStringList{"m1"} << 2;
        QTest::newRow("zero in between") << 5 << QList<QVariant>{2, 0, 2} << QList<int>{2, 2}
                                         << QStringList{"m0", "m2"} << 4;
        QTest::newRow("past the end") << 3 << QList<QVariant>{3, 4, 1} << QList<int>{3}
                                      << QStringList{"m0"} << 3;
        QTest::newRow("no counts") << 5 << QList<QVariant>{} << QList<int>{} << QStringList{}
                                   << 0;
        QTest::newRow("not a number") << 4 << QList<QVariant>{"many", 4} << QList<int>{4}
                                      << QStringList{"m1"} << 4;
        QTest::newRow("huge") << 4 << QList<QVariant>{2147483647, 2147483647} << QList<int>{4}
                              << QStringList{"m0"} << 4;
        QTest::newRow("no points") << 0 << QList<QVariant>{3, 2} << QList<int>{}
                                   << QStringList{} << 0;
    }

    void countsAreFittedToThePoints()
    {
        QFETCH(int, pointCount);
        QFETCH(QList<QVariant>, counts);
        const QString path = freshPath();
        {
            QSettings s(path, QSettings::IniFormat);
            writeRawMeter(s, pointCount, counts);
        }
        Loaded loaded;
        load(path, loaded);
        QCOMPARE(loaded.records.count(), 1);
        const Meter &m = loaded.records.meter(0);
        QTEST(m.pointsNumber, "expectedCounts");
        QTEST(m.measureNames, "expectedNames");
        QTEST(int(m.points.size()), "expectedPoints");
        // Kept points stay in their stored order.
        for (int j = 0; j < m.points.size(); ++j) {
            QCOMPARE(m.points[j], QPointF(j + 1, 10 * (j + 1)));
            QCOMPARE(m.timestamps[j], QString("t%1").arg(j));
        }
    }

    void forgedSizesAndTypesReadAsEmpty()
    {
        const QString path = freshPath();
        {
            QSettings s(path, QSettings::IniFormat);
            writeRawMeter(s, 3, {3});
            // The meter array claims a million entries and the point array nearly all of int.
            s.setValue("deviceList/size", 1000000);
            s.setValue("deviceList/1/points/size", 2147483647);
            s.setValue("deviceList/1/points/2/point", "not a point");
            s.setValue("deviceList/1/points/3/timestamp", QPointF(4, 2));
            s.setValue("deviceList/1/deviceAdress", "no:address");
            s.remove("deviceList/1/points/1/unit");
        }
        Loaded loaded;
        load(path, loaded);
        QCOMPARE(loaded.records.count(), 1);
        const Meter &m = loaded.records.meter(0);
        QCOMPARE(m.pointsNumber, QList<int>({3}));
        QCOMPARE(m.points, QList<QPointF>({QPointF(1, 10), QPointF(0, 0), QPointF(3, 30)}));
        QCOMPARE(m.timestamps, QStringList({"t0", "t1", ""}));
        QCOMPARE(m.units, QStringList({"", "V ", "V "}));
        QVERIFY(m.device.address().isNull());
        QCOMPARE(m.device.name(), QString("M27K53C"));
        QCOMPARE(loaded.records.label(0), QString("Bench"));
    }

    void missingEntriesInsideTheSizeReadAsEmpty()
    {
        const QString path = freshPath();
        {
            QSettings s(path, QSettings::IniFormat);
            writeRawMeter(s, 2, {2});
            s.setValue("deviceList/size", 3);
            s.setValue("deviceList/3/buttonName", "Third");
            s.setValue("deviceList/3/points/size", -5);
            s.setValue("deviceList/3/pointsNumber/size", "lots");
        }
        Loaded loaded;
        load(path, loaded);
        QCOMPARE(loaded.records.count(), 3);
        QCOMPARE(loaded.records.label(1), QString());
        QVERIFY(loaded.records.meter(1).device.address().isNull());
        QCOMPARE(loaded.records.label(2), QString("Third"));
        QCOMPARE(loaded.records.meter(2).points.size(), 0);
        QCOMPARE(loaded.records.meter(2).pointsNumber.size(), 0);
    }

    void negativeMeterCountMeansNoMeters()
    {
        const QString path = freshPath();
        {
            QSettings s(path, QSettings::IniFormat);
            writeRawMeter(s, 2, {2});
            s.setValue("deviceList/size", -4);
        }
        Loaded loaded;
        load(path, loaded);
        QCOMPARE(loaded.records.count(), 0);
    }
};

KALVION_TEST_MAIN(StoreTest)
#include "tst_store.moc"
