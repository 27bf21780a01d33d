#pragma once

#include <QObject>

#include <functional>

// The ends of a session that skip the close question: SIGTERM, SIGINT and SIGHUP (logout,
// shutdown, a closed terminal) run `save` once and then end the event loop with status 0, modal
// boxes included. The desktop session manager's request to save runs `commit`, and the program
// goes on: the logout may still be cancelled.
class SessionEnd : public QObject
{
    Q_OBJECT

public:
    SessionEnd(std::function<void()> save, std::function<void()> commit);

private:
    void end();

    std::function<void()> save;
    std::function<void()> commit;
};
