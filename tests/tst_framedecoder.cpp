#include "live/framedecoder.h"
#include "support/testmain.h"

#include <QDateTime>
#include <QTest>

#include <algorithm>
#include <cstring>

namespace {

// Builds a payload the way the meter lays out its display, independently of the decoder: by
// payload byte and bit, and digits by the segment letters they light.
class Frame
{
public:
    Frame &bit(int byte, int bit)
    {
        nibbles[byte] |= 1 << bit;
        return *this;
    }
    // By the index that the indicator has in the decoded segments.
    Frame &light(int index)
    {
        if (index >= 56)
            return bit(14, index == 56 ? 0 : index == 57 ? 1 : 3);
        return bit(index / 4, index % 4);
    }
    // Position 1 to 4, from the left; letters as on any seven-segment display.
    Frame &digit(int position, const char *letters)
    {
        // e, f, a in bits 1-3 of the first byte; d, c, g, b in bits 0-3 of the second.
        const char order[] = "efadcgb";
        for (const char *l = letters; *l; ++l) {
            const int slot = int(strchr(order, *l) - order);
            bit(slot < 3 ? 2 * position - 1 : 2 * position, slot < 3 ? slot + 1 : slot - 3);
        }
        return *this;
    }
    Frame &digits(const char *text)
    {
        for (int position = 1; position <= 4; ++position)
            digit(position, patternOf(text[position - 1]));
        return *this;
    }
    QByteArray hex(char high = '0', int bytes = 15) const
    {
        QByteArray text;
        for (int byte = 0; byte < bytes; ++byte) {
            text += high;
            text += "0123456789abcdef"[byte < 15 ? nibbles[byte] : byte % 16];
        }
        return text;
    }

    static const char *patternOf(char digit)
    {
        static const char *const patterns[] = { "abcdef", "bc", "abdeg", "abcdg", "bcfg", "acdfg",
            "acdefg", "abc", "abcdefg", "abcdfg" };
        return digit == 'L' ? "def" : digit == ' ' ? "" : patterns[digit - '0'];
    }

    int nibbles[15] = {};
};

const QDateTime someTime(QDate(2024, 3, 5), QTime(14, 7, 9, 42));

Reading decoded(const QByteArray &hex)
{
    const std::optional<Reading> reading = decodeFrame(hex, someTime);
    if (!reading)
        qWarning("frame refused: %s", hex.constData());
    return reading.value_or(Reading());
}

QStringList digitsOf(const Reading &r)
{
    return { r.digit1, r.digit2, r.digit3, r.digit4 };
}

int litCount(const Reading &r)
{
    return int(std::count(r.segments.begin(), r.segments.end(), 1));
}

bool sameReading(const Reading &a, const Reading &b)
{
    return a.segments == b.segments && digitsOf(a) == digitsOf(b) && a.value == b.value
        && a.timestamp == b.timestamp && a.unit == b.unit && a.settings == b.settings;
}

} // namespace

// The meter's display frames into digits, value and indicator words, straight through the
// decoder with hand-built payloads.
class FrameDecoderTest : public QObject
{
    Q_OBJECT

private slots:
    void hexToBitsCoversExactlyLowercaseHex()
    {
        QCOMPARE(hexToBits('0'), QByteArray("\0\0\0\0", 4));
        QCOMPARE(hexToBits('1'), QByteArray("\0\0\0\1", 4));
        QCOMPARE(hexToBits('9'), QByteArray("\1\0\0\1", 4));
        QCOMPARE(hexToBits('a'), QByteArray("\1\0\1\0", 4));
        QCOMPARE(hexToBits('f'), QByteArray("\1\1\1\1", 4));
        for (int c = -128; c < 128; ++c) {
            const char ch = char(c);
            const bool hex = (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f');
            QCOMPARE(hexToBits(ch).size(), hex ? 4 : 0);
        }
    }

    void allDarkFrame()
    {
        const Reading r = decoded(QByteArray(30, '0'));
        QCOMPARE(digitsOf(r), QStringList(4, "abnormality"));
        QCOMPARE(r.value, 999999.0f);
        QCOMPARE(r.unit, QString());
        QCOMPARE(r.settings, QString());
        QCOMPARE(litCount(r), 0);
    }

    void numbers_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QStringList>("digits");
        QTest::addColumn<float>("value");

        QTest::newRow("12.34") << Frame().digits("1234").light(20).hex()
                               << QStringList{ "1", "2.", "3", "4" } << 12.34f;
        QTest::newRow("0.042") << Frame().digits("0042").light(12).hex()
                               << QStringList{ "0.", "0", "4", "2" } << 0.042f;
        QTest::newRow("point after digit 3") << Frame().digits("9876").light(28).hex()
                                             << QStringList{ "9", "8", "7.", "6" } << 987.6f;
        QTest::newRow("minus sign stays out of the value")
            << Frame().digits("1500").light(4).hex() << QStringList{ "1", "5", "0", "0" }
            << 1500.0f;
        QTest::newRow("letter L") << Frame().digits("1L34").hex()
                                  << QStringList{ "1", "abnormality", "3", "4" } << 999999.0f;
        QTest::newRow("blank last position")
            << Frame().digits("123 ").light(12).hex()
            << QStringList{ "1.", "2", "3", "abnormality" } << 999999.0f;
        QTest::newRow("point after an unreadable digit")
            << Frame().digits("1L34").light(20).hex()
            << QStringList{ "1", "abnormality.", "3", "4" } << 0.0f;
        QTest::newRow("two points") << Frame().digits("1234").light(12).light(20).hex()
                                    << QStringList{ "1.", "2.", "3", "4" } << 0.0f;
    }

    void numbers()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QStringList, digits);
        QFETCH(float, value);
        const Reading r = decoded(frame);
        QCOMPARE(digitsOf(r), digits);
        QCOMPARE(r.value, value);
    }

    void minusSignIsItsOwnIndicator()
    {
        const Reading r = decoded(Frame().digits("1500").light(4).hex());
        QCOMPARE(r.segments[4], quint8(1));
        QVERIFY(r.value > 0);
    }

    // Every bit of the 15 bytes lands at its one index; byte 14 packs three bits.
    void segmentLayout()
    {
        for (int byte = 0; byte < 15; ++byte) {
            for (int bit = 0; bit < 4; ++bit) {
                const Reading r = decoded(Frame().bit(byte, bit).hex());
                const int expected = byte < 14 ? 4 * byte + bit : bit == 3 ? 58 : 56 + bit;
                if (byte == 14 && bit == 2) {
                    QCOMPARE(litCount(r), 0);
                    QVERIFY(sameReading(r, decoded(Frame().hex())));
                } else {
                    QCOMPARE(litCount(r), 1);
                    QCOMPARE(r.segments[expected], quint8(1));
                }
            }
        }
        const Reading max = decoded(Frame().bit(14, 3).hex());
        QCOMPARE(max.settings, "MAX ");
    }

    void highNibblesChangeNothing()
    {
        const Frame rich
            = Frame().digits("4271").light(20).light(4).light(40).light(49).light(1).light(2).light(
                58);
        const Reading plain = decoded(rich.hex());
        QCOMPARE(plain.value, 42.71f);
        for (char high : QByteArray("123456789abcdefAZ ~\x80")) {
            const std::optional<Reading> other = decodeFrame(rich.hex(high), someTime);
            QVERIFY2(other && sameReading(plain, *other), QByteArray(1, high).constData());
        }
        // One byte at a time, too, so no byte's high nibble leaks into its neighbour.
        for (int byte = 0; byte < 15; ++byte) {
            QByteArray hex = rich.hex();
            hex[2 * byte] = 'f';
            QVERIFY(sameReading(plain, decoded(hex)));
        }
    }

    void longerPayloadsDecodeLikeTheirFirst15Bytes()
    {
        const Frame frame = Frame().digits("0815").light(28).light(53);
        const Reading first = decoded(frame.hex());
        for (int bytes : { 16, 20, 40 }) {
            QVERIFY(sameReading(first, decoded(frame.hex('0', bytes))));
            QVERIFY(sameReading(first, decoded(frame.hex() + QByteArray(2 * (bytes - 15), 'Z'))));
        }
    }

    void damagedPayloadsAreRefused()
    {
        const QByteArray good = Frame().digits("1234").hex();
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

    // All 128 patterns of each position: exactly the ten digits of the table, nothing else.
    void everySegmentPatternOfEveryPosition()
    {
        for (int position = 1; position <= 4; ++position) {
            QStringList digitsFound;
            for (int pattern = 0; pattern < 128; ++pattern) {
                Frame frame;
                QByteArray letters;
                for (int s = 0; s < 7; ++s) {
                    if (pattern & (1 << s))
                        letters += "abcdefg"[s];
                }
                frame.digit(position, letters.constData());
                const QString text = digitsOf(decoded(frame.hex()))[position - 1];
                if (text == "abnormality")
                    continue;
                QCOMPARE(text.size(), 1);
                QCOMPARE(letters, QByteArray(Frame::patternOf(text[0].toLatin1())));
                digitsFound.append(text);
            }
            digitsFound.sort();
            QCOMPARE(digitsFound, QString("0123456789").split("", Qt::SkipEmptyParts));
        }
    }

    void unitAndSettingsWords_data()
    {
        QTest::addColumn<QList<int>>("lit");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("settings");

        const QList<std::pair<int, QString>> units = { { 36, "mü " }, { 37, "n " }, { 38, "k " },
            { 40, "m " }, { 42, "M " }, { 41, "% " }, { 44, "F " }, { 45, "Ohm " }, { 53, "°C " },
            { 52, "°F " }, { 47, "H " }, { 48, "A " }, { 49, "V " }, { 50, "Hz " } };
        const QList<std::pair<int, QString>> settings = { { 0, "AC " }, { 1, "DC " },
            { 2, "AUTO " }, { 3, "USB " }, { 39, "Diode " }, { 43, "Sound " }, { 46, "REL " },
            { 51, "Battery " }, { 56, "APO " }, { 57, "MIN " }, { 58, "MAX " }, { 55, "NCV " } };
        for (const auto &[index, word] : units)
            QTest::addRow("unit %d", index) << QList<int>{ index } << word << QString();
        for (const auto &[index, word] : settings)
            QTest::addRow("setting %d", index) << QList<int>{ index } << QString() << word;

        QTest::newRow("milli volt") << QList<int>{ 49, 40 } << "m V "
                                    << "";
        QTest::newRow("H before V") << QList<int>{ 49, 47 } << "H V "
                                    << "";
        QTest::newRow("AC AUTO") << QList<int>{ 2, 0 } << ""
                                 << "AC AUTO ";
        QTest::newRow("every unit bit, reversed")
            << QList<int>{ 50, 49, 48, 47, 45, 44, 42, 41, 40, 38, 37, 36, 53, 52 }
            << "mü n k m M % F Ohm °C °F H A V Hz "
            << "";
        QTest::newRow("every settings bit, reversed")
            << QList<int>{ 58, 57, 56, 55, 51, 46, 43, 39, 3, 2, 1, 0 } << ""
            << "AC DC AUTO USB Diode Sound REL Battery APO MIN MAX NCV ";
        QTest::newRow("stored bit 54 is no word") << QList<int>{ 54 } << ""
                                                  << "";
    }

    void unitAndSettingsWords()
    {
        QFETCH(QList<int>, lit);
        QFETCH(QString, unit);
        QFETCH(QString, settings);
        Frame frame;
        for (int index : lit)
            frame.light(index);
        const Reading r = decoded(frame.hex());
        QCOMPARE(r.unit, unit);
        QCOMPARE(r.settings, settings);
        QCOMPARE(litCount(r), lit.size());
    }

    // Qt writes the six z as two millisecond fields; stored series carry exactly this.
    void timestampFormat()
    {
        const QByteArray hex = Frame().hex();
        QCOMPARE(decodeFrame(hex, someTime)->timestamp, "2024-03-05 14:07:09.042042");
        const QDateTime evening(QDate(2023, 12, 31), QTime(23, 5, 3, 7));
        QCOMPARE(decodeFrame(hex, evening)->timestamp, "2023-12-31 23:05:03.007007");
        const QDateTime morning(QDate(2024, 1, 2), QTime(8, 0, 0, 950));
        QCOMPARE(decodeFrame(hex, morning)->timestamp, "2024-01-02 08:00:00.950950");
    }
};

KALVION_TEST_MAIN(FrameDecoderTest)
#include "tst_framedecoder.moc"
