#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QStringList>

// The desktop's services as python-dbusmock's own templates give them: logind on the system
// bus the virtual meter runs (started before, so that its bus is this process's system bus),
// and a notification daemon on a session bus of this test process's own. Copies of the program
// started after it inherit both buses.
class DesktopServices
{
public:
    DesktopServices();
    ~DesktopServices();

    bool isRunning() const { return running; }
    // The locks logind holds now: what, who, why and mode of each.
    QList<QStringList> inhibitors();
    // Summary and body of each notification sent since they were last forgotten; fails the test
    // on one without the program's name, icon and desktop entry.
    QList<QStringList> notifications();
    void forgetNotifications();

private:
    bool startMock(QProcess &mock, const QString &bus, const QString &name,
        const QDBusConnection &connection, const QString &service);

    QProcess sessionDaemon;
    QProcess logind;
    QProcess notifier;
    QDBusConnection system{ QString() };
    QDBusConnection session{ QString() };
    bool running = false;
};
