#pragma once

#include "store/pgbatch.h"
#include "store/pgconnectionsettings.h"

#include <QObject>
#include <QSemaphore>
#include <QStringList>

class QSqlDatabase;
class QTimer;

// The central database's writer. It lives on a worker thread with a connection of its own:
// batches arrive by queued calls and are answered committed or failed, so the GUI thread
// never waits on the network. A lost connection is opened again at the next batch.
class PgBatchWriter : public QObject
{
    Q_OBJECT

public:
    // A recorder's heartbeat; one missed for STALE_SECONDS frees its loggers.
    static constexpr int HEARTBEAT_MS = 10000;
    static constexpr int STALE_SECONDS = 35;

    PgBatchWriter(const PgConnectionSettings &settings, const QString &recorderId);
    ~PgBatchWriter() override;

    // Released once after every answer, so the owner can wait for one briefly.
    QSemaphore &answers() { return m_answers; }

    // The calls below run on the writer's thread (queued or blocking-queued).
    // Opens the connection and creates the tables where missing.
    bool ensureOpen(QString *error);
    // Registers this recorder for the loggers, refused (false, message) when another live
    // recorder holds one of them.
    bool claimLoggers(const QStringList &serials, const QString &project, QString *message);
    void releaseLoggers();
    // min and max pointDate of the claimed loggers; false when unknown.
    bool recordedRange(const QStringList &serials, qint64 *from, qint64 *to);
    void close();

public slots:
    void writeBatch(const PgBatch &batch);

signals:
    void committed(quint64 batchId, int rows);
    void failed(quint64 batchId, const QString &error);
    // Answers of claimLoggers and recordedRange run by a queued call.
    void claimAnswered(quint64 request, bool ok, const QString &message);
    void rangeRead(quint64 request, bool ok, qint64 from, qint64 to);

private:
    QSqlDatabase database() const;
    bool createTables(QString *error);
    bool exec(const QString &statement, QString *error);
    QString literal(const QVariant &value) const;
    void fail(QString *error, const QString &text);
    void heartbeat();

    PgConnectionSettings m_settings;
    QString m_strRecorderId;
    QString m_strConnection;
    QStringList m_claimed;
    QString m_strProject;
    QTimer *m_pHeartbeat = nullptr;
    QSemaphore m_answers;
};
