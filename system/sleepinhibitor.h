#pragma once

#include <QObject>
#include <QString>

class QDBusPendingCallWatcher;

// Keeps the machine from going to sleep, idle or asked, while held: an inhibitor lock of
// systemd-logind, which lasts as long as the file descriptor logind hands out stays open.
// Without logind, or when it refuses, the machine may sleep as before; the program says so once
// on stderr and goes on.
class SleepInhibitor : public QObject
{
    Q_OBJECT

public:
    explicit SleepInhibitor(QObject *parent = nullptr);
    ~SleepInhibitor() override;

    // Asks for the lock, giving `why` to whoever lists the locks; does nothing while it is held
    // or asked for, or was refused and not released since.
    void hold(const QString &why);
    void release();
    bool isHeld() const { return wanted; }

private:
    void answered(QDBusPendingCallWatcher *call);

    bool wanted = false;
    int lock = -1;
    QDBusPendingCallWatcher *asking = nullptr;
};
