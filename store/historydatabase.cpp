#include "store/historydatabase.h"

#include "store/pgconnectionsettings.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

HistoryDatabase::HistoryDatabase(const QString &path)
    : m_strPath(path),
      m_strConnection(QStringLiteral("history-") + QUuid::createUuid().toString(QUuid::Id128))
{
}

HistoryDatabase::~HistoryDatabase()
{
    if (QSqlDatabase::contains(m_strConnection)) {
        QSqlDatabase::database(m_strConnection, false).close();
        QSqlDatabase::removeDatabase(m_strConnection);
    }
}

QSqlDatabase HistoryDatabase::database() const
{
    return QSqlDatabase::database(m_strConnection, false);
}

bool HistoryDatabase::open()
{
    if (PgConnectionSettings::isServerUrl(m_strPath))
        return openServer();
    const QFileInfo info(m_strPath);
    if (!info.isFile()) {
        m_strLastError = QStringLiteral("no database file ") + m_strPath;
        return false;
    }
    if (!info.isReadable()) {
        m_strLastError = QStringLiteral("cannot read ") + m_strPath;
        return false;
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_strConnection);
        db.setDatabaseName(m_strPath);
        // The recorder holds its write lock for one short batch: wait that out instead of
        // failing a read.
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=3000"));
        if (!db.open()) {
            m_strLastError = db.lastError().text();
            return false;
        }
    }
    if (!hasTable(QStringLiteral("kestrelix"))) {
        if (m_strLastError.isEmpty())
            m_strLastError = m_strPath + QStringLiteral(" holds no measurements");
        return false;
    }
    m_bOpen = true;
    return true;
}

// A project that records into a central PostgreSQL database is read from it.
bool HistoryDatabase::openServer()
{
    PgConnectionSettings settings;
    if (!settings.parse(m_strPath)) {
        m_strLastError = settings.error();
        return false;
    }
    {
        QSqlDatabase db = settings.addConnection(m_strConnection);
        if (!db.open()) {
            m_strLastError = db.lastError().text().trimmed();
            return false;
        }
    }
    if (!hasTable(QStringLiteral("kestrelix"))) {
        if (m_strLastError.isEmpty())
            m_strLastError = settings.displayName() + QStringLiteral(" holds no measurements");
        return false;
    }
    m_bOpen = true;
    return true;
}

bool HistoryDatabase::hasTable(const QString &name) const
{
    QSqlQuery query(database());
    query.prepare(
        database().driverName() == QLatin1String("QPSQL")
            ? QStringLiteral("select count(*) from information_schema.tables where "
                             "table_schema = current_schema() and table_name = ?")
            : QStringLiteral("select count(*) from sqlite_master where type='table' and name=?"));
    query.addBindValue(name);
    if (!query.exec() || !query.next()) {
        m_strLastError = query.lastError().text();
        return false;
    }
    return query.value(0).toInt() > 0;
}

QString serialFilter(int count)
{
    if (count <= 0)
        return QStringLiteral("1");
    QString text = QStringLiteral("serialno in (?");
    for (int i = 1; i < count; ++i)
        text += QStringLiteral(", ?");
    return text + QLatin1Char(')');
}

bool HistoryDatabase::recordedRange(const QStringList &serials, qint64 *from, qint64 *to) const
{
    // One logger at a time: min and max of an index prefix are single look-ups.
    qint64 first = 0;
    qint64 last = 0;
    bool found = false;
    const QStringList loggers = serials.isEmpty() ? QStringList{QString()} : serials;
    for (const QString &serial : loggers) {
        QSqlQuery query(database());
        query.prepare(serial.isNull()
                          ? QStringLiteral("select min(pointDate), max(pointDate) from kestrelix")
                          : QStringLiteral("select min(pointDate), max(pointDate) from kestrelix "
                                           "where serialno = ?"));
        if (!serial.isNull())
            query.addBindValue(serial);
        if (!query.exec() || !query.next() || query.value(0).isNull())
            continue;
        const qint64 a = query.value(0).toLongLong();
        const qint64 b = query.value(1).toLongLong();
        first = found ? qMin(first, a) : a;
        last = found ? qMax(last, b) : b;
        found = true;
    }
    if (found) {
        *from = first;
        *to = last;
    }
    return found;
}

qint64 HistoryDatabase::maxRowId() const
{
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("select max(id) from kestrelix")) || !query.next())
        return 0;
    return query.value(0).toLongLong();
}
