#pragma once

#include <QByteArray>
#include <QList>

#include <cstring>

// A display frame as the meter sends it, built from what its display shows and not from the
// decoder: digits by the segment letters they light, indicators by their display bit.
struct Frame {
    int nibbles[15] = {};

    Frame &bit(int byte, int bit)
    {
        nibbles[byte] |= 1 << bit;
        return *this;
    }
    // The indicator with this index in the decoded segments; byte 14 packs bits 0, 1 and 3.
    Frame &light(int index)
    {
        return index < 56 ? bit(index / 4, index % 4) : bit(14, index == 58 ? 3 : index - 56);
    }
    // Position 1 to 4 from the left: e, f, a in bits 1-3 of byte 2p-1; d, c, g, b in byte 2p.
    Frame &digit(int position, const char *letters)
    {
        static const char order[] = "efadcgb";
        for (const char *l = letters; *l; ++l) {
            const int slot = int(strchr(order, *l) - order);
            bit(slot < 3 ? 2 * position - 1 : 2 * position, slot < 3 ? slot + 1 : slot - 3);
        }
        return *this;
    }
    // "0"-"9", "L" for the letter L and " " for a dark position.
    Frame &digits(const char *text)
    {
        for (int position = 1; position <= 4; ++position)
            digit(position, patternOf(text[position - 1]));
        return *this;
    }
    // Lowercase hex text of `bytes` bytes, each with this high nibble.
    QByteArray hex(char high = '0', int bytes = 15) const
    {
        QByteArray text;
        for (int byte = 0; byte < bytes; ++byte)
            text += QByteArray(1, high) + "0123456789abcdef"[byte < 15 ? nibbles[byte] : byte % 16];
        return text;
    }
    static const char *patternOf(char digit)
    {
        static const char *const patterns[] = { "abcdef", "bc", "abdeg", "abcdg", "bcfg", "acdfg",
            "acdefg", "abc", "abcdefg", "abcdfg" };
        return digit == 'L' ? "def" : digit == ' ' ? "" : patterns[digit - '0'];
    }
};

// Four digits, the indicators lit, and the point after digit position `pointAfter` (0: none).
inline QByteArray frame(const char *digits, const QList<int> &lit = {}, int pointAfter = 0)
{
    Frame f;
    f.digits(digits);
    for (int index : lit)
        f.light(index);
    if (pointAfter)
        f.light(4 + 8 * pointAfter);
    return f.hex();
}
