#pragma once

#include <QFont>
#include <QWidget>

// The fixed layouts were sized for narrower fonts than the usual Linux desktop ones. A caption
// that would be clipped gets the semi-condensed cut of its font, at the same point size.
inline void useNarrowFont(QWidget *widget)
{
    QFont narrow = widget->font();
    narrow.setStretch(QFont::SemiCondensed);
    widget->setFont(narrow);
}
