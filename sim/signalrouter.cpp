#include "sim/signalrouter.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalFds[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalFds[0], &byte, 1);
}

} // namespace

SignalRouter::SignalRouter(QObject *parent) : QObject(parent) {}

SignalRouter::~SignalRouter()
{
    struct sigaction dfl = {};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(SIGTERM, &dfl, nullptr);
    ::sigaction(SIGINT, &dfl, nullptr);
}

bool SignalRouter::install()
{
    if (g_signalFds[0] < 0 &&
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalFds) != 0)
        return false;
    ::fcntl(g_signalFds[0], F_SETFL, O_NONBLOCK);
    m_pNotifier = new QSocketNotifier(g_signalFds[1], QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, &SignalRouter::slotSignalled);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 &&
           ::sigaction(SIGINT, &action, nullptr) == 0;
}

void SignalRouter::slotSignalled()
{
    char buffer[16];
    [[maybe_unused]] const ssize_t n = ::read(g_signalFds[1], buffer, sizeof(buffer));
    emit quitRequested();
}
