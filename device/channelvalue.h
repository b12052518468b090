#pragma once

#include "device/devicetypes.h"

#include <QString>
#include <QStringView>

// One channel of one reply line: the value kept for charts, alarms and the store, and the
// text the display shows.
struct ChannelValue
{
    double value = NO_VALUE;
    QString text;
};

// Reads one field of a reply line. "----" anywhere in the field means the logger has no
// reading and keeps the raw text. A field that is not a finite decimal number ("12a", or
// empty as in "23.4,") is no value as well and shows as "----": reading it as 0 would
// store and chart a temperature the logger never measured.
ChannelValue parseChannelField(QStringView field);

// Limits are entered and shown with two decimals but held as floats; comparing the float
// widened to double would put a reading equal to the limit the user typed (25.30 against
// 25.3) outside the range. The limit is therefore compared at its two-decimal value.
double alarmLimit(float limit);

// True when value lies strictly outside [min, max]. NO_VALUE never alarms, and equal
// limits mean that no range is set.
bool isOutsideAlarmRange(double value, float min, float max);
