#include "sim/commandconsole.h"
#include "sim/signalrouter.h"
#include "sim/simoptions.h"
#include "sim/simulator.h"
#include "sim/stdoutwriter.h"

#include <QCoreApplication>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Started with stdin closed, the first pty or socket would become fd 0 and be read as commands.
void ensureStdinIsOpen()
{
    if (::fcntl(STDIN_FILENO, F_GETFD) == -1) {
        const int fd = ::open("/dev/null", O_RDONLY);
        if (fd > STDIN_FILENO) {
            ::dup2(fd, STDIN_FILENO);
            ::close(fd);
        }
    }
}

} // namespace

int main(int argc, char *argv[])
{
    ensureStdinIsOpen();
    // A test that goes away must not kill the simulator through its closed stdout pipe.
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kestrelix-sim"));

    SimOptions options;
    switch (parseSimOptions(QCoreApplication::arguments(), &options)) {
    case ParseResult::ExitOk:
        return 0;
    case ParseResult::ExitError:
        return 2;
    case ParseResult::Run:
        break;
    }

    SignalRouter router;
    if (!router.install()) {
        writeStderrLine(QStringLiteral("kestrelix-sim: cannot install signal handlers"));
        return 1;
    }
    QObject::connect(&router, &SignalRouter::quitRequested, &app, &QCoreApplication::quit);

    Simulator simulator(options);
    QObject::connect(&simulator, &Simulator::quitRequested, &app, &QCoreApplication::quit);
    QString error;
    if (!simulator.start(&error)) {
        writeStderrLine(QStringLiteral("kestrelix-sim: ") + error);
        return 1;
    }

    CommandConsole console;
    QObject::connect(&console, &CommandConsole::lineReceived, &simulator,
                     &Simulator::slotCommandLine);
    return app.exec();
}
