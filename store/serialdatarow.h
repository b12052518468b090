#pragma once

#include <QString>

// The no-value marker: never drawn by the charts and written to the database as NULL.
constexpr double NO_VALUE = 1.7e308;

// One queued measurement row: both channels of one logger at one second.
struct SerialDataRow
{
    QString serialNo;
    double channel1; // NO_VALUE when the channel has no reading
    double channel2;
    quint32 pointDate; // seconds since 1970-01-01 UTC
};
