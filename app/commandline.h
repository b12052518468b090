#pragma once

#include <QString>
#include <QStringList>

struct CommandLineOptions
{
    // --headless PROJECT.tpc: record that project with no window.
    QString headlessProject;
};

// The program's few command-line options: --help, --version, --verbose (the diagnostic lines
// of every poll, batch and datagram on the terminal, which is otherwise quiet) and --headless.
// --help, --version and a wrong option print their text and end the program, as command-line
// tools do.
CommandLineOptions processCommandLine(const QStringList &arguments);
// Whether the arguments ask for --headless; looked at before any application object exists.
bool wantsHeadless(int argc, char *argv[]);
