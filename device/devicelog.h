#pragma once

#include <QLoggingCategory>

// Diagnostics of the device layer. A category rather than plain qDebug() so that a
// disabled debug output costs no formatting on every poll.
Q_DECLARE_LOGGING_CATEGORY(lcDevice)
