#include "store/walcheckpointer.h"

#include <QDebug>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

WalCheckpointer::WalCheckpointer(const QString &databasePath, const QString &connectionName,
                                 QObject *parent)
    : QObject(parent), m_strDatabasePath(databasePath), m_strConnectionName(connectionName)
{
    // The connection is made, used and removed on the thread, as the SQL module requires.
    m_pWorker = new QObject;
    m_pWorker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_pWorker, &QObject::deleteLater);
    m_thread.setObjectName(QStringLiteral("walcheckpoint"));
    m_thread.start(QThread::LowPriority);
}

WalCheckpointer::~WalCheckpointer()
{
    QMetaObject::invokeMethod(
        m_pWorker, [this] { release(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void WalCheckpointer::request()
{
    if (m_bRequested.exchange(true))
        return;
    QMetaObject::invokeMethod(
        m_pWorker, [this] { checkpoint(); }, Qt::QueuedConnection);
}

void WalCheckpointer::checkpoint()
{
    m_bRequested = false;
    if (!QSqlDatabase::contains(m_strConnectionName)) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_strConnectionName);
        db.setDatabaseName(m_strDatabasePath);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000"));
    }
    QSqlDatabase db = QSqlDatabase::database(m_strConnectionName, true);
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)")))
        qWarning().noquote() << "WalCheckpointer : [ERROR] checkpoint of" << m_strDatabasePath
                             << ":" << query.lastError().text();
    ++m_nFinished;
}

void WalCheckpointer::release()
{
    if (!QSqlDatabase::contains(m_strConnectionName))
        return;
    QSqlDatabase::database(m_strConnectionName, false).close();
    QSqlDatabase::removeDatabase(m_strConnectionName);
}
