#pragma once

#include <QObject>

#include <csignal>
#include <functional>

class QSocketNotifier;

// The ends of a session that skip the close question: SIGTERM, SIGINT and SIGHUP (logout,
// shutdown, a closed terminal), and the desktop session manager's request to save. Each runs
// the given step once and then ends the event loop with status 0, modal boxes included.
class SessionEnd : public QObject
{
    Q_OBJECT

public:
    explicit SessionEnd(std::function<void()> save);
    // Gives the signals back to the handlers they had before.
    ~SessionEnd() override;

private:
    void end();

    std::function<void()> save;
    QSocketNotifier *notifier;
    struct sigaction before[3];
};
