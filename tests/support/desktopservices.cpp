#include "support/desktopservices.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusVariant>
#include <QTest>

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
    running = startMock(logind, "--system", "org.freedesktop.login1", system)
        && startMock(notifier, "--session", "org.freedesktop.Notifications", session);
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

bool DesktopServices::startMock(
    QProcess &mock, const QString &bus, const QString &name, const QDBusConnection &connection)
{
    const QString templateName
        = name == "org.freedesktop.login1" ? "logind" : "notification_daemon";
    mock.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    mock.start("/usr/bin/python3", { "-m", "dbusmock", bus, "--template", templateName });
    return QTest::qWaitFor(
        [&] { return connection.interface()->isServiceRegistered(name).value(); }, 10000);
}

QList<QStringList> DesktopServices::inhibitors()
{
    QDBusMessage list = QDBusMessage::createMethodCall("org.freedesktop.login1",
        "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "ListInhibitors");
    const QDBusMessage reply = system.call(list);
    QList<QStringList> locks;
    const QDBusArgument all = reply.arguments().value(0).value<QDBusArgument>();
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
    QDBusInterface("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
        "org.freedesktop.DBus.Mock", session)
        .call("ClearCalls");
}

QList<QStringList> DesktopServices::notifications()
{
    QDBusInterface mock("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
        "org.freedesktop.DBus.Mock", session);
    const QDBusMessage reply = mock.call("GetCalls");
    QList<QStringList> sent;
    const QDBusArgument calls = reply.arguments().value(0).value<QDBusArgument>();
    calls.beginArray();
    while (!calls.atEnd()) {
        qulonglong when;
        QString method;
        QVariantList arguments;
        calls.beginStructure();
        calls >> when >> method;
        calls.beginArray();
        while (!calls.atEnd()) {
            QDBusVariant argument;
            calls >> argument;
            arguments.append(argument.variant());
        }
        calls.endArray();
        calls.endStructure();
        if (method != "Notify")
            continue;
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
