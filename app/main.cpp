#include "app/mainwindow.h"
#include "app/startup.h"
#include "app/tovikscreen.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Startup::prepareApplication(app);

    Startup::InstanceLock lock;
    if (!lock.tryLock()) {
        Startup::warnAlreadyRunning();
        return 1;
    }

    MainWindow window;
    const auto animation = Startup::showMainWindow(window);
    return app.exec();
}
