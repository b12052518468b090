#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <cmath>

class HistoryDatabase;

// One stored row as read back; a channel without value is NaN.
struct HistoryRow
{
    qint64 time = 0;
    QString serial;
    double value[2] = {NAN, NAN};
};

// Reads the rows of some loggers and a time range in time order, a window at a time, so that a
// long export or statistic runs in short steps over any size of table: each step reads about
// `rows` rows through the (serialno, pointDate) index and never re-reads what came before.
class HistoryRowReader
{
public:
    HistoryRowReader(HistoryDatabase *database, const QStringList &serials, qint64 from, qint64 to);

    // Appends the next rows (ordered by time, then row id); false with error() on a failed read.
    bool next(int rows, QVector<HistoryRow> *out);
    bool atEnd() const { return m_nNext > m_nTo; }
    double progress() const;
    QString error() const { return m_strError; }

private:
    HistoryDatabase *m_pDatabase;
    QStringList m_serials;
    qint64 m_nFrom;
    qint64 m_nTo;
    qint64 m_nNext;
    qint64 m_nWindow = 600;
    QString m_strError;
};
