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
// that need an answer (the check at record start, the recorded range) are requests: the worker
// answers them by a signal, so the GUI thread never waits for the server.
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
    // Asks the worker to connect, create the tables and register this recorder for the loggers.
    // startAnswered(request, ...) follows, never before this returns: false with a message for
    // the user when the server cannot be reached or another live recorder polls one of them.
    quint64 requestStart(const QStringList &serials, const QString &project);
    // Frees the loggers; after a start still on its way, once that start is done.
    void stopRecording();
    // Asks for the first and last sample time of the loggers: rangeAnswered(request, ...).
    quint64 requestRange(const QStringList &serials);
    // Sends the oldest events, or when none wait the oldest rows, unless a batch is out; it
    // never waits for an answer. false while the last batch failed: the rows stay queued and go
    // again with the next call.
    bool insertFrom(PendingRowQueue &queue, PendingEventQueue *events = nullptr);
    // true when no batch is on its way, after waiting up to ms for its answer (the program
    // ends: nothing else would deliver it).
    bool waitForIdle(int ms);

    QString lastError() const { return m_strLastError; }
    QString displayName() const { return m_settings.displayName(); }
    int batchesInFlight() const { return m_nInFlightRows > 0 ? 1 : 0; }

signals:
    // A batch is committed, microseconds after it was handed to the writer.
    void batchCommitted(int rows, qint64 microseconds);
    void startAnswered(quint64 request, bool ok, const QString &message);
    // ok false: the range is unknown (no rows, or no server).
    void rangeAnswered(quint64 request, bool ok, qint64 from, qint64 to);

public:
    // For "Test connection": connects once on a connection of its own, on the caller's thread.
    static bool testConnection(const QString &url, QString *message);

private:
    template <typename Queue, typename Convert>
    void send(const char *table, const Queue &queue, Convert convert, bool events);
    void onCommitted(quint64 batchId, int rows);
    void onFailed(quint64 batchId, const QString &error);
    void deliverAnswers(int waitMs);
    void onStartAnswered(quint64 request, bool ok, const QString &text);

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
    quint64 m_nRequest = 0;
    QElapsedTimer m_sent;
};
