#include "app/startup.h"

#include "app/mainwindow.h"
#include "app/sessionend.h"
#include "store/store.h"
#include "app/tovikscreen.h"
#include "ui/theme.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QMessageBox>
#include <QPixmap>

#include <cstdio>
#include <unistd.h>

namespace Startup {

namespace {

// A copy writes its name into the lock file within moments of creating it.
constexpr int ownerlessAfterSeconds = 5;

QString lockPath()
{
    const QString store = Store::fileName();
    return QFileInfo(store).absolutePath() + "/Kalvion.instance.lock";
}

} // namespace

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

InstanceLock::InstanceLock() : file(lockPath())
{
    // The running copy may hold the lock for days; only a dead owner makes it stale.
    file.setStaleLockTime(0);
}

bool InstanceLock::take()
{
    QDir().mkpath(QFileInfo(file.fileName()).absolutePath());
    if (file.tryLock(0) || file.error() != QLockFile::LockFailedError)
        return true;
    // A lock that names no owner, cut short by a power loss say, is no copy's either; but a
    // copy starting at this instant holds one that names nobody yet.
    qint64 pid = 0;
    QString host, application;
    if (file.getLockInfo(&pid, &host, &application))
        return false;
    const QFileInfo info(file.fileName());
    if (info.isFile() && info.size() == 0
        && info.lastModified().secsTo(QDateTime::currentDateTime()) < ownerlessAfterSeconds)
        return false;
    file.removeStaleLockFile();
    file.tryLock(0);
    return true;
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
