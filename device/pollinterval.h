#pragma once

#include <QString>

// The poll interval in milliseconds a device or a project has until one is given.
constexpr int DEFAULT_POLL_INTERVAL_MS = 10000;

// "1 sec" ... "10 min" for the six offered intervals, empty text for any other value.
QString intervalText(int ms);
