#include "ui/screenbox.h"

#include "ui/theme.h"

#include <QMessageBox>
#include <QWidget>

void warnOverScreen(QWidget *screen, bool dark, const QString &title, const QString &text)
{
    screen->hide();
    if (dark)
        screen->setStyleSheet(Theme::pageStyle(false));
    QMessageBox::warning(screen, title, text);
    if (dark)
        screen->setStyleSheet(Theme::pageStyle(true));
    screen->show();
}
