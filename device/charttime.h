#pragma once

#include <QtGlobal>

// Chart time is plain UNIX seconds (UTC); the date axis shows it in local time.
// Samples add the request's milliseconds as a fraction.
inline double chartTime2(qint64 unixSeconds)
{
    return static_cast<double>(unixSeconds);
}
