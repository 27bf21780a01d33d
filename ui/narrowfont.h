#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QLabel>
#include <QWidget>

// The fixed layouts were sized for narrower fonts than the usual Linux desktop ones. A caption
// that would be clipped gets the semi-condensed cut of its font, at the same point size.
inline void useNarrowFont(QWidget *widget)
{
    QFont narrow = widget->font();
    narrow.setStretch(QFont::SemiCondensed);
    widget->setFont(narrow);
}

// Shows text in one line of a label of fixed width, whose text otherwise would be clipped at
// both ends: in `font` where that fits, else in its semi-condensed cut, then half a point smaller
// at a time down to `smallest` points. What still does not fit is cut at its end.
inline void showInOneLine(QLabel *label, const QString &text, QFont font, qreal smallest)
{
    const qreal width = label->contentsRect().width();
    const auto fits = [&] { return QFontMetricsF(font).horizontalAdvance(text) <= width; };
    if (!fits())
        font.setStretch(QFont::SemiCondensed);
    while (!fits() && font.pointSizeF() - 0.5 >= smallest)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    label->setFont(font);
    label->setText(QFontMetricsF(font).elidedText(text, Qt::ElideRight, width));
}
