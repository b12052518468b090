#include "app/terminationwatcher.h"
#include "store/logcategories.h"

#include <QDebug>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// The handler may only write to a descriptor; everything else happens in readSignal().
int s_signalPipe[2] = {-1, -1};
const int WATCHED_SIGNALS[] = {SIGTERM, SIGINT, SIGHUP};

void onSignal(int signalNumber)
{
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(s_signalPipe[0], &byte, 1);
}
} // namespace

TerminationWatcher::TerminationWatcher(QObject *parent) : QObject(parent)
{
    if (s_signalPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, s_signalPipe) != 0) {
        qCWarning(lcApp)
            << "TerminationWatcher : [ERROR] no signal channel; signals end the program "
               "at once";
        return;
    }
    m_pNotifier = new QSocketNotifier(s_signalPipe[1], QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, &TerminationWatcher::readSignal);

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : WATCHED_SIGNALS)
        sigaction(signalNumber, &action, nullptr);
}

TerminationWatcher::~TerminationWatcher()
{
    if (!m_pNotifier)
        return;
    for (const int signalNumber : WATCHED_SIGNALS)
        std::signal(signalNumber, SIG_DFL);
    delete m_pNotifier;
    m_pNotifier = nullptr;
    ::close(s_signalPipe[0]);
    ::close(s_signalPipe[1]);
    s_signalPipe[0] = s_signalPipe[1] = -1;
}

void TerminationWatcher::readSignal()
{
    unsigned char byte = 0;
    if (::read(s_signalPipe[1], &byte, 1) != 1)
        return;
    qCDebug(lcApp) << "TerminationWatcher::readSignal : signal" << int(byte);
    emit terminationRequested(int(byte));
}

#else

TerminationWatcher::TerminationWatcher(QObject *parent) : QObject(parent) {}

TerminationWatcher::~TerminationWatcher() = default;

void TerminationWatcher::readSignal() {}

#endif
