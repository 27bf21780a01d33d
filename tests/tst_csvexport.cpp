#include "app/csvexport.h"
#include "app/meterrecords.h"
#include "support/testmain.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

struct CsvSample {
    double value;
    QString unit;
    QString settings;
    QString time;
};
Q_DECLARE_METATYPE(CsvSample)

// The CSV file of a stored measurement, byte for byte, and how it replaces a file: whole, or
// not at all.
class CsvExportTest : public QObject
{
    Q_OBJECT

private:
    using Sample = CsvSample;

    QTemporaryDir dir;

    const CsvHeads german{"Messung", "Gerät:", "Einstellungen:", "Messwert", "Einheit", "Zeit"};
    const CsvHeads english{"Measurement", "Device:", "Settings:", "Data", "Unit", "Time"};

    // One meter whose measurements are given in order, each a list of samples.
    static void addMeter(MeterRecords &records, const QList<QList<Sample>> &measurements)
    {
        records.addMeter(Meter(QBluetoothDeviceInfo(QBluetoothAddress("C8:27:53:0C:00:1F"),
                                                    "M27K53C", 0)),
                         "Werkbank", false);
        const int i = records.count() - 1;
        for (const QList<Sample> &samples : measurements) {
            QList<QPointF> points;
            QStringList times, units, settings;
            for (const Sample &s : samples) {
                points.append(QPointF(points.size() + 1, s.value));
                times.append(s.time);
                units.append(s.unit);
                settings.append(s.settings);
            }
            records.addMeasurement(i, times.value(0, "leer"), points, times, units, settings);
        }
    }

    static QByteArray fileBytes(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(no file)");
    }

private slots:
    void fileMatchesByteForByte_data()
    {
        QTest::addColumn<QList<Sample>>("samples");
        QTest::addColumn<bool>("inEnglish");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("settings never change")
                << QList<Sample>{{12.5, "V ", "DC AUTO ", "2026-12-06 10:00:00.100100"},
                                 {12.75, "V ", "DC AUTO ", "2026-12-06 10:00:00.400400"},
                                 {-3, "m V ", "DC AUTO ", "2026-12-06 10:00:00.700700"}}
                << false
                << QByteArray("Messung2026-12-06 10:00:00.100100\n"
                              "Gerät:C8:27:53:0C:00:1F\n"
                              "\n"
                              "Einstellungen:DC AUTO ,2026-12-06 10:00:00.100100\n"
                              "\n"
                              "Messwert,Einheit,Zeit\n"
                              "12.5,V ,2026-12-06 10:00:00.100100\n"
                              "12.75,V ,2026-12-06 10:00:00.400400\n"
                              "-3,m V ,2026-12-06 10:00:00.700700\n");

        QTest::newRow("settings change at the third point")
                << QList<Sample>{{1, "V ", "DC AUTO ", "t1"},
                                 {2, "V ", "DC AUTO ", "t2"},
                                 {3, "V ", "AC AUTO ", "t3"},
                                 {4, "V ", "AC AUTO ", "t4"}}
                << true
                << QByteArray("Measurementt1\n"
                              "Device:C8:27:53:0C:00:1F\n"
                              "\n"
                              "Settings:DC AUTO ,t1\n"
                              "Settings:AC AUTO ,t3\n"
                              "\n"
                              "Data,Unit,Time\n"
                              "1,V ,t1\n"
                              "2,V ,t2\n"
                              "3,V ,t3\n"
                              "4,V ,t4\n");

        QTest::newRow("settings differ only in case and come back")
                << QList<Sample>{{1, "V ", "DC ", "t1"},
                                 {1, "V ", "dc ", "t2"},
                                 {1, "V ", "DC ", "t3"}}
                << true
                << QByteArray("Measurementt1\nDevice:C8:27:53:0C:00:1F\n\n"
                              "Settings:DC ,t1\nSettings:dc ,t2\nSettings:DC ,t3\n\n"
                              "Data,Unit,Time\n1,V ,t1\n1,V ,t2\n1,V ,t3\n");

        QTest::newRow("unreadable samples")
                << QList<Sample>{{0, "m V ?", "DC ", "t1"},
                                 {7.25, "k Ω ", "DC ", "t2"},
                                 {0, "?k Ω ?", "DC ", "t3"}}
                << false
                << QByteArray("Messungt1\nGerät:C8:27:53:0C:00:1F\n\n"
                              "Einstellungen:DC ,t1\n\n"
                              "Messwert,Einheit,Zeit\n"
                              "0.L,m V ,t1\n"
                              "7.25,k Ω ,t2\n"
                              "0.L,k Ω ,t3\n");

        QTest::newRow("numbers with six significant digits")
                << QList<Sample>{{1.5, "V ", "", "a"},
                                 {0, "V ", "", "b"},
                                 {2500000, "V ", "", "c"},
                                 {0.00001, "V ", "", "d"},
                                 {123456789, "V ", "", "e"},
                                 {0.0001, "V ", "", "f"},
                                 {100000, "V ", "", "g"},
                                 {-1.0 / 3, "V ", "", "h"}}
                << true
                << QByteArray("Measurementa\nDevice:C8:27:53:0C:00:1F\n\n"
                              "Settings:,a\n\n"
                              "Data,Unit,Time\n"
                              "1.5,V ,a\n"
                              "0,V ,b\n"
                              "2.5e+06,V ,c\n"
                              "1e-05,V ,d\n"
                              "1.23457e+08,V ,e\n"
                              "0.0001,V ,f\n"
                              "100000,V ,g\n"
                              "-0.333333,V ,h\n");

        // Only a store written elsewhere holds one; it still gets its heads.
        QTest::newRow("no points") << QList<Sample>{} << false
                                   << QByteArray("Messungleer\nGerät:C8:27:53:0C:00:1F\n\n\n"
                                                 "Messwert,Einheit,Zeit\n");
    }

    void fileMatchesByteForByte()
    {
        QFETCH(QList<Sample>, samples);
        QFETCH(bool, inEnglish);
        QFETCH(QByteArray, expected);

        QListWidget rows;
        MeterRecords records(&rows);
        addMeter(records, {samples});
        const QString path = dir.filePath("export.csv");
        QVERIFY(Csv::save(path, Csv::text(records, 0, 0, inEnglish ? english : german)));
        QCOMPARE(fileBytes(path), expected);
    }

    void laterMeasurementsStartAtTheirOwnPoints()
    {
        QListWidget rows;
        MeterRecords records(&rows);
        addMeter(records, {{{1, "V ", "DC ", "a1"}, {2, "V ", "DC ", "a2"}},
                           {{30, "A ", "AC ", "b1"}, {40, "A ", "DC ", "b2"}},
                           {{500, "Hz ", "", "c1"}}});
        records.renameMeasurement(0, 1, "Zweite, umbenannt");
        QCOMPARE(Csv::text(records, 0, 1, german),
                 QByteArray("MessungZweite, umbenannt\nGerät:C8:27:53:0C:00:1F\n\n"
                            "Einstellungen:AC ,b1\nEinstellungen:DC ,b2\n\n"
                            "Messwert,Einheit,Zeit\n30,A ,b1\n40,A ,b2\n"));
        QCOMPARE(Csv::text(records, 0, 2, english),
                 QByteArray("Measurementc1\nDevice:C8:27:53:0C:00:1F\n\nSettings:,c1\n\n"
                            "Data,Unit,Time\n500,Hz ,c1\n"));
    }

    void secondExportReplacesTheFirstWhole()
    {
        QListWidget rows;
        MeterRecords records(&rows);
        QList<Sample> longer;
        for (int j = 0; j < 50; ++j)
            longer.append({j * 0.5, "V ", "DC ", QString("t%1").arg(j)});
        addMeter(records, {longer, {{9, "A ", "AC ", "u"}}});
        const QString path = dir.filePath("again.csv");
        QVERIFY(Csv::save(path, Csv::text(records, 0, 0, german)));
        QVERIFY(fileBytes(path).size() > 500);
        QVERIFY(Csv::save(path, Csv::text(records, 0, 1, english)));
        QCOMPARE(fileBytes(path), QByteArray("Measurementu\nDevice:C8:27:53:0C:00:1F\n\n"
                                             "Settings:AC ,u\n\nData,Unit,Time\n9,A ,u\n"));
    }

    void unwritableFileLeavesNoTrace()
    {
        QVERIFY(!Csv::save(dir.filePath("missing/folder/x.csv"), "a\n"));
        QVERIFY(!QFile::exists(dir.filePath("missing")));

        // A file in the way of the folder: what root meets instead of a denied permission.
        QFile blocker(dir.filePath("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QVERIFY(!Csv::save(dir.filePath("blocker/x.csv"), "a\n"));
    }

    void failedWriteKeepsTheOlderFile_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("buffered") << 10000;
        QTest::newRow("written at once") << 100000;
    }

    void failedWriteKeepsTheOlderFile()
    {
        QFETCH(int, size);
        QTemporaryDir folder;
        const QString path = folder.filePath("kept.csv");
        QVERIFY(Csv::save(path, "older export\n"));

        // A full disk, as the file size limit makes it: the write breaks off part-way.
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit limited = old;
        limited.rlim_cur = 4096;
        setrlimit(RLIMIT_FSIZE, &limited);
        const bool saved = Csv::save(path, QByteArray(size, 'x'));
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);

        QVERIFY(!saved);
        QCOMPARE(fileBytes(path), QByteArray("older export\n"));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({"kept.csv"}));
    }
};

KALVION_TEST_MAIN(CsvExportTest)
#include "tst_csvexport.moc"
