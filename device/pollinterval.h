#pragma once

#include <QString>

// The one process-wide poll interval in milliseconds (10000 until a project sets it).
int pollInterval();
void setPollInterval(int ms);

// "1 sec" ... "10 min" for the six offered intervals, empty text for any other value.
QString intervalText(int ms);
