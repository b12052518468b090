#include "store/historyquery.h"

#include "store/historydatabase.h"
#include "store/historysummary.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

// Columns: bucket, count, then per channel count/min/max/sum, then first and last time.
const char RAW_QUERY[] =
    "select ((pointDate - :from) * :columns) / :span as b, count(*), count(channel1), "
    "min(channel1), max(channel1), sum(channel1), count(channel2), min(channel2), max(channel2), "
    "sum(channel2), min(pointDate), max(pointDate) from kestrelix where serialno = :serial and "
    "pointDate >= :from and pointDate <= :to group by b order by b";
const char BLOCK_QUERY[] =
    "select (t - :from) / :width as b, sum(n), sum(n1), min(min1), max(max1), sum(sum1), "
    "sum(n2), min(min2), max(max2), sum(sum2), min(ft), max(lt) from %1 where serialno = "
    ":serial and t >= :from and t <= :to group by b order by b";

// Minute blocks are used once a column holds at least two of them.
constexpr qint64 MIN_BLOCKS_PER_COLUMN = 2;

} // namespace

HistoryQuery::HistoryQuery(HistoryDatabase *database, HistorySummary *summary)
    : m_pDatabase(database), m_pSummary(summary)
{
}

QVector<HistoryBucket> HistoryQuery::buckets(const QString &serial, qint64 from, qint64 to,
                                             int columns)
{
    QVector<HistoryBucket> result;
    m_strLastError.clear();
    if (to < from || columns < 1)
        return result;
    const qint64 span = to - from + 1;
    const qint64 perColumn = span / columns;
    // Hour blocks from one per column: a year is then some nine thousand of them.
    const bool hours = perColumn >= HistorySummary::HOUR_SECONDS;
    const qint64 block = hours ? HistorySummary::HOUR_SECONDS : HistorySummary::BLOCK_SECONDS;
    m_bUsedSummary = m_pSummary && m_pSummary->isOpen() && m_pSummary->isCaughtUp() &&
                     (hours || perColumn >= MIN_BLOCKS_PER_COLUMN * block);

    QSqlQuery query(m_bUsedSummary ? m_pSummary->database() : m_pDatabase->database());
    query.setForwardOnly(true);
    if (m_bUsedSummary) {
        // Whole blocks per column, columns starting on a block boundary: every block lies in
        // exactly one column. The first and last column may reach up to a block beyond the range.
        const qint64 origin = from - from % block;
        const qint64 width = ((to - origin + 1) / columns + block) / block * block;
        query.prepare(QString::fromLatin1(BLOCK_QUERY)
                          .arg(hours ? QStringLiteral("hourblock") : QStringLiteral("block")));
        query.bindValue(QStringLiteral(":from"), origin);
        query.bindValue(QStringLiteral(":width"), width);
    } else {
        query.prepare(QLatin1String(RAW_QUERY));
        query.bindValue(QStringLiteral(":from"), from);
        query.bindValue(QStringLiteral(":columns"), qint64(columns));
        query.bindValue(QStringLiteral(":span"), span);
    }
    query.bindValue(QStringLiteral(":serial"), serial);
    query.bindValue(QStringLiteral(":to"), to);
    if (!query.exec()) {
        m_strLastError = query.lastError().text();
        return result;
    }
    while (query.next()) {
        HistoryBucket b;
        b.count = query.value(1).toLongLong();
        for (int ch = 0; ch < 2; ++ch) {
            const int c = 2 + ch * 4;
            b.valueCount[ch] = query.value(c).toLongLong();
            b.minimum[ch] = query.value(c + 1).toDouble();
            b.maximum[ch] = query.value(c + 2).toDouble();
            b.sum[ch] = query.value(c + 3).toDouble();
        }
        b.firstTime = query.value(10).toLongLong();
        b.lastTime = query.value(11).toLongLong();
        result.append(b);
    }
    return result;
}
