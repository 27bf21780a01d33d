#pragma once

#include <QByteArray>
#include <QList>

#include <cstring>

// A display frame as the meter sends it, built from what its display shows and not from the
// decoder: digits by the segments they light, indicators by their index in the decoded segments.
struct Frame {
    int nibbles[15] = {};

    // Bit b of payload byte n is index 4n + b; byte 14 packs only bits 0, 1 and 3.
    Frame &light(int index)
    {
        nibbles[qMin(index / 4, 14)] |= 1 << (index < 56      ? index % 4
                                                : index == 58 ? 3
                                                              : index - 56);
        return *this;
    }
    // Position 1 to 4 from the left: e, f, a are bits 1-3 of byte 2p-1; d, c, g, b bits 0-3 of 2p.
    Frame &digit(int position, const char *letters)
    {
        static const char order[] = "-efadcgb";
        for (; *letters; ++letters)
            light(8 * position - 4 + int(strchr(order, *letters) - order));
        return *this;
    }
    static const char *segmentsOf(char digit)
    {
        static const char *const digits[] = { "abcdef", "bc", "abdeg", "abcdg", "bcfg", "acdfg",
            "acdefg", "abc", "abcdefg", "abcdfg" };
        return digit == 'L' ? "def" : digit == ' ' ? "" : digits[digit - '0'];
    }
    QByteArray hex() const
    {
        QByteArray text;
        for (int n : nibbles)
            text += QByteArray::number(n, 16).rightJustified(2, '0');
        return text;
    }
};

// Four digits ('0'-'9', 'L', ' ' for dark), the indicators lit, and the point after digit
// position `pointAfter` (0: none).
inline QByteArray frame(const char *digits, const QList<int> &lit = {}, int pointAfter = 0)
{
    Frame f;
    for (int position = 1; position <= 4; ++position)
        f.digit(position, Frame::segmentsOf(digits[position - 1]));
    for (int index : lit)
        f.light(index);
    return (pointAfter ? f.light(4 + 8 * pointAfter) : f).hex();
}
