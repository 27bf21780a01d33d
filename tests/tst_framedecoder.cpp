#include "live/framedecoder.h"
#include "support/frame.h"
#include "support/testmain.h"

#include <QDateTime>

#include <algorithm>

namespace {

const QDateTime someTime(QDate(2024, 3, 5), QTime(14, 7, 9, 42));

Reading decoded(const QByteArray &hex)
{
    return decodeFrame(hex, someTime).value_or(Reading());
}

QStringList digitsOf(const Reading &r)
{
    return { r.digit1, r.digit2, r.digit3, r.digit4 };
}

bool sameReading(const Reading &a, const Reading &b)
{
    return a.segments == b.segments && digitsOf(a) == digitsOf(b) && a.value == b.value
        && a.timestamp == b.timestamp && a.unit == b.unit && a.settings == b.settings;
}

// The indicator words by display bit, in the order the decoder writes them.
const QList<std::pair<int, QString>> unitWords = { { 36, "mü " }, { 37, "n " }, { 38, "k " },
    { 40, "m " }, { 42, "M " }, { 41, "% " }, { 44, "F " }, { 45, "Ohm " }, { 53, "°C " },
    { 52, "°F " }, { 47, "H " }, { 48, "A " }, { 49, "V " }, { 50, "Hz " } };
const QList<std::pair<int, QString>> settingsWords = { { 0, "AC " }, { 1, "DC " }, { 2, "AUTO " },
    { 3, "USB " }, { 39, "Diode " }, { 43, "Sound " }, { 46, "REL " }, { 51, "Battery " },
    { 56, "APO " }, { 57, "MIN " }, { 58, "MAX " }, { 55, "NCV " } };

} // namespace

// The meter's display frames into digits, value and indicator words, with hand-built payloads.
class FrameDecoderTest : public QObject
{
    Q_OBJECT

private slots:
    void numbers_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QStringList>("digits");
        QTest::addColumn<float>("value");
        const QString x = "abnormality";
        QTest::newRow("all dark") << frame("    ") << QStringList(4, x) << 999999.0f;
        QTest::newRow("12.34") << frame("1234", {}, 2) << QStringList{ "1", "2.", "3", "4" }
                               << 12.34f;
        QTest::newRow("0.042") << frame("0042", {}, 1) << QStringList{ "0.", "0", "4", "2" }
                               << 0.042f;
        QTest::newRow("987.6") << frame("9876", {}, 3) << QStringList{ "9", "8", "7.", "6" }
                               << 987.6f;
        QTest::newRow("minus stays out of the value")
            << frame("1500", { 4 }) << QStringList{ "1", "5", "0", "0" } << 1500.0f;
        QTest::newRow("letter L") << frame("1L34") << QStringList{ "1", x, "3", "4" } << 999999.0f;
        QTest::newRow("blank") << frame("123 ", {}, 1) << QStringList{ "1.", "2", "3", x }
                               << 999999.0f;
        QTest::newRow("point after an unreadable digit")
            << frame("1L34", {}, 2) << QStringList{ "1", x + ".", "3", "4" } << 0.0f;
        QTest::newRow("two points")
            << frame("1234", { 12 }, 2) << QStringList{ "1.", "2.", "3", "4" } << 0.0f;
    }

    void numbers()
    {
        QFETCH(QByteArray, frame);
        const Reading r = decoded(frame);
        QTEST(digitsOf(r), "digits");
        QTEST(r.value, "value");
    }

    // All 128 patterns of each position: exactly the ten digits, each by its own pattern.
    void everySegmentPatternOfEveryPosition()
    {
        for (int position = 1; position <= 4; ++position) {
            QString found;
            for (int pattern = 0; pattern < 128; ++pattern) {
                QByteArray letters;
                for (int s = 0; s < 7; ++s) {
                    if (pattern & (1 << s))
                        letters += "abcdefg"[s];
                }
                const QString text = digitsOf(
                    decoded(Frame().digit(position, letters.constData()).hex()))[position - 1];
                if (text == "abnormality")
                    continue;
                QCOMPARE(letters, QByteArray(Frame::patternOf(text.at(0).toLatin1())));
                found += text;
            }
            std::sort(found.begin(), found.end());
            QCOMPARE(found, "0123456789");
        }
    }

    void indicatorWords()
    {
        for (const auto *words : { &unitWords, &settingsWords }) {
            Frame all;
            QString text;
            for (const auto &[index, word] : *words) {
                const Reading r = decoded(Frame().light(index).hex());
                QCOMPARE(words == &unitWords ? r.unit : r.settings, word);
                QCOMPARE(words == &unitWords ? r.settings : r.unit, QString());
                all.light(index);
                text += word;
            }
            const Reading r = decoded(all.hex());
            QCOMPARE(words == &unitWords ? r.unit : r.settings, text);
        }
        QCOMPARE(decoded(frame("    ", { 54 })).unit + decoded(frame("    ", { 54 })).settings, "");
    }

    // High nibbles and bytes after the 15th change nothing.
    void ignoredParts()
    {
        const Frame rich = Frame().digits("4271").light(20).light(4).light(40).light(49).light(58);
        const Reading plain = decoded(rich.hex());
        QCOMPARE(plain.value, 42.71f);
        QList<QByteArray> same;
        for (char high : QByteArray("19afAZ ~\x80"))
            same << rich.hex(high);
        for (int byte = 0; byte < 15; ++byte)
            same << rich.hex().replace(2 * byte, 1, "f");
        for (int bytes : { 16, 40 })
            same << rich.hex('0', bytes) << rich.hex() + QByteArray(2 * (bytes - 15), 'Z');
        for (const QByteArray &hex : same)
            QVERIFY2(sameReading(plain, decoded(hex)), hex.constData());
    }

    void damagedPayloadsAreRefused()
    {
        const QByteArray good = frame("1234");
        QVERIFY(decodeFrame(good, someTime));
        QVERIFY(!decodeFrame(QByteArray(), someTime));
        // Cut out of a good frame without a terminator, so a read past the end would succeed.
        QVERIFY(!decodeFrame(QByteArray::fromRawData(good.constData(), 29), someTime));
        QVERIFY(!decodeFrame(QByteArray::fromRawData(good.constData(), 28), someTime));
        for (int byte : { 0, 7, 14 }) {
            for (char bad : QByteArray("AFgz :\xc3\0", 8)) {
                QByteArray hex = good;
                hex[2 * byte + 1] = bad;
                QVERIFY2(!decodeFrame(hex, someTime), hex.toPercentEncoding().constData());
            }
        }
    }

    // Qt writes the six z as the milliseconds twice; stored series carry exactly this.
    void timestampFormat()
    {
        QCOMPARE(decoded(frame("    ")).timestamp, "2024-03-05 14:07:09.042042");
        const QDateTime evening(QDate(2023, 12, 31), QTime(23, 5, 3, 950));
        QCOMPARE(decodeFrame(frame("    "), evening)->timestamp, "2023-12-31 23:05:03.950950");
    }
};

KALVION_TEST_MAIN(FrameDecoderTest)
#include "tst_framedecoder.moc"
