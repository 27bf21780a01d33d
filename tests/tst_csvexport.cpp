#include "store/csvexport.h"
#include "store/meterrecords.h"
#include "support/files.h"
#include "support/testmain.h"

#include <QDir>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

// How a CSV file replaces an older one: whole, or not at all.
class CsvExportTest : public QObject
{
    Q_OBJECT

private slots:
    // A full disk, as a file size limit makes it: the write breaks off part-way, once while
    // the file is buffered and once while it is written at once.
    void failedWriteKeepsTheOlderFile()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath("kept.csv");
        const auto measurement = [](int n) {
            MeterRecords records;
            records.addMeter(Meter());
            records.addMeasurement(0, "Akku", QList<QPointF>(n, { 1, 1.5 }),
                QStringList(n, "2026-12-06 14:07:09.042042"), QStringList(n, "V "),
                QStringList(n, "DC "));
            return records.measurement(0, 0);
        };
        const CsvHeads heads{ "Messung", "Gerät:", "Einstellungen:", "Messwert", "Einheit",
            "Zeit" };
        QVERIFY(Csv::save(path, measurement(1), "C8:27:53:0C:00:01", heads));
        const QByteArray older = fileBytes(path);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        for (int points : { 300, 3000 }) {
            const rlimit limited{ 4096, old.rlim_max };
            setrlimit(RLIMIT_FSIZE, &limited);
            const bool saved = Csv::save(path, measurement(points), "C8:27:53:0C:00:01", heads);
            setrlimit(RLIMIT_FSIZE, &old);
            QVERIFY2(!saved, qPrintable(QString::number(points)));
            QCOMPARE(fileBytes(path), older);
            QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                QStringList({ "kept.csv" }));
        }
    }
};

KALVION_TEST_MAIN(CsvExportTest)
#include "tst_csvexport.moc"
