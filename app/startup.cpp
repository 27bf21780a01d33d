#include "app/startup.h"

#include "app/mainwindow.h"
#include "app/tovikscreen.h"
#include "ui/theme.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QPixmap>
#include <QSettings>

namespace Startup {

namespace {

QString lockPath()
{
    const QString store = QSettings("Orvu", "Kalvion").fileName();
    return QFileInfo(store).absolutePath() + "/Kalvion.instance.lock";
}

} // namespace

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

InstanceLock::InstanceLock() : file(lockPath())
{
    // The running copy may hold the lock for days; only a dead owner makes it stale.
    file.setStaleLockTime(0);
}

bool InstanceLock::tryLock()
{
    QDir().mkpath(QFileInfo(file.fileName()).absolutePath());
    return file.tryLock(0);
}

void warnAlreadyRunning()
{
    const bool english = QSettings("Orvu", "Kalvion").value("language").toInt() == 1;
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
