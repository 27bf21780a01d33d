#include "system/endsignals.h"

#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

namespace {

const int ending[3] = { SIGTERM, SIGINT, SIGHUP };
int wake[2] = { -1, -1 };

void handle(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake[0], &byte, 1);
}

} // namespace

EndSignals::EndSignals(QObject *parent) : QObject(parent)
{
    ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, wake);
    notifier = new QSocketNotifier(wake[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        notifier->setEnabled(false);
        emit caught();
    });
    struct sigaction action = {};
    action.sa_handler = handle;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i)
        sigaction(ending[i], &action, &before[i]);
}

EndSignals::~EndSignals()
{
    for (int i = 0; i < 3; ++i)
        sigaction(ending[i], &before[i], nullptr);
    delete notifier;
    ::close(wake[0]);
    ::close(wake[1]);
    wake[0] = wake[1] = -1;
}
