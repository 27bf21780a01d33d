#include "ui/screenbox.h"

#include "ui/theme.h"

#include <QEvent>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

namespace {

// Notes whether the screen was closed while it stood aside for a box.
class CloseWatch : public QObject
{
public:
    explicit CloseWatch(QWidget *screen) { screen->installEventFilter(this); }
    bool closed = false;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        closed = closed || event->type() == QEvent::Close;
        return false;
    }
};

// Runs a modal box with the screen out of sight, white behind the box in the dark theme. A
// screen closed meanwhile (its link lost, say) stays closed.
template<typename Box>
auto besideScreen(QWidget *screen, bool dark, Box box)
{
    const QPointer<QWidget> still = screen;
    const CloseWatch watch(screen);
    screen->hide();
    if (dark)
        screen->setStyleSheet(Theme::pageStyle(false));
    const auto result = box();
    if (!still)
        return result;
    if (dark)
        screen->setStyleSheet(Theme::pageStyle(true));
    if (!watch.closed)
        screen->show();
    return result;
}

} // namespace

void warnOverScreen(QWidget *screen, bool dark, const QString &title, const QString &text)
{
    besideScreen(screen, dark, [&] {
        // Built by hand: the static warning() would make OK the default button.
        QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, screen);
        return box.exec();
    });
}

bool confirmOverScreen(QWidget *screen, bool dark, const QString &text)
{
    const auto ask = [&] {
        return QMessageBox::question(screen, "Kalvion", text,
                                     QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                     QMessageBox::Yes);
    };
    return (dark ? besideScreen(screen, dark, ask) : ask()) == QMessageBox::Yes;
}

QString askOverScreen(QWidget *screen, bool dark, const QString &title, const QString &label,
                      const QString &preset)
{
    return besideScreen(screen, dark, [&] {
        return QInputDialog::getText(screen, title, label, QLineEdit::Normal, preset);
    });
}
