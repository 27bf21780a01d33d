#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <optional>

class QDateTime;

// Where each indicator of the meter's display lands in Reading::segments: four bits per payload
// byte, low nibble only, so index = 4 * byte + bit (byte 14 packs three of its bits, see decoder).
namespace Segment {
enum Index : int {
    Ac = 0,
    Dc = 1,
    Auto = 2,
    Usb = 3,
    Minus = 4,
    PointAfterDigit1 = 12,
    PointAfterDigit2 = 20,
    PointAfterDigit3 = 28,
    Micro = 36,
    Nano = 37,
    Kilo = 38,
    Diode = 39,
    Milli = 40,
    Percent = 41,
    Mega = 42,
    Sound = 43,
    Farad = 44,
    Ohm = 45,
    Rel = 46,
    Hold = 47,
    Ampere = 48,
    Volt = 49,
    Hertz = 50,
    Battery = 51,
    Fahrenheit = 52,
    Celsius = 53,
    Ncv = 55,
    Apo = 56,
    Min = 57,
    Max = 58,
    Count = 59
};
} // namespace Segment

// One display frame of the meter turned into digits, a number and the indicator words.
struct Reading {
    // The one marker for digits that spell no number: shown as "0.L", recorded as 0 with "?".
    static constexpr float unreadable = 999999.0f;

    std::array<quint8, Segment::Count> segments{};
    QString digit1;
    QString digit2;
    QString digit3;
    QString digit4;
    float value = 0.0f;
    QString timestamp;
    QString unit;
    QString settings;
};

// The four bits of one lowercase hexadecimal digit, most significant first, each 0 or 1;
// empty for any other character.
QByteArray hexToBits(char hexDigit);

// Decodes a notification payload given as lowercase hex text. Frames shorter than 15 bytes or
// with a non-hex low nibble are refused; bytes after byte 14 and all high nibbles are ignored.
std::optional<Reading> decodeFrame(const QByteArray &hex, const QDateTime &now);
