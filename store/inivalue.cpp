#include "store/inivalue.h"

#include <QtEndian>

#include <cstring>
#include <type_traits>
#include <utility>

namespace IniValue {

namespace {

// A point as QVariant(QPointF) streams in QDataStream's Qt 4.0 form: its type, then x and y.
constexpr char variantStart[] = "@Variant(";
constexpr qsizetype variantStartSize = sizeof(variantStart) - 1;
constexpr uchar pointType[4] = { 0, 0, 0, 26 };
constexpr qsizetype pointBytes = 4 + 8 + 8;

bool isHexDigit(unsigned c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

unsigned hexValue(char c)
{
    return c <= '9' ? unsigned(c - '0') : unsigned((c | 0x20) - 'a' + 10);
}

// How the writer escapes each character below 256: 0 not at all, 'x' in hex, anything else
// by a backslash and that letter. From 0x7F up, a text's characters go out as UTF-8 and a
// @Variant's bytes in hex.
struct Escapes {
    char of[256] = {};
    constexpr explicit Escapes(bool bytes)
    {
        for (int c = 0; c < 256; ++c)
            of[c] = c <= 0x1F || (bytes && c >= 0x7F) ? 'x' : 0;
        of[0] = '0';
        of['\a'] = 'a';
        of['\b'] = 'b';
        of['\f'] = 'f';
        of['\n'] = 'n';
        of['\r'] = 'r';
        of['\t'] = 't';
        of['\v'] = 'v';
        of['"'] = '"';
        of['\\'] = '\\';
    }
};
constexpr Escapes textEscapes(false), byteEscapes(true);

// QSettings turns the plain characters of a text to UTF-8 one by one through one encoder, which
// holds a high surrogate until the next plain character: with a low one it makes a code point,
// anything else makes U+FFFD of it, and at the end it is dropped. A low surrogate on its own
// is U+FFFD too.
class Utf8
{
public:
    char *put(char *out, char16_t c)
    {
        if (high) {
            const char16_t before = std::exchange(high, 0);
            if (QChar::isLowSurrogate(c))
                return code(out, QChar::surrogateToUcs4(before, c));
            out = code(out, QChar::ReplacementCharacter);
        }
        if (QChar::isHighSurrogate(c)) {
            high = c;
            return out;
        }
        return code(out, QChar::isLowSurrogate(c) ? char32_t(QChar::ReplacementCharacter) : c);
    }

private:
    static char *code(char *out, char32_t u)
    {
        if (u < 0x80) {
            *out++ = char(u);
        } else if (u < 0x800) {
            *out++ = char(0xC0 | u >> 6);
            *out++ = char(0x80 | (u & 0x3F));
        } else if (u < 0x10000) {
            *out++ = char(0xE0 | u >> 12);
            *out++ = char(0x80 | (u >> 6 & 0x3F));
            *out++ = char(0x80 | (u & 0x3F));
        } else {
            *out++ = char(0xF0 | u >> 18);
            *out++ = char(0x80 | (u >> 12 & 0x3F));
            *out++ = char(0x80 | (u >> 6 & 0x3F));
            *out++ = char(0x80 | (u & 0x3F));
        }
        return out;
    }

    char16_t high = 0;
};

// Escapes the characters of a text (char16_t, written as UTF-8) or of a @Variant's bytes
// (uchar, written as bytes) into `out`, which has room for 4 bytes a character and 2 more;
// gives the end of what it wrote.
template <typename C> char *escape(char *out, const C *s, qsizetype n)
{
    constexpr bool bytes = std::is_same_v<C, uchar>;
    char *const start = out;
    bool quote = false;
    bool afterEscape = false;
    Utf8 utf8;
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned c = s[i];
        quote = quote || c == ';' || c == ',' || c == '=';
        // A hex digit right after an escape would be read as part of it.
        char escape = afterEscape && isHexDigit(c) ? 'x'
            : c < 256                              ? (bytes ? byteEscapes : textEscapes).of[c]
                                                   : 0;
        if (!escape) {
            afterEscape = false;
            if constexpr (bytes)
                *out++ = char(c);
            else
                out = utf8.put(out, char16_t(c));
            continue;
        }
        *out++ = '\\';
        *out++ = escape;
        afterEscape = escape == 'x' || escape == '0';
        if (escape == 'x') {
            if (c >= 16)
                *out++ = "0123456789abcdef"[c >> 4];
            *out++ = "0123456789abcdef"[c & 15];
        }
    }
    if (quote || (out > start && (*start == ' ' || out[-1] == ' '))) {
        std::memmove(start + 1, start, size_t(out - start));
        *start = '"';
        out += 2;
        out[-1] = '"';
    }
    return out;
}

// The bytes escaped value bytes stand for, into `out`, which has room for as many; gives the
// end, or nothing for anything the escaping never gives. An escaped character of a text from
// 0x80 up goes out as UTF-8, as it stands for that character.
char *unescape(QByteArrayView in, char *out, bool text)
{
    if (in.size() >= 2 && in.front() == '"' && in.back() == '"')
        in = in.sliced(1, in.size() - 2);
    const qsizetype n = in.size();
    for (qsizetype i = 0; i < n;) {
        const char c = in[i++];
        if (c == '"')
            return nullptr;
        if (c != '\\') {
            *out++ = c;
            continue;
        }
        if (i == n)
            return nullptr;
        const char e = in[i++];
        unsigned value = 0;
        if (e == 'x') {
            // As QSettings reads them: every hex digit that follows, and likewise octal ones.
            const qsizetype from = i;
            for (; i < n && isHexDigit(uchar(in[i])); ++i) {
                value = value * 16 + hexValue(in[i]);
                if (value > 0xFF)
                    return nullptr;
            }
            if (i == from)
                return nullptr;
        } else if (e >= '0' && e <= '7') {
            value = unsigned(e - '0');
            for (; i < n && in[i] >= '0' && in[i] <= '7'; ++i) {
                value = value * 8 + unsigned(in[i] - '0');
                if (value > 0xFF)
                    return nullptr;
            }
        } else {
            const char *const escaped = "abfnrtv\"\\";
            const char *const meant = "\a\b\f\n\r\t\v\"\\";
            const char *at = e ? std::strchr(escaped, e) : nullptr;
            if (!at)
                return nullptr;
            value = uchar(meant[at - escaped]);
        }
        if (text && value >= 0x80) {
            *out++ = char(0xC0 | value >> 6);
            *out++ = char(0x80 | (value & 0x3F));
        } else {
            *out++ = char(value);
        }
    }
    return out;
}

// A point's @Variant as QSettings writes it, escaped.
qsizetype writePoint(char *out, QPointF point)
{
    uchar bytes[variantStartSize + pointBytes + 1];
    std::memcpy(bytes, variantStart, variantStartSize);
    std::memcpy(bytes + variantStartSize, pointType, 4);
    const double xy[2] = { point.x(), point.y() };
    for (int k = 0; k < 2; ++k) {
        quint64 bits;
        std::memcpy(&bits, &xy[k], 8);
        qToBigEndian(bits, bytes + variantStartSize + 4 + 8 * k);
    }
    bytes[sizeof(bytes) - 1] = ')';
    return escape(out, bytes, qsizetype(sizeof(bytes))) - out;
}
constexpr qsizetype mostPointBytes = 4 * (variantStartSize + pointBytes + 1) + 2;

} // namespace

void appendText(QByteArray &out, QStringView text)
{
    QString wrapped;
    if (text.contains(QChar(0)))
        wrapped = QStringLiteral("@String(") + text.toString() + u')';
    else if (text.startsWith(u'@'))
        wrapped = u'@' + text.toString();
    const QStringView written = wrapped.isNull() ? text : QStringView(wrapped);
    const qsizetype at = out.size();
    out.resize(at + 4 * written.size() + 2);
    char *const end = escape(out.data() + at, written.utf16(), written.size());
    out.truncate(end - out.constData());
}

void appendPoint(QByteArray &out, QPointF point)
{
    char written[mostPointBytes];
    out.append(written, writePoint(written, point));
}

std::optional<QString> text(QByteArrayView bytes)
{
    QByteArray utf8(bytes.size(), Qt::Uninitialized);
    const char *end = unescape(bytes, utf8.data(), true);
    if (!end)
        return std::nullopt;
    QString read = QString::fromUtf8(utf8.constData(), end - utf8.constData());
    if (read.startsWith(u'@')) {
        if (read.startsWith(QLatin1String("@@")))
            read.remove(0, 1);
        else if (read.startsWith(QLatin1String("@String(")) && read.endsWith(u')'))
            read = read.sliced(8).chopped(1);
        else
            return std::nullopt;
    }
    QByteArray written;
    written.reserve(bytes.size());
    appendText(written, read);
    if (written != bytes)
        return std::nullopt;
    return read;
}

std::optional<QPointF> point(QByteArrayView bytes)
{
    constexpr qsizetype size = variantStartSize + pointBytes + 1;
    char read[mostPointBytes];
    if (bytes.size() > mostPointBytes || unescape(bytes, read, false) != read + size)
        return std::nullopt;
    double xy[2];
    for (int k = 0; k < 2; ++k) {
        const quint64 bits = qFromBigEndian<quint64>(read + variantStartSize + 4 + 8 * k);
        std::memcpy(&xy[k], &bits, 8);
    }
    const QPointF p(xy[0], xy[1]);
    char written[mostPointBytes];
    if (QByteArrayView(written, writePoint(written, p)) != bytes)
        return std::nullopt;
    return p;
}

} // namespace IniValue
