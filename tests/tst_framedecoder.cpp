#include "live/framedecoder.h"
#include "support/frame.h"
#include "support/testmain.h"

#include <QDateTime>

#include <algorithm>

// The meter's display frames into digits, value and indicator words, with hand-built payloads.
class FrameDecoderTest : public QObject
{
    Q_OBJECT

    const QDateTime someTime{ QDate(2024, 3, 5), QTime(14, 7, 9, 42) };
    Reading decoded(const QByteArray &hex)
    {
        return decodeFrame(hex, someTime).value_or(Reading());
    }
    static QStringList digits(const Reading &r)
    {
        return { r.digit1, r.digit2, r.digit3, r.digit4 };
    }

private slots:
    void numbers_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QString>("digits");
        QTest::addColumn<float>("value");
        QTest::newRow("all dark") << frame("    ") << "? ? ? ?" << 999999.0f;
        QTest::newRow("12.34") << frame("1234", {}, 2) << "1 2. 3 4" << 12.34f;
        QTest::newRow("0.042") << frame("0042", {}, 1) << "0. 0 4 2" << 0.042f;
        QTest::newRow("987.6") << frame("9876", {}, 3) << "9 8 7. 6" << 987.6f;
        QTest::newRow("minus is no digit") << frame("1500", { 4 }) << "1 5 0 0" << 1500.0f;
        QTest::newRow("letter L") << frame("1L34") << "1 ? 3 4" << 999999.0f;
        QTest::newRow("blank") << frame("123 ", {}, 1) << "1. 2 3 ?" << 999999.0f;
        QTest::newRow("point after L") << frame("1L34", {}, 2) << "1 ?. 3 4" << 0.0f;
        QTest::newRow("two points") << frame("1234", { 12 }, 2) << "1. 2. 3 4" << 0.0f;
    }

    void numbers()
    {
        QFETCH(QByteArray, frame);
        const Reading r = decoded(frame);
        QTEST(digits(r).join(' ').replace("abnormality", "?"), "digits");
        QTEST(r.value, "value");
    }

    // All 128 patterns of each position: exactly the ten digits, each by its own pattern.
    void everySegmentPatternOfEveryPosition()
    {
        for (int position = 1; position <= 4; ++position) {
            QString found;
            for (int pattern = 0; pattern < 128; ++pattern) {
                QByteArray letters;
                for (int s = 0; s < 7; ++s)
                    letters += pattern & (1 << s) ? QByteArray(1, "abcdefg"[s]) : QByteArray();
                const QString text = digits(
                    decoded(Frame().digit(position, letters.constData()).hex()))[position - 1];
                if (text != "abnormality") {
                    QCOMPARE(letters, QByteArray(Frame::segmentsOf(text.at(0).toLatin1())));
                    found += text;
                }
            }
            std::sort(found.begin(), found.end());
            QCOMPARE(found, "0123456789");
        }
    }

    // Each indicator alone gives its word; all of them give every word, in this order.
    void indicatorWords()
    {
        const QList<std::pair<int, QString>> units = { { 36, "mü " }, { 37, "n " }, { 38, "k " },
            { 40, "m " }, { 42, "M " }, { 41, "% " }, { 44, "F " }, { 45, "Ohm " }, { 53, "°C " },
            { 52, "°F " }, { 47, "H " }, { 48, "A " }, { 49, "V " }, { 50, "Hz " } };
        const QList<std::pair<int, QString>> settings = { { 0, "AC " }, { 1, "DC " },
            { 2, "AUTO " }, { 3, "USB " }, { 39, "Diode " }, { 43, "Sound " }, { 46, "REL " },
            { 51, "Battery " }, { 56, "APO " }, { 57, "MIN " }, { 58, "MAX " }, { 55, "NCV " } };
        Frame all;
        QString unitText, settingsText;
        for (const auto *words : { &units, &settings }) {
            for (const auto &[index, word] : *words) {
                const Reading r = decoded(Frame().light(index).hex());
                QCOMPARE(r.unit + "|" + r.settings, words == &units ? word + "|" : "|" + word);
                (words == &units ? unitText : settingsText) += word;
                all.light(index);
            }
        }
        const Reading r = decoded(all.light(54).hex());
        QCOMPARE(r.unit, unitText);
        QCOMPARE(r.settings, settingsText);
    }

    // High nibbles and bytes after the 15th are ignored; a short or non-hex frame is refused.
    void payloads()
    {
        const QByteArray good = frame("4271", { 4, 40, 49, 58 }, 2);
        const Reading plain = decoded(good);
        QCOMPARE(plain.value, 42.71f);
        QList<QByteArray> same = { good + "0a0b", good + "ZZ" };
        for (int byte = 0; byte < 15; ++byte) {
            for (char high : QByteArray("9fAZ ~\x80"))
                same << QByteArray(good).replace(2 * byte, 1, QByteArray(1, high));
        }
        for (const QByteArray &hex : same) {
            const Reading r = decoded(hex);
            QVERIFY2(r.segments == plain.segments && r.value == plain.value && r.unit == plain.unit
                    && r.settings == plain.settings,
                hex.constData());
        }
        QVERIFY(!decodeFrame(QByteArray(), someTime));
        // Cut out of a good frame without a terminator, so a read past the end would succeed.
        QVERIFY(!decodeFrame(QByteArray::fromRawData(good.constData(), 29), someTime));
        QVERIFY(!decodeFrame(QByteArray::fromRawData(good.constData(), 28), someTime));
        for (int byte : { 0, 7, 14 }) {
            for (char bad : QByteArray("AFgz :\xc3\0", 8))
                QVERIFY(!decodeFrame(
                    QByteArray(good).replace(2 * byte + 1, 1, QByteArray(1, bad)), someTime));
        }
    }

    // Qt writes the six z as the milliseconds twice; stored series carry exactly this.
    void timestamp() { QCOMPARE(decoded(frame("    ")).timestamp, "2024-03-05 14:07:09.042042"); }
};

KALVION_TEST_MAIN(FrameDecoderTest)
#include "tst_framedecoder.moc"
