#include "system/sleepinhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>

#include <cstdio>
#include <unistd.h>

SleepInhibitor::SleepInhibitor(QObject *parent) : QObject(parent) { }

SleepInhibitor::~SleepInhibitor()
{
    release();
}

// Asked without waiting: logind may be slow to answer, and frames keep coming meanwhile.
void SleepInhibitor::hold(const QString &why)
{
    if (wanted)
        return;
    wanted = true;
    if (asking)
        return;
    QDBusMessage inhibit = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"),
        QStringLiteral("/org/freedesktop/login1"), QStringLiteral("org.freedesktop.login1.Manager"),
        QStringLiteral("Inhibit"));
    inhibit << QStringLiteral("sleep:idle") << QStringLiteral("Kalvion") << why
            << QStringLiteral("block");
    asking = new QDBusPendingCallWatcher(QDBusConnection::systemBus().asyncCall(inhibit), this);
    connect(asking, &QDBusPendingCallWatcher::finished, this, &SleepInhibitor::answered);
}

void SleepInhibitor::release()
{
    wanted = false;
    if (lock >= 0) {
        ::close(lock);
        lock = -1;
    }
}

void SleepInhibitor::answered(QDBusPendingCallWatcher *call)
{
    asking = nullptr;
    call->deleteLater();
    QDBusPendingReply<QDBusUnixFileDescriptor> reply = *call;
    if (reply.isError()) {
        static bool said = false;
        if (!said) {
            std::fprintf(stderr, "kalvion: the machine may go to sleep while recording: %s\n",
                qPrintable(reply.error().message()));
            said = true;
        }
        return;
    }
    QDBusUnixFileDescriptor granted = reply.value();
    const int fd = granted.takeFileDescriptor();
    // Released while logind answered.
    if (!wanted) {
        if (fd >= 0)
            ::close(fd);
        return;
    }
    lock = fd;
}
