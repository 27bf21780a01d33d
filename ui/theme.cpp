#include "ui/theme.h"

#include <QBrush>
#include <QColor>
#include <QListWidgetItem>

namespace Theme {

QString pageStyle(bool dark)
{
    return dark ? QStringLiteral("background-color: #202020")
                : QStringLiteral("background-color: white");
}

QString buttonStyle(bool dark)
{
    return dark ? QStringLiteral("background-color: #009DE2; color: white; border-width: 2px; "
                                 "border-style: outset; border-radius: 10px; border-color: #202020")
                : QStringLiteral("background-color: #009DE2; color: white; border-width: 2px; "
                                 "border-style: outset; border-radius: 10px; border-color: white");
}

QString wideButtonStyle(bool dark)
{
    return dark ? QStringLiteral("background-color: #009DE2; color: white; border-width: 3px; "
                                 "border-style: outset; border-radius: 10px; border-color: #202020")
                : QStringLiteral("background-color: #009DE2; color: white; border-width: 3px; "
                                 "border-style: outset; border-radius: 10px; border-color: white");
}

QString textStyle(bool dark)
{
    return dark ? QStringLiteral("color: white") : QStringLiteral("color: black");
}

QString panelStyle(bool dark)
{
    return pageStyle(!dark);
}

QString panelTextStyle(bool dark)
{
    return textStyle(!dark);
}

QString contrastStyle(bool dark)
{
    return dark ? QStringLiteral("background-color: white")
                : QStringLiteral("background-color: black");
}

void colourItem(QListWidgetItem *item, bool dark)
{
    item->setForeground(QBrush(dark ? QColor(Qt::white) : QColor(Qt::black)));
    item->setBackground(QBrush(QColor(dark ? "#555555" : "#EEEEEE")));
}

} // namespace Theme
