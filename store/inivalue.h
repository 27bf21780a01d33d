#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QPointF>
#include <QString>

#include <optional>

// Values as QSettings writes them into its ini files, and back.
//
// Writing follows QSettings to the byte: a text that holds NUL is wrapped as @String(...), one
// that starts with '@' gets a second '@'; a point is a QVariant in QDataStream's Qt 4.0 form,
// wrapped as @Variant(...). The result is escaped: control characters and the bytes of a
// @Variant from 0x7F up as \x and lowercase hex (a hex digit right after such an escape is
// escaped too, so that it is not read as part of it), NUL as \0, '"' and '\' with a
// backslash, anything else as UTF-8; the whole is put in quotes when it holds ';', ',' or '=',
// or starts or ends with a blank.
//
// Reading takes only what writing gives: the bytes QSettings would write for the value read,
// and nothing else. Since QSettings reads back what it writes, such bytes read as QSettings
// reads them; any others are left to QSettings itself.
namespace IniValue {

void appendText(QByteArray &out, QStringView text);
void appendPoint(QByteArray &out, QPointF point);

std::optional<QString> text(QByteArrayView bytes);
std::optional<QPointF> point(QByteArrayView bytes);

} // namespace IniValue
