#pragma once

#include <QLockFile>

// The lock in the store's folder that the copy writing the store holds: the window, or a
// recording from the command line that saves into the store. A lock left behind by a copy that
// crashed is stale and is taken over.
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
