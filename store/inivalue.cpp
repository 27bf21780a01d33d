#include "store/inivalue.h"

#include <QtEndian>

#include <cstring>
#include <type_traits>

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

const char *named(unsigned c)
{
    switch (c) {
    case '\a':
        return "\\a";
    case '\b':
        return "\\b";
    case '\f':
        return "\\f";
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    case '\t':
        return "\\t";
    case '\v':
        return "\\v";
    case '"':
        return "\\\"";
    case '\\':
        return "\\\\";
    default:
        return nullptr;
    }
}

// Escapes the characters of a text (char16_t, written as UTF-8) or of a @Variant's bytes
// (uchar, written as bytes).
template <typename C> void escape(QByteArray &out, const C *s, qsizetype n)
{
    constexpr bool bytes = std::is_same_v<C, uchar>;
    const qsizetype start = out.size();
    bool quote = false;
    bool afterEscape = false;
    qsizetype plainFrom = 0; // plain characters of a text go out together, as UTF-8
    const auto flush = [&](qsizetype to) {
        if constexpr (!bytes) {
            if (to > plainFrom)
                out += QStringView(s + plainFrom, to - plainFrom).toUtf8();
        }
    };
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned c = s[i];
        quote = quote || c == ';' || c == ',' || c == '=';
        const bool hexAfterEscape = afterEscape && isHexDigit(c);
        afterEscape = hexAfterEscape;
        const char *name = hexAfterEscape ? nullptr : named(c);
        const bool hex = hexAfterEscape || (!name && (c <= 0x1F || (bytes && c >= 0x7F)));
        if (!hex && !name) {
            if constexpr (bytes)
                out += char(c);
            continue;
        }
        flush(i);
        plainFrom = i + 1;
        if (c == 0) {
            out += "\\0";
            afterEscape = true;
        } else if (hex) {
            out += "\\x";
            out += QByteArray::number(c, 16);
            afterEscape = true;
        } else {
            out += name;
        }
    }
    flush(n);
    if (quote || (out.size() > start && (out[start] == ' ' || out.back() == ' '))) {
        out.insert(start, '"');
        out += '"';
    }
}

// The characters the escaped bytes stand for, or false for anything the escaping never gives.
// A text's plain bytes are UTF-8; a @Variant's are its bytes.
template <typename Out> bool unescape(QByteArrayView in, Out &out)
{
    if (in.size() >= 2 && in.front() == '"' && in.back() == '"')
        in = in.sliced(1, in.size() - 2);
    const qsizetype n = in.size();
    qsizetype plainFrom = 0;
    const auto flush = [&](qsizetype to) {
        if constexpr (std::is_same_v<Out, QString>)
            out += QString::fromUtf8(in.sliced(plainFrom, to - plainFrom));
        else
            out += in.sliced(plainFrom, to - plainFrom);
    };
    for (qsizetype i = 0; i < n;) {
        const char c = in[i];
        if (c == '"')
            return false;
        if (c != '\\') {
            ++i;
            continue;
        }
        flush(i);
        if (++i == n)
            return false;
        const char e = in[i++];
        unsigned value = 0;
        if (e == 'x') {
            // As QSettings reads them: every hex digit that follows, and likewise octal ones.
            const qsizetype from = i;
            for (; i < n && isHexDigit(uchar(in[i])); ++i) {
                value = value * 16 + hexValue(in[i]);
                if (value > 0xFF)
                    return false;
            }
            if (i == from)
                return false;
        } else if (e >= '0' && e <= '7') {
            value = unsigned(e - '0');
            for (; i < n && in[i] >= '0' && in[i] <= '7'; ++i) {
                value = value * 8 + unsigned(in[i] - '0');
                if (value > 0xFF)
                    return false;
            }
        } else {
            const char *const escaped = "abfnrtv\"\\";
            const char *const meant = "\a\b\f\n\r\t\v\"\\";
            const char *at = e ? std::strchr(escaped, e) : nullptr;
            if (!at)
                return false;
            value = uchar(meant[at - escaped]);
        }
        if constexpr (std::is_same_v<Out, QString>)
            out += QChar(value);
        else
            out += char(value);
        plainFrom = i;
    }
    flush(n);
    return true;
}

} // namespace

void appendText(QByteArray &out, QStringView text)
{
    if (text.contains(QChar(0))) {
        const QString wrapped = QStringLiteral("@String(") + text.toString() + u')';
        escape(out, wrapped.utf16(), wrapped.size());
    } else if (text.startsWith(u'@')) {
        const QString doubled = u'@' + text.toString();
        escape(out, doubled.utf16(), doubled.size());
    } else {
        escape(out, text.utf16(), text.size());
    }
}

void appendPoint(QByteArray &out, QPointF point)
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
    escape(out, bytes, qsizetype(sizeof(bytes)));
}

std::optional<QString> text(QByteArrayView bytes)
{
    QString read;
    if (!unescape(bytes, read))
        return std::nullopt;
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
    QByteArray read;
    if (!unescape(bytes, read) || read.size() != variantStartSize + pointBytes + 1)
        return std::nullopt;
    double xy[2];
    for (int k = 0; k < 2; ++k) {
        const quint64 bits
            = qFromBigEndian<quint64>(read.constData() + variantStartSize + 4 + 8 * k);
        std::memcpy(&xy[k], &bits, 8);
    }
    const QPointF p(xy[0], xy[1]);
    QByteArray written;
    written.reserve(bytes.size());
    appendPoint(written, p);
    if (written != bytes)
        return std::nullopt;
    return p;
}

} // namespace IniValue
