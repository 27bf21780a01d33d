#include "live/framedecoder.h"

#include <QDateTime>
#include <QStringView>

namespace {

constexpr int frameBytes = 15;

// A digit position's seven segments as its two bytes carry them: the first byte's bits 3..1
// (a, f, e; bit 0 belongs to the sign or the point before it) and the second byte's bits 3..0
// (b, g, c, d). Only these exact patterns are digits.
struct DigitPattern {
    int first;
    int second;
    QStringView text;
};
constexpr DigitPattern digitPatterns[] = {
    { 0xE, 0xB, u"0" },
    { 0x0, 0xA, u"1" },
    { 0xA, 0xD, u"2" },
    { 0x8, 0xF, u"3" },
    { 0x4, 0xE, u"4" },
    { 0xC, 0x7, u"5" },
    { 0xE, 0x7, u"6" },
    { 0x8, 0xA, u"7" },
    { 0xE, 0xF, u"8" },
    { 0xC, 0xF, u"9" },
};

struct Word {
    int index;
    QStringView text;
};
// The stored series keep these texts, so their order and characters (blanks, "mü") are fixed.
constexpr Word unitWords[] = {
    { Segment::Micro, u"mü " },
    { Segment::Nano, u"n " },
    { Segment::Kilo, u"k " },
    { Segment::Milli, u"m " },
    { Segment::Mega, u"M " },
    { Segment::Percent, u"% " },
    { Segment::Farad, u"F " },
    { Segment::Ohm, u"Ohm " },
    { Segment::Celsius, u"°C " },
    { Segment::Fahrenheit, u"°F " },
    { Segment::Hold, u"H " },
    { Segment::Ampere, u"A " },
    { Segment::Volt, u"V " },
    { Segment::Hertz, u"Hz " },
};
constexpr Word settingsWords[] = {
    { Segment::Ac, u"AC " },
    { Segment::Dc, u"DC " },
    { Segment::Auto, u"AUTO " },
    { Segment::Usb, u"USB " },
    { Segment::Diode, u"Diode " },
    { Segment::Sound, u"Sound " },
    { Segment::Rel, u"REL " },
    { Segment::Battery, u"Battery " },
    { Segment::Apo, u"APO " },
    { Segment::Min, u"MIN " },
    { Segment::Max, u"MAX " },
    { Segment::Ncv, u"NCV " },
};

const QString abnormality = QStringLiteral("abnormality");

int nibbleAt(const Reading &reading, int byte)
{
    const int base = 4 * byte;
    return reading.segments[base] | reading.segments[base + 1] << 1
        | reading.segments[base + 2] << 2 | reading.segments[base + 3] << 3;
}

// Position 1 is the leftmost digit, held in bytes 1 and 2.
QString readDigit(const Reading &reading, int position)
{
    const int first = nibbleAt(reading, 2 * position - 1) & 0xE;
    const int second = nibbleAt(reading, 2 * position);
    for (const DigitPattern &pattern : digitPatterns) {
        if (pattern.first == first && pattern.second == second)
            return pattern.text.toString();
    }
    return abnormality;
}

template <std::size_t N> QString wordsFor(const Reading &reading, const Word (&words)[N])
{
    QString text;
    for (const Word &word : words) {
        if (reading.segments[word.index])
            text += word.text;
    }
    return text;
}

} // namespace

QByteArray hexToBits(char hexDigit)
{
    int nibble;
    if (hexDigit >= '0' && hexDigit <= '9')
        nibble = hexDigit - '0';
    else if (hexDigit >= 'a' && hexDigit <= 'f')
        nibble = hexDigit - 'a' + 10;
    else
        return {};
    QByteArray bits(4, 0);
    for (int i = 0; i < 4; ++i)
        bits[i] = char((nibble >> (3 - i)) & 1);
    return bits;
}

std::optional<Reading> decodeFrame(const QByteArray &hex, const QDateTime &now)
{
    if (hex.size() < 2 * frameBytes)
        return std::nullopt;

    Reading reading;
    for (int byte = 0; byte < frameBytes; ++byte) {
        const QByteArray bits = hexToBits(hex[2 * byte + 1]);
        if (bits.isEmpty())
            return std::nullopt;
        if (byte < 14) {
            for (int bit = 0; bit < 4; ++bit)
                reading.segments[4 * byte + bit] = quint8(bits[3 - bit]);
        } else {
            // The last byte has no bit 2 on the display, so MAX moves up to close the gap.
            reading.segments[Segment::Apo] = quint8(bits[3]);
            reading.segments[Segment::Min] = quint8(bits[2]);
            reading.segments[Segment::Max] = quint8(bits[0]);
        }
    }

    reading.digit1 = readDigit(reading, 1);
    reading.digit2 = readDigit(reading, 2);
    reading.digit3 = readDigit(reading, 3);
    reading.digit4 = readDigit(reading, 4);
    if (reading.segments[Segment::PointAfterDigit1])
        reading.digit1 += u'.';
    if (reading.segments[Segment::PointAfterDigit2])
        reading.digit2 += u'.';
    if (reading.segments[Segment::PointAfterDigit3])
        reading.digit3 += u'.';

    // A pointed unreadable digit ("abnormality.") is not caught here; it fails the conversion
    // below and reads as 0, as do texts with two points.
    if (reading.digit1 == abnormality || reading.digit2 == abnormality
        || reading.digit3 == abnormality || reading.digit4 == abnormality) {
        reading.value = Reading::unreadable;
    } else {
        reading.value
            = (reading.digit1 + reading.digit2 + reading.digit3 + reading.digit4).toFloat();
    }

    reading.timestamp = now.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzzzzz"));
    reading.unit = wordsFor(reading, unitWords);
    reading.settings = wordsFor(reading, settingsWords);
    return reading;
}
