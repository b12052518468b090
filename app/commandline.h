#pragma once

#include <QStringList>

// The program's few command-line options: --help, --version and --verbose (the diagnostic lines
// of every poll, batch and datagram on the terminal, which is otherwise quiet). --help, --version
// and a wrong option print their text and end the program, as command-line tools do.
void processCommandLine(const QStringList &arguments);
