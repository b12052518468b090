#include "store/pgeventreader.h"

#include "store/pgconnectionsettings.h"
#include "store/pgschema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>

namespace {

// On the worker: its connection, opened again after any failure (a restarted server leaves a
// connection that the driver still calls open).
QSqlDatabase openOn(const PgConnectionSettings &settings, const QString &name, QString *error)
{
    if (!QSqlDatabase::contains(name))
        settings.addConnection(name);
    QSqlDatabase db = QSqlDatabase::database(name, false);
    if (db.isOpen())
        return db;
    if (!db.open()) {
        *error = db.lastError().text().trimmed();
        db.close();
        return QSqlDatabase();
    }
    // A server that has not taken an event yet has no table for them.
    QSqlQuery query(db);
    query.exec(PgSchema::table(QString::fromLatin1(PgSchema::EVENT_TABLE))->createStatement);
    return db;
}

bool interrupted()
{
    return QThread::currentThread()->isInterruptionRequested();
}

} // namespace

PgEventReader::PgEventReader(const QString &url, QObject *parent) : QObject(parent)
{
    qRegisterMetaType<QList<EventRecord>>();
    PgConnectionSettings settings;
    if (!settings.parse(url)) {
        m_strError = settings.error();
        m_strDisplayName = url;
        return;
    }
    m_strDisplayName = settings.displayName();
    m_settings = settings;
    m_strConnection = QStringLiteral("pg-events-") + QUuid::createUuid().toString(QUuid::Id128);
    m_pThread = new QThread(this);
    m_pThread->setObjectName(QStringLiteral("PgEventReader"));
    m_pWorker = new QObject;
    m_pWorker->moveToThread(m_pThread);
    m_pThread->start();
}

PgEventReader::~PgEventReader()
{
    if (!m_pThread)
        return;
    // Requests still queued are dropped; the one on its way ends first.
    m_pThread->requestInterruption();
    QMetaObject::invokeMethod(
        m_pWorker,
        [name = m_strConnection] {
            if (QSqlDatabase::contains(name)) {
                QSqlDatabase::database(name, false).close();
                QSqlDatabase::removeDatabase(name);
            }
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
    m_pThread->wait();
    delete m_pWorker;
}

quint64 PgEventReader::requestPage(const EventFilter &filter, int limit, int offset)
{
    const quint64 request = ++m_nRequest;
    if (!m_pThread) {
        QMetaObject::invokeMethod(
            this, [this, request] { emit pageRead(request, false, 0, {}, m_strError); },
            Qt::QueuedConnection);
        return request;
    }
    // The reader outlives every job: its destructor waits for the worker.
    QMetaObject::invokeMethod(
        m_pWorker,
        [this, request, filter, limit, offset, settings = m_settings, name = m_strConnection] {
            if (interrupted())
                return;
            QString error;
            const QSqlDatabase db = openOn(settings, name, &error);
            if (!db.isValid()) {
                emit pageRead(request, false, 0, {}, error);
                return;
            }
            bool ok = false;
            const int total = EventTable::count(db, filter);
            const QList<EventRecord> records = EventTable::read(db, filter, limit, offset, &ok);
            if (!ok) {
                error = QStringLiteral("the table kestrelix_event cannot be read");
                QSqlDatabase::database(name, false).close();
            }
            emit pageRead(request, ok, total, records, error);
        },
        Qt::QueuedConnection);
    return request;
}

quint64 PgEventReader::requestAcknowledge(qint64 id, const QString &by, qint64 when)
{
    const quint64 request = ++m_nRequest;
    if (!m_pThread) {
        QMetaObject::invokeMethod(
            this, [this, request] { emit acknowledged(request, 0); }, Qt::QueuedConnection);
        return request;
    }
    QMetaObject::invokeMethod(
        m_pWorker,
        [this, request, id, by, when, settings = m_settings, name = m_strConnection] {
            if (interrupted())
                return;
            QString error;
            const QSqlDatabase db = openOn(settings, name, &error);
            emit acknowledged(request,
                              db.isValid() ? EventTable::acknowledge(db, id, by, when) : 0);
        },
        Qt::QueuedConnection);
    return request;
}
