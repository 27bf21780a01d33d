#pragma once

#include <QLockFile>

#include <memory>

class MainWindow;
class QApplication;
class tovikScreen;

// What happens around the main window: the look of the whole application, the guard that
// keeps a second copy from overwriting what the first one records, the animation that may come
// first, and the end of the session.
namespace Startup {

// The whole run of the program once the application object exists: what main() does.
int run(QApplication &app);

void prepareApplication(QApplication &app);

// Shows the main window at once, or, when the user has switched the animation on, plays it
// and shows the window when it ends. The caller keeps the animation until the program ends.
std::unique_ptr<tovikScreen> showMainWindow(MainWindow &window);

// The lock in the store's folder that the running copy holds. A lock left behind by a copy
// that crashed is stale and is taken over.
class InstanceLock
{
public:
    InstanceLock();
    // False only when another live copy holds the lock. When it cannot be taken for any other
    // reason (a folder that cannot be written, say), this copy runs without it.
    bool take();
    void release() { file.unlock(); }
    QString fileName() const { return file.fileName(); }

private:
    QLockFile file;
};

// Tells the user, in the stored language, that the program is already running.
void warnAlreadyRunning();

} // namespace Startup
