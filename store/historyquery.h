#pragma once

#include <QString>
#include <QVector>

class HistoryDatabase;
class HistorySummary;

// The samples of one logger that fall into one column of pixels, reduced to what a chart of
// that column shows.
struct HistoryBucket
{
    qint64 firstTime = 0;
    qint64 lastTime = 0;
    qint64 count = 0;
    qint64 valueCount[2] = {0, 0};
    double minimum[2] = {0, 0};
    double maximum[2] = {0, 0};
    double sum[2] = {0, 0};
};

// One logger's time range reduced to at most `columns` buckets by the database itself, so that
// drawing a year never loads more than a chart's width of rows. Wide columns are read from the
// minute or hour blocks of the summary when it is caught up; narrow ones, and any range without a
// summary, from the table through its (serialno, pointDate) index.
class HistoryQuery
{
public:
    HistoryQuery(HistoryDatabase *database, HistorySummary *summary = nullptr);

    QVector<HistoryBucket> buckets(const QString &serial, qint64 from, qint64 to, int columns);
    bool lastUsedSummary() const { return m_bUsedSummary; }
    QString lastError() const { return m_strLastError; }

private:
    HistoryDatabase *m_pDatabase;
    HistorySummary *m_pSummary;
    bool m_bUsedSummary = false;
    QString m_strLastError;
};
