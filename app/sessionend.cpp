#include "app/sessionend.h"

#include <QGuiApplication>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

namespace {

const int caught[3] = { SIGTERM, SIGINT, SIGHUP };
// The handler may only write to a socket; the event loop reads the other end.
int wake[2] = { -1, -1 };

void handle(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake[0], &byte, 1);
}

} // namespace

SessionEnd::SessionEnd(std::function<void()> save, std::function<void()> commit)
    : save(std::move(save)), commit(std::move(commit))
{
    ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, wake);
    notifier = new QSocketNotifier(wake[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &SessionEnd::end);
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this] { this->commit(); });

    struct sigaction action = {};
    action.sa_handler = handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i)
        sigaction(caught[i], &action, &before[i]);
}

SessionEnd::~SessionEnd()
{
    for (int i = 0; i < 3; ++i)
        sigaction(caught[i], &before[i], nullptr);
    delete notifier;
    ::close(wake[0]);
    ::close(wake[1]);
    wake[0] = wake[1] = -1;
}

void SessionEnd::end()
{
    notifier->setEnabled(false);
    save();
    QCoreApplication::exit(0);
}
