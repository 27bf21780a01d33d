#pragma once

#include <QLockFile>

#include <memory>

class MainWindow;
class QApplication;
class tovikScreen;

// What happens around the main window's start: the look of the whole application, the guard
// that keeps a second copy from overwriting what the first one records, and the animation
// that may come first.
namespace Startup {

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
    bool tryLock();

private:
    QLockFile file;
};

// Tells the user, in the stored language, that the program is already running.
void warnAlreadyRunning();

} // namespace Startup
