#include "app/csvexport.h"
#include "app/meterrecords.h"
#include "support/testmain.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

// The CSV file of a stored measurement, byte for byte, and how it replaces a file: whole, or
// not at all.
class CsvExportTest : public QObject
{
    Q_OBJECT

private slots:
    // A later measurement of its meter, with unreadable samples, numbers of every size and
    // settings that change and come back.
    void fileMatchesByteForByte()
    {
        QListWidget rows;
        MeterRecords records(&rows);
        records.addMeter(
            Meter(QBluetoothDeviceInfo(QBluetoothAddress("C8:27:53:0C:00:1F"), "M27K53C", 0)),
            "Werkbank", false);
        records.addMeasurement(
            0, "erste", { { 1, 9 }, { 2, 9 } }, { "x1", "x2" }, { "A ", "A " }, { "AC ", "AC " });
        const QList<double> values = { 0, 2500000, 0, 0.00001, 123456789, -1.0 / 3 };
        QList<QPointF> points;
        QStringList times;
        for (int j = 0; j < values.size(); ++j) {
            points.append(QPointF(j + 1, values[j]));
            times.append(QString("t%1").arg(j + 1));
        }
        records.addMeasurement(0, "zweite", points, times,
            { "m V ?", "V ", "?k Ω ?", "V ", "m V ", "V " },
            { "DC AUTO ", "DC AUTO ", "AC ", "AC ", "DC AUTO ", "DC AUTO " });
        const CsvHeads heads{ "Messung", "Gerät:", "Einstellungen:", "Messwert", "Einheit",
            "Zeit" };
        QCOMPARE(Csv::text(records, 0, 1, heads),
            QByteArray("Messungzweite\nGerät:C8:27:53:0C:00:1F\n\n"
                       "Einstellungen:DC AUTO ,t1\nEinstellungen:AC ,t3\n"
                       "Einstellungen:DC AUTO ,t5\n\nMesswert,Einheit,Zeit\n"
                       "0.L,m V ,t1\n2.5e+06,V ,t2\n0.L,k Ω ,t3\n1e-05,V ,t4\n"
                       "1.23457e+08,m V ,t5\n-0.333333,V ,t6\n"));
    }

    // A full disk, as a file size limit makes it: the write breaks off part-way, once while
    // the file is buffered and once while it is written at once.
    void failedWriteKeepsTheOlderFile()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath("kept.csv");
        QVERIFY(Csv::save(path, "older export\n"));
        for (int size : { 10000, 100000 }) {
            const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
            rlimit old{};
            getrlimit(RLIMIT_FSIZE, &old);
            rlimit limited = old;
            limited.rlim_cur = 4096;
            setrlimit(RLIMIT_FSIZE, &limited);
            const bool saved = Csv::save(path, QByteArray(size, 'x'));
            setrlimit(RLIMIT_FSIZE, &old);
            std::signal(SIGXFSZ, oldHandler);

            QVERIFY2(!saved, qPrintable(QString::number(size)));
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("older export\n"));
            QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                QStringList({ "kept.csv" }));
        }
    }
};

KALVION_TEST_MAIN(CsvExportTest)
#include "tst_csvexport.moc"
