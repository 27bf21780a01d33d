#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP, the ways a session or a person ends a program without asking it
// (logout, shutdown, Ctrl+C, a closed terminal), told once through the event loop. The handler
// only writes to a socket that the event loop reads. Gives the signals back to the handlers
// they had before when it goes.
class EndSignals : public QObject
{
    Q_OBJECT

public:
    explicit EndSignals(QObject *parent = nullptr);
    ~EndSignals() override;

signals:
    void caught();

private:
    QSocketNotifier *notifier;
    struct sigaction before[3];
};
