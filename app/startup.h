#pragma once

#include <QLockFile>

class QApplication;

// What happens before the main window exists: the look of the whole application, and the
// guard that keeps a second copy from overwriting what the first one records.
namespace Startup {

void prepareApplication(QApplication &app);

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
