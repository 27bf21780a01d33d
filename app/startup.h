#pragma once

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

// Tells the user, in the stored language, that the program is already running.
void warnAlreadyRunning();

} // namespace Startup
