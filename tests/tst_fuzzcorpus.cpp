#include "fuzz/targets.h"
#include "support/testmain.h"

#include <QDir>

// Replays every input the fuzzers kept, crashes they found included, through the same checks.
class FuzzCorpusTest : public QObject
{
    Q_OBJECT

private:
    static void replay(const QString &corpus, void (*target)(const uint8_t *, size_t))
    {
        const QDir dir(KALVION_SOURCE_DIR "/fuzz/corpus/" + corpus);
        const QStringList inputs = dir.entryList(QDir::Files);
        QVERIFY2(!inputs.isEmpty(), qPrintable(dir.path()));
        for (const QString &name : inputs) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray data = file.readAll();
            target(reinterpret_cast<const uint8_t *>(data.constData()), size_t(data.size()));
        }
    }

private slots:
    void decoderCorpus() { replay("decoder", fuzzDecoder); }
    void storeCorpus() { replay("store", fuzzStore); }
};

KALVION_TEST_MAIN(FuzzCorpusTest)
#include "tst_fuzzcorpus.moc"
