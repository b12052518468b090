#include "store/pgstore.h"
#include "store/logcategories.h"
#include "store/pendingeventqueue.h"

#include "store/pendingrowqueue.h"
#include "store/pgbatchwriter.h"
#include "store/pgschema.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QEvent>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>

PgStore::PgStore(const QString &url, QObject *parent) : QObject(parent), m_strUrl(url)
{
    qRegisterMetaType<PgBatch>();
}

PgStore::~PgStore()
{
    if (!m_pThread)
        return;
    // The writer closes its connection on its own thread, after the batch on its way; a start
    // or a range still queued is no longer wanted, and may not hold the closing for another
    // connect time-out.
    m_pThread->requestInterruption();
    QMetaObject::invokeMethod(
        m_pWriter, [writer = m_pWriter] { delete writer; }, Qt::BlockingQueuedConnection);
    m_pThread->quit();
    m_pThread->wait();
}

bool PgStore::open()
{
    if (m_pThread)
        return true;
    if (!m_settings.parse(m_strUrl)) {
        m_strLastError = m_settings.error();
        return false;
    }
    m_pThread = new QThread(this);
    m_pThread->setObjectName(QStringLiteral("PgBatchWriter"));
    m_pWriter = new PgBatchWriter(m_settings, QUuid::createUuid().toString(QUuid::Id128));
    m_pWriter->moveToThread(m_pThread);
    connect(m_pWriter, &PgBatchWriter::committed, this, &PgStore::onCommitted);
    connect(m_pWriter, &PgBatchWriter::failed, this, &PgStore::onFailed);
    connect(m_pWriter, &PgBatchWriter::claimAnswered, this, &PgStore::onStartAnswered);
    connect(m_pWriter, &PgBatchWriter::rangeRead, this, &PgStore::rangeAnswered);
    m_pThread->start();
    qCDebug(lcStore).noquote() << "PgStore::open :" << m_settings.displayName();
    return true;
}

quint64 PgStore::requestStart(const QStringList &serials, const QString &project)
{
    const quint64 request = ++m_nRequest;
    if (!m_pThread) {
        QMetaObject::invokeMethod(
            this, [this, request] { onStartAnswered(request, false, m_strLastError); },
            Qt::QueuedConnection);
        return request;
    }
    QMetaObject::invokeMethod(
        m_pWriter,
        [writer = m_pWriter, request, serials, project] {
            if (QThread::currentThread()->isInterruptionRequested())
                return;
            QString text;
            const bool ok = writer->claimLoggers(serials, project, &text);
            emit writer->claimAnswered(request, ok, text);
        },
        Qt::QueuedConnection);
    return request;
}

void PgStore::onStartAnswered(quint64 request, bool ok, const QString &text)
{
    if (ok) {
        emit startAnswered(request, true, QString());
        return;
    }
    m_strLastError = text;
    emit startAnswered(request, false,
                       text.contains(QLatin1String("Two recorders"))
                           ? text
                           : QStringLiteral("Cannot use the database %1:\n%2")
                                 .arg(m_settings.displayName(), text));
}

void PgStore::stopRecording()
{
    if (m_pThread)
        QMetaObject::invokeMethod(m_pWriter, &PgBatchWriter::releaseLoggers, Qt::QueuedConnection);
}

void PgStore::deliverAnswers(int waitMs)
{
    if (m_nInFlightRows > 0 && m_pWriter->answers().tryAcquire(1, waitMs))
        m_pWriter->answers().release();
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

bool PgStore::waitForIdle(int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (m_nInFlightRows > 0 && clock.elapsed() < ms)
        deliverAnswers(int(qMax<qint64>(1, ms - clock.elapsed())));
    return m_nInFlightRows == 0;
}

template <typename Queue, typename Convert>
void PgStore::send(const char *table, const Queue &queue, Convert convert, bool events)
{
    PgBatch batch;
    batch.id = ++m_nBatchId;
    batch.table = QString::fromLatin1(table);
    const int count = qMin(queue.count(), ROWS_PER_BATCH);
    batch.rows.reserve(count);
    for (int i = 0; i < count; ++i)
        batch.rows.append(convert(queue.at(i)));
    m_nInFlightRows = count;
    m_bEventsInFlight = events;
    m_sent.start();
    QMetaObject::invokeMethod(m_pWriter, "writeBatch", Qt::QueuedConnection, Q_ARG(PgBatch, batch));
}

bool PgStore::insertFrom(PendingRowQueue &queue, PendingEventQueue *events)
{
    if (!m_pThread)
        return false;
    m_pQueue = &queue;
    m_pEventQueue = events;
    // Answers come through the event loop: a flush never waits for the server.
    if (m_nInFlightRows > 0)
        return !m_bFailing;
    // Events are few: they go first, so that a steady stream of rows never holds them back.
    if (events && events->count() > 0) {
        send(PgSchema::EVENT_TABLE, *events, PgSchema::eventValues, true);
        return !m_bFailing;
    }
    if (queue.count() == 0)
        return !m_bFailing;
    m_nDroppedAtSend = queue.droppedRowCount();
    send(PgSchema::MEASUREMENT_TABLE, queue, PgSchema::measurementValues, false);
    return !m_bFailing;
}

void PgStore::onCommitted(quint64 batchId, int rows)
{
    m_pWriter->answers().tryAcquire();
    if (batchId != m_nBatchId)
        return;
    if (m_bEventsInFlight) {
        // Events leave their queue only from its front, and only the store takes them.
        if (m_pEventQueue)
            m_pEventQueue->removeFirst(qBound(0, rows, m_pEventQueue->count()));
        m_nInFlightRows = 0;
        m_bEventsInFlight = false;
        return;
    }
    if (!m_pQueue)
        return;
    // Rows the full queue dropped meanwhile were the oldest, so part of this batch.
    const int dropped = int(m_pQueue->droppedRowCount() - m_nDroppedAtSend);
    m_pQueue->removeFirst(qBound(0, rows - dropped, m_pQueue->count()));
    m_nInFlightRows = 0;
    if (m_bFailing)
        qCInfo(lcStore).noquote() << "PgStore : the database" << m_settings.displayName()
                                  << "takes rows again";
    m_bFailing = false;
    m_strLastError.clear();
    emit batchCommitted(rows, m_sent.nsecsElapsed() / 1000);
}

void PgStore::onFailed(quint64 batchId, const QString &error)
{
    m_pWriter->answers().tryAcquire();
    if (batchId != m_nBatchId)
        return;
    m_nInFlightRows = 0;
    // Retries come every flush: the log says it once per outage.
    if (!m_bFailing)
        qCWarning(lcStore).noquote() << "PgStore : [ERROR] the database" << m_settings.displayName()
                                     << "takes no rows, they stay "
                                     << "queued:" << error;
    else
        qCDebug(lcStore).noquote() << "PgStore : still no database:" << error;
    m_bFailing = true;
    m_strLastError = error;
}

quint64 PgStore::requestRange(const QStringList &serials)
{
    const quint64 request = ++m_nRequest;
    if (!m_pThread || serials.isEmpty()) {
        QMetaObject::invokeMethod(
            this, [this, request] { emit rangeAnswered(request, false, 0, 0); },
            Qt::QueuedConnection);
        return request;
    }
    QMetaObject::invokeMethod(
        m_pWriter,
        [writer = m_pWriter, request, serials] {
            if (QThread::currentThread()->isInterruptionRequested())
                return;
            qint64 from = 0, to = 0;
            const bool ok = writer->recordedRange(serials, &from, &to);
            emit writer->rangeRead(request, ok, from, to);
        },
        Qt::QueuedConnection);
    return request;
}

bool PgStore::testConnection(const QString &url, QString *message)
{
    PgConnectionSettings settings;
    if (!settings.parse(url)) {
        *message = settings.error();
        return false;
    }
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        *message = QStringLiteral("The PostgreSQL driver of Qt is not installed "
                                  "(libqt6sql6-psql).");
        return false;
    }
    const QString name = QStringLiteral("pg-test-") + QUuid::createUuid().toString(QUuid::Id128);
    bool ok = false;
    {
        QSqlDatabase db = settings.addConnection(name);
        ok = db.open();
        QString version;
        if (ok) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("show server_version")) && query.next())
                version = query.value(0).toString();
        }
        *message = ok ? QStringLiteral("Connected to %1 (PostgreSQL %2).")
                            .arg(settings.displayName(), version)
                      : QStringLiteral("Cannot connect to %1:\n%2")
                            .arg(settings.displayName(), db.lastError().text().trimmed());
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}
