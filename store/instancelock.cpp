#include "store/instancelock.h"

#include "store/store.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace {

// A copy writes its name into the lock file within moments of creating it.
constexpr int ownerlessAfterSeconds = 5;

QString lockPath()
{
    return QFileInfo(Store::fileName()).absolutePath() + "/Kalvion.instance.lock";
}

} // namespace

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
