#include "ui/screenbox.h"

#include "ui/theme.h"

#include <QMessageBox>
#include <QWidget>

void warnOverScreen(QWidget *screen, bool dark, const QString &title, const QString &text)
{
    screen->hide();
    if (dark)
        screen->setStyleSheet(Theme::pageStyle(false));
    // Built by hand: the static warning() would make OK the default button.
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, screen);
    box.exec();
    if (dark)
        screen->setStyleSheet(Theme::pageStyle(true));
    screen->show();
}
