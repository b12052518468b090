#pragma once

#include <QByteArray>

// Decodes \r \n \t \0 \\ and \xNN (one or two hex digits); any other escaped character stands
// for itself, so a stray backslash never swallows text.
QByteArray decodeCEscapes(const QByteArray &text);
