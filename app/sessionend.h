#pragma once

#include <QObject>

#include <csignal>
#include <functional>

class QSocketNotifier;

// The ends of a session that skip the close question: SIGTERM, SIGINT and SIGHUP (logout,
// shutdown, a closed terminal) run `save` once and then end the event loop with status 0, modal
// boxes included. The desktop session manager's request to save runs `commit`, and the program
// goes on: the logout may still be cancelled.
class SessionEnd : public QObject
{
    Q_OBJECT

public:
    SessionEnd(std::function<void()> save, std::function<void()> commit);
    // Gives the signals back to the handlers they had before.
    ~SessionEnd() override;

private:
    void end();

    std::function<void()> save;
    std::function<void()> commit;
    QSocketNotifier *notifier;
    struct sigaction before[3];
};
