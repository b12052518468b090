#pragma once

#include "store/serialdatarow.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

#include <memory>

class PendingEventQueue;
class PendingRowQueue;
class PgStore;
class WalCheckpointer;
class QSqlDatabase;

// The measurement store of the open project: one SQLite file, one table "kestrelix" that two
// sibling programs read as well. Samples wait in a queue that the store's owner keeps and hands
// to it; they are written in batches, and a batch leaves the queue only once it is committed.
class InsertSerialData : public QObject
{
    Q_OBJECT

public:
    // SQLite refuses compound selects of more than 500 terms.
    static constexpr int ROWS_PER_STATEMENT = 400;
    // One flush writes at most this many of the oldest rows, so that it stays a short step of
    // the GUI thread however long the queue grew during an outage (bench/store measures it).
    static constexpr int ROWS_PER_FLUSH = 2 * ROWS_PER_STATEMENT;

    // databasePath is the SQLite file, or the address of a central PostgreSQL database
    // (postgresql://...), whose rows go through a PgStore on a worker thread instead.
    InsertSerialData(const QString &databasePath, const QString &connectionPrefix,
                     QObject *parent = nullptr);
    ~InsertSerialData() override;

    bool createConnection();
    bool applyPragmas();
    bool createTable();
    // Writes the oldest rows of the queue, at most ROWS_PER_FLUSH of them, in one transaction.
    // true: they were committed (or there was nothing to write); rows refused for their own
    // content (a null serial, say) are dropped one by one with a diagnostic, the others stored.
    // false: the database refused the write (full, locked, read-only); every row stays queued
    // for the next flush (see lastError()).
    bool insertNow();
    // The same for a queue of rows set aside for this store's database; events, when given,
    // are written in the same transaction as the rows.
    bool insertFrom(PendingRowQueue &queue, PendingEventQueue *events = nullptr);
    // False once the event table failed to be read or written: samples are stored all the same.
    bool isEventLogWorking() const { return !m_bEventLogBroken; }

    // The queue insertNow() writes from; the owner keeps it, so rows queued while no store is
    // connected wait for the next one. Without a queue insertNow() has nothing to write.
    void setRowQueue(PendingRowQueue *queue) { m_pRowQueue = queue; }
    PendingRowQueue *rowQueue() const { return m_pRowQueue; }
    // The events written in the same transaction as the rows; kept by the owner like the rows.
    void setEventQueue(PendingEventQueue *queue) { m_pEventQueue = queue; }
    PendingEventQueue *eventQueue() const { return m_pEventQueue; }
    // The bytes the database takes on disk: the main file and its write-ahead log, where
    // recent commits live until a checkpoint moves them into the main file.
    static qint64 databaseFileSize(const QString &databasePath);

    // The first and last sample time of a file; 0 when it holds none. A central database is
    // only asked in the background: 0 here, see requestRecordedRange().
    uint startDateTime();
    uint endDateTime();
    int totalRow();
    // Alarm events no operator acknowledged yet; 0 when the event table cannot be read.
    int unacknowledgedAlarms();
    bool deleteTable();

    // Recording begins and ends. A file needs nothing (0). A central database is asked on its
    // worker, and startAnswered(request, ...) follows once it is reached and registered this
    // recorder, or refused (message for the user) because it cannot be reached or another
    // recorder polls one of the loggers.
    quint64 requestStart(const QStringList &serials, const QString &project);
    void stopRecording();
    // A central database's first and last sample time of the loggers, asked on its worker:
    // recordedRangeRead(request, ...) follows. 0 for a file (startDateTime() answers at once).
    quint64 requestRecordedRange(const QStringList &serials);
    // The program ends: waits up to ms for the batch on its way to a central database.
    bool waitForServer(int ms);
    // What the user is told, once, when flushes start failing.
    QString failureMessage() const;
    bool isServer() const { return m_pServer != nullptr; }

    bool isConnected() const { return m_bConnected; }
    QString databasePath() const { return m_strDatabasePath; }
    QString connectionName() const;
    // "wal", or the journal the database fell back to where WAL is not available.
    QString journalMode() const { return m_strJournalMode; }
    // Error text of the last failed operation; empty after a successful flush.
    QString lastError() const { return m_strLastError; }

signals:
    // Once per store, when the first event cannot be written to the event table.
    void eventLogFailed(const QString &text);
    void startAnswered(quint64 request, bool ok, const QString &message);
    void recordedRangeRead(quint64 request, bool ok, qint64 from, qint64 to);

private:
    QSqlDatabase database() const;
    bool prepareEventTable();
    int writeEvents(PendingEventQueue *events);
    void reportEventLogFailure(const QString &error);
    bool execPragma(const QString &statement, QString *result = nullptr);
    struct BoundRow;
    enum class WriteResult
    {
        Written,
        RowsRefused,
        Failed
    };
    WriteResult writeStatement(QSqlDatabase &db, const QList<BoundRow> &rows, int first, int count);
    bool writeRows(QSqlDatabase &db, const QList<BoundRow> &rows);
    QSqlQuery *insertStatement(QSqlDatabase &db, int rowCount);
    void abandonTransaction(QSqlDatabase &db);

    PendingRowQueue *m_pRowQueue = nullptr;
    PendingEventQueue *m_pEventQueue = nullptr;
    bool m_bConnected = false;
    QString m_strDatabasePath;
    QString m_strConnectionPrefix;
    QString m_strJournalMode;
    QString m_strLastError;
    bool m_bTransactionOpen = false;
    bool m_bEventTableReady = false;
    // Set by the first failure of the event table, whatever came after it.
    bool m_bEventLogBroken = false;
    bool m_bEventLogFailureTold = false;
    QString m_strEventLogError;
    // Set where the journal is WAL: it copies the log into the file off the GUI thread.
    std::unique_ptr<WalCheckpointer> m_pCheckpointer;
    qint64 m_nRowsSinceCheckpoint = 0;
    // Parsing a statement of a hundred union terms costs more than running it; batches come
    // in a few recurring sizes, so their prepared statements are kept.
    QHash<int, QSqlQuery> m_insertStatements;
    std::unique_ptr<PgStore> m_pServer;
};
