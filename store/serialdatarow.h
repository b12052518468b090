#pragma once

#include <QString>

// One queued measurement row: both channels of one logger at one second.
struct SerialDataRow
{
    QString serialNo;
    double channel1; // NO_VALUE when the channel has no reading
    double channel2;
    quint32 pointDate; // seconds since 1970-01-01 UTC
};
