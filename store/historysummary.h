#pragma once

#include <QString>

class HistoryDatabase;
class QSqlDatabase;

// Minute and hour blocks of every logger's samples (count, minimum, maximum and sum of each
// channel, first and last time), kept in a cache file of our own so that a chart of months reads
// thousands of blocks instead of millions of rows. The project database is only read. Rows are
// folded in by row id, so rows recorded since the last look are added in a moment; a table that was
// dropped and created anew is noticed and folded from the start.
class HistorySummary
{
public:
    static constexpr qint64 BLOCK_SECONDS = 60;
    static constexpr qint64 HOUR_SECONDS = 3600;

    HistorySummary(HistoryDatabase *source, const QString &cachePath);
    ~HistorySummary();
    HistorySummary(const HistorySummary &) = delete;
    HistorySummary &operator=(const HistorySummary &) = delete;

    // A cache file per database path, in the user's cache folder.
    static QString defaultCachePath(const QString &databasePath);

    bool open();
    bool isOpen() const { return m_bOpen; }
    // Folds up to maxRows more rows; true once every row of the source is folded.
    bool catchUp(int maxRows);
    bool isCaughtUp() const { return m_nFolded >= m_nSourceMax; }
    double progress() const;
    QSqlDatabase database() const;

private:
    bool foldRows(qint64 fromId, qint64 toId);
    bool setFolded(qint64 id);

    HistoryDatabase *m_pSource;
    QString m_strCachePath;
    QString m_strConnection;
    bool m_bOpen = false;
    qint64 m_nFolded = 0;
    qint64 m_nStartFolded = 0;
    qint64 m_nSourceMax = 0;
};
