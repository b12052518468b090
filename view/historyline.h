#pragma once

#include "store/historyquery.h"

#include <QVector>

// The points of one channel's line through a logger's buckets: the minimum and maximum of each
// bucket at its middle time, and a NaN point (a gap in the line) between buckets more than 1.5
// poll intervals apart and after a bucket that holds a row without this channel's value (a
// break row, or a sample without reading).
struct HistoryPoint
{
    double time;
    double value;
};
QVector<HistoryPoint> historyLine(const QVector<HistoryBucket> &buckets, int channel,
                                  qint64 intervalSeconds);
