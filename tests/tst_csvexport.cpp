#include "store/csvexport.h"
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
        QVERIFY(Csv::save(path, "older export\n"));
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        for (int size : { 10000, 100000 }) {
            const rlimit limited{ 4096, old.rlim_max };
            setrlimit(RLIMIT_FSIZE, &limited);
            const bool saved = Csv::save(path, QByteArray(size, 'x'));
            setrlimit(RLIMIT_FSIZE, &old);
            QVERIFY2(!saved, qPrintable(QString::number(size)));
            QCOMPARE(fileBytes(path), QByteArray("older export\n"));
            QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden),
                QStringList({ "kept.csv" }));
        }
    }
};

KALVION_TEST_MAIN(CsvExportTest)
#include "tst_csvexport.moc"
