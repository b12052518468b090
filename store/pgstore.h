#pragma once

#include "store/pgconnectionsettings.h"

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>

class PendingEventQueue;
class PendingRowQueue;
class PgBatchWriter;
class QThread;

// The open project's central PostgreSQL store, seen from the GUI thread. It hands the oldest
// queued rows to a writer on a worker thread and removes them from the queue only when the
// writer answers that they are committed; a failed batch stays queued and is sent again. Calls
// that need an answer (the check at record start, the recorded range) wait for the worker,
// bounded by the connect time-out.
class PgStore : public QObject
{
    Q_OBJECT

public:
    // Rows of one batch: a second of 512 loggers, and few batches for an outage's backlog.
    static constexpr int ROWS_PER_BATCH = 2000;

    explicit PgStore(const QString &url, QObject *parent = nullptr);
    ~PgStore() override;

    // Reads the address and starts the worker; false with lastError() for a bad address.
    bool open();
    // Connects, creates the tables and registers this recorder for the loggers: false with a
    // message for the user when the server cannot be reached or another live recorder polls
    // one of them.
    bool startRecording(const QStringList &serials, const QString &project, QString *message);
    void stopRecording();
    // Sends the oldest rows of queue when no batch is on its way. false while the last batch
    // failed: the rows stay queued and go again with the next call.
    // Sends the oldest events, or when none wait the oldest rows, unless a batch is out.
    bool insertFrom(PendingRowQueue &queue, PendingEventQueue *events = nullptr);
    // true when no batch is on its way, after waiting up to ms for its answer.
    bool waitForIdle(int ms);
    // First and last sample time of the loggers last registered; 0 when unknown.
    uint startDateTime();
    uint endDateTime();

    QString lastError() const { return m_strLastError; }
    QString displayName() const { return m_settings.displayName(); }
    int batchesInFlight() const { return m_nInFlightRows > 0 ? 1 : 0; }

signals:
    // A batch is committed, microseconds after it was handed to the writer.
    void batchCommitted(int rows, qint64 microseconds);

public:
    // For "Test connection": connects once on a connection of its own, on the caller's thread.
    static bool testConnection(const QString &url, QString *message);

private:
    void sendEvents(const PendingEventQueue &events);
    void onCommitted(quint64 batchId, int rows);
    void onFailed(quint64 batchId, const QString &error);
    void deliverAnswers(int waitMs);
    bool range(qint64 *from, qint64 *to);

    QString m_strUrl;
    PgConnectionSettings m_settings;
    QThread *m_pThread = nullptr;
    PgBatchWriter *m_pWriter = nullptr;
    PendingRowQueue *m_pQueue = nullptr;
    PendingEventQueue *m_pEventQueue = nullptr;
    // The batch out is of events, not rows.
    bool m_bEventsInFlight = false;
    quint64 m_nBatchId = 0;
    int m_nInFlightRows = 0;
    qint64 m_nDroppedAtSend = 0;
    bool m_bFailing = false;
    QString m_strLastError;
    QStringList m_serials;
    QElapsedTimer m_sent;
};
