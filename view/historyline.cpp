#include "view/historyline.h"

#include <cmath>

QVector<HistoryPoint> historyLine(const QVector<HistoryBucket> &buckets, int channel,
                                  qint64 intervalSeconds)
{
    QVector<HistoryPoint> points;
    points.reserve(buckets.size() * 2 + 8);
    const HistoryBucket *previous = nullptr;
    bool broken = false;
    for (const HistoryBucket &b : buckets) {
        const double middle = (double(b.firstTime) + double(b.lastTime)) / 2;
        if (previous && (broken || 2 * (b.firstTime - previous->lastTime) > 3 * intervalSeconds))
            points.append({(double(previous->lastTime) + double(b.firstTime)) / 2, NAN});
        previous = &b;
        if (b.valueCount[channel] == 0) {
            broken = true;
            continue;
        }
        points.append({middle, b.minimum[channel]});
        if (b.maximum[channel] != b.minimum[channel])
            points.append({middle, b.maximum[channel]});
        broken = b.valueCount[channel] < b.count;
    }
    return points;
}
