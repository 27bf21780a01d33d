#include "support/testmain.h"

#include <QDataStream>
#include <QFile>
#include <QImage>
#include <QImageReader>

// The animation and the sounds as they are compiled into the program: the timings of the
// startup animation rest on their frame counts, delays and lengths.
class MediaTest : public QObject
{
    Q_OBJECT

private:
    struct Wave {
        int format = 0;
        int channels = 0;
        int sampleRate = 0;
        int bitsPerSample = 0;
        qint64 dataBytes = 0;
    };

    // Walks the RIFF chunks of a WAV file for its format and the length of its samples.
    static Wave readWave(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.read(4) != "RIFF")
            return {};
        QDataStream in(&file);
        in.setByteOrder(QDataStream::LittleEndian);
        in.skipRawData(4);
        if (file.read(4) != "WAVE")
            return {};
        Wave wave;
        while (!in.atEnd() && in.status() == QDataStream::Ok) {
            const QByteArray id = file.read(4);
            quint32 size = 0;
            in >> size;
            if (id == "fmt " && size >= 16) {
                quint16 format, channels, bits;
                quint32 rate;
                in >> format >> channels >> rate;
                in.skipRawData(6); // byte rate and block size follow from the others
                in >> bits;
                wave = { format, channels, int(rate), bits, wave.dataBytes };
                size -= 16;
            } else if (id == "data") {
                wave.dataBytes = size;
            }
            in.skipRawData(int(size + (size & 1)));
        }
        return wave;
    }

private slots:
    void animationPlaysFor145FramesAndLoops()
    {
        QImageReader reader(":/gif/tovik.gif");
        QCOMPARE(reader.format(), QByteArray("gif"));
        QCOMPARE(reader.size(), QSize(1080, 1920));
        QCOMPARE(reader.imageCount(), 145);
        QCOMPARE(reader.loopCount(), -1); // without end
        QImage frame;
        QImage last;
        int frames = 0;
        while (reader.read(&frame)) {
            QCOMPARE(reader.nextImageDelay(), 40);
            last = frame;
            ++frames;
        }
        QCOMPARE(frames, 145);

        // The still is a one-frame GIF under a PNG name, and the same picture as the last frame.
        QFile stillFile(":/image/tovik_last_frame.png");
        QVERIFY(stillFile.open(QIODevice::ReadOnly));
        QVERIFY(stillFile.peek(6) == "GIF89a" || stillFile.peek(6) == "GIF87a");
        stillFile.close();
        QImageReader still(":/image/tovik_last_frame.png");
        QCOMPARE(still.format(), QByteArray("gif"));
        QCOMPARE(still.imageCount(), 1);
        const QImage picture = still.read();
        QCOMPARE(picture.size(), QSize(1080, 1920));
        QCOMPARE(picture.convertToFormat(QImage::Format_RGB32),
            last.convertToFormat(QImage::Format_RGB32));
    }

    void soundsAreCdQualityStereo_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("milliseconds");
        QTest::newRow("footsteps") << ":/sound/footsteps.wav" << 5000;
        QTest::newRow("buzz") << ":/sound/buzz.wav" << 1090;
    }

    void soundsAreCdQualityStereo()
    {
        QFETCH(QString, path);
        QFETCH(int, milliseconds);
        const Wave wave = readWave(path);
        QCOMPARE(wave.format, 1); // PCM
        QCOMPARE(wave.channels, 2);
        QCOMPARE(wave.sampleRate, 44100);
        QCOMPARE(wave.bitsPerSample, 16);
        const qint64 length = wave.dataBytes * 1000 / (44100 * 2 * 2);
        QVERIFY2(qAbs(length - milliseconds) < 10, qPrintable(QString::number(length)));
    }
};

KALVION_TEST_MAIN(MediaTest)
#include "tst_media.moc"
