#include "support/desktopservices.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusVariant>
#include <QTest>

namespace {

QDBusMessage call(const QDBusConnection &bus, const QString &service, const QString &path,
    const QString &interface, const QString &method)
{
    return bus.call(QDBusMessage::createMethodCall(service, path, interface, method));
}

} // namespace

DesktopServices::DesktopServices()
{
    sessionDaemon.start("dbus-daemon", { "--session", "--nofork", "--print-address=1" });
    if (!sessionDaemon.waitForReadyRead(10000))
        return;
    const QByteArray address = sessionDaemon.readLine().trimmed();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    system = QDBusConnection::connectToBus(qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS"),
        "desktopservices-system");
    session = QDBusConnection::connectToBus(QString::fromUtf8(address), "desktopservices-session");
    running = startMock(logind, "--system", "logind", system, "org.freedesktop.login1")
        && startMock(notifier, "--session", "notification_daemon", session,
            "org.freedesktop.Notifications");
}

DesktopServices::~DesktopServices()
{
    QDBusConnection::disconnectFromBus("desktopservices-system");
    QDBusConnection::disconnectFromBus("desktopservices-session");
    for (QProcess *process : { &notifier, &logind, &sessionDaemon }) {
        process->terminate();
        process->waitForFinished(5000);
    }
}

bool DesktopServices::startMock(QProcess &mock, const QString &bus, const QString &name,
    const QDBusConnection &connection, const QString &service)
{
    mock.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    mock.start("/usr/bin/python3", { "-m", "dbusmock", bus, "--template", name });
    return QTest::qWaitFor(
        [&] { return connection.interface()->isServiceRegistered(service).value(); }, 10000);
}

QList<QStringList> DesktopServices::inhibitors()
{
    const QDBusArgument all = call(system, "org.freedesktop.login1", "/org/freedesktop/login1",
        "org.freedesktop.login1.Manager", "ListInhibitors")
                                  .arguments()
                                  .value(0)
                                  .value<QDBusArgument>();
    QList<QStringList> locks;
    all.beginArray();
    while (!all.atEnd()) {
        QString what, who, why, mode;
        uint user, process;
        all.beginStructure();
        all >> what >> who >> why >> mode >> user >> process;
        all.endStructure();
        locks.append({ what, who, why, mode });
    }
    all.endArray();
    return locks;
}

void DesktopServices::forgetNotifications()
{
    call(session, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
        "org.freedesktop.DBus.Mock", "ClearCalls");
}

QList<QStringList> DesktopServices::notifications()
{
    const QDBusArgument calls = call(session, "org.freedesktop.Notifications",
        "/org/freedesktop/Notifications", "org.freedesktop.DBus.Mock", "GetCalls")
                                    .arguments()
                                    .value(0)
                                    .value<QDBusArgument>();
    QList<QStringList> sent;
    calls.beginArray();
    while (!calls.atEnd()) {
        qulonglong when;
        QString method;
        QVariantList arguments;
        calls.beginStructure();
        calls >> when >> method;
        calls.beginArray();
        while (!calls.atEnd())
            arguments.append(qdbus_cast<QDBusVariant>(calls).variant());
        calls.endArray();
        calls.endStructure();
        const QVariantMap hints = qdbus_cast<QVariantMap>(arguments.value(6));
        if (arguments.value(0) != "Kalvion" || arguments.value(2) != KALVION_ID
            || hints.value("desktop-entry") != KALVION_ID)
            QTest::qFail("a notification without the program's name, icon and desktop entry",
                __FILE__, __LINE__);
        sent.append({ arguments.value(3).toString(), arguments.value(4).toString() });
    }
    calls.endArray();
    return sent;
}
