#include "app/startup.h"

#include "app/mainwindow.h"
#include "app/sessionend.h"
#include "app/tovikscreen.h"
#include "store/instancelock.h"
#include "store/store.h"
#include "ui/theme.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPixmap>

#include <cstdio>
#include <unistd.h>

namespace Startup {

int run(QApplication &app)
{
    prepareApplication(app);
    InstanceLock lock;
    if (!lock.take()) {
        warnAlreadyRunning();
        return 1;
    }
    MainWindow window;
    SessionEnd sessionEnd(
        [&] {
            const bool writing = window.endSession();
            lock.release();
            // The journal holds everything, and a store is put in place only whole: a
            // checkpoint under way is left, rather than waited for.
            if (writing) {
                std::fflush(nullptr);
                ::_exit(0);
            }
        },
        [&] { window.commitData(); });
    const auto animation = showMainWindow(window);
    return app.exec();
}

void prepareApplication(QApplication &app)
{
    app.setStyleSheet(Theme::applicationStyle);
    app.setWindowIcon(QIcon(QPixmap(":/image/appicon.png")));
}

std::unique_ptr<tovikScreen> showMainWindow(MainWindow &window)
{
    if (!window.tovik) {
        window.show();
        return nullptr;
    }
    auto animation = std::make_unique<tovikScreen>();
    animation->show();
    QObject::connect(animation.get(), &tovikScreen::gifStopped, &window, &QWidget::show);
    return animation;
}

void warnAlreadyRunning()
{
    const bool english = Store::read(Store::fileName()).options.language == 1;
    if (english) {
        QMessageBox::warning(nullptr, "Kalvion is already running",
                             "Kalvion is already open. Please use the window that is open.");
    } else {
        QMessageBox::warning(nullptr, "Kalvion läuft bereits",
                             "Kalvion ist bereits geöffnet. Bitte verwenden Sie das geöffnete "
                             "Fenster.");
    }
}

} // namespace Startup
