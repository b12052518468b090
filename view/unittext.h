#pragma once

#include <QString>

// The unit shown next to a channel value: 0 none, 1 "°C", 2 "°F", 3 "%RH", 4 the channel's
// custom text; any other index gives a null string.
QString unitText(int unitIndex, const QString &custom);
