#pragma once

#include <QString>

// Every line goes out at once: the tests and the demo script wait for lines, and a pipe would
// otherwise hold them in the C library's buffer.
void writeStdoutLine(const QString &line);
void writeStderrLine(const QString &line);
