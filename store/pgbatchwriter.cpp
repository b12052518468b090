#include "store/pgbatchwriter.h"
#include "store/logcategories.h"

#include "store/pgschema.h"

#include <QCoreApplication>
#include <QDebug>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSysInfo>
#include <QTimer>

PgBatchWriter::PgBatchWriter(const PgConnectionSettings &settings, const QString &recorderId)
    : m_settings(settings), m_strRecorderId(recorderId),
      m_strConnection(QStringLiteral("pg-") + recorderId)
{
}

PgBatchWriter::~PgBatchWriter()
{
    close();
}

QSqlDatabase PgBatchWriter::database() const
{
    return QSqlDatabase::database(m_strConnection, false);
}

void PgBatchWriter::fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    // Whatever broke, the next call starts from a fresh connection: after a server restart
    // or a failover the old one is dead even where the driver still calls it open.
    QSqlDatabase db = database();
    if (db.isValid())
        db.close();
}

bool PgBatchWriter::exec(const QString &statement, QString *error)
{
    QSqlQuery query(database());
    if (query.exec(statement))
        return true;
    fail(error, query.lastError().text());
    return false;
}

bool PgBatchWriter::ensureOpen(QString *error)
{
    if (!QSqlDatabase::contains(m_strConnection)) {
        if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
            if (error)
                *error = QStringLiteral("The PostgreSQL driver of Qt is not installed "
                                        "(libqt6sql6-psql).");
            return false;
        }
        m_settings.addConnection(m_strConnection);
    }
    QSqlDatabase db = database();
    if (db.isOpen())
        return true;
    if (!db.open()) {
        fail(error, db.lastError().text().trimmed());
        return false;
    }
    // "already exists, skipping" on every reconnect is no news.
    QString ignored;
    exec(QStringLiteral("set client_min_messages = warning"), &ignored);
    if (!createTables(error))
        return false;
    // A recorder that lost the server for longer than a heartbeat comes back registered.
    if (!m_claimed.isEmpty()) {
        QString message;
        if (!claimLoggers(m_claimed, m_strProject, &message))
            qCWarning(lcStore).noquote() << "PgBatchWriter::ensureOpen : [ERROR]" << message;
    }
    return true;
}

bool PgBatchWriter::createTables(QString *error)
{
    // Recorders that start together must not race on creating the same table.
    QSqlDatabase db = database();
    if (!db.transaction()) {
        fail(error, db.lastError().text());
        return false;
    }
    bool ok = exec(QStringLiteral("select pg_advisory_xact_lock(7305115)"), error);
    for (const PgTable &table : PgSchema::tables()) {
        if (ok)
            ok = exec(table.createStatement, error);
    }
    if (ok && db.commit())
        return true;
    if (ok)
        fail(error, db.lastError().text());
    return false;
}

QString PgBatchWriter::literal(const QVariant &value) const
{
    if (value.isNull())
        return QStringLiteral("NULL");
    switch (value.typeId()) {
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'g', 17);
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Bool:
        return QString::number(value.toLongLong());
    default: {
        QSqlField field(QString(), QMetaType(QMetaType::QString));
        field.setValue(value.toString());
        return database().driver()->formatValue(field);
    }
    }
}

void PgBatchWriter::writeBatch(const PgBatch &batch)
{
    QString error;
    const PgTable *table = PgSchema::table(batch.table);
    if (!table) {
        error = QStringLiteral("no table ") + batch.table;
    } else if (batch.rows.isEmpty()) {
    } else if (ensureOpen(&error)) {
        QString text =
            QStringLiteral("insert into %1 (%2) values ").arg(table->name, table->columns);
        text.reserve(text.size() + batch.rows.size() * 48);
        for (int i = 0; i < batch.rows.size(); ++i) {
            text += i == 0 ? QStringLiteral("(") : QStringLiteral(", (");
            const QVariantList &row = batch.rows.at(i);
            for (int c = 0; c < row.size(); ++c) {
                if (c > 0)
                    text += QStringLiteral(", ");
                text += literal(row.at(c));
            }
            text += QLatin1Char(')');
        }
        text += QStringLiteral(" on conflict (%1) do nothing").arg(table->conflictKey);
        // One statement is one transaction: it is committed whole or not at all.
        if (exec(text, &error)) {
            emit committed(batch.id, int(batch.rows.size()));
            m_answers.release();
            return;
        }
    }
    if (error.isEmpty()) {
        emit committed(batch.id, int(batch.rows.size()));
    } else {
        emit failed(batch.id, error);
    }
    m_answers.release();
}

bool PgBatchWriter::claimLoggers(const QStringList &serials, const QString &project,
                                 QString *message)
{
    if (!ensureOpen(message))
        return false;
    QStringList quoted;
    for (const QString &serial : serials)
        quoted.append(literal(serial));
    const QString array = QStringLiteral("array[%1]::text[]").arg(quoted.join(QLatin1Char(',')));
    QSqlDatabase db = database();
    db.transaction();
    QString error;
    bool ok = exec(QStringLiteral("lock table kestrelix_recorder in exclusive mode"), &error) &&
              exec(QStringLiteral("delete from kestrelix_recorder where heartbeat < now() - "
                                  "interval '%1 seconds'")
                       .arg(STALE_SECONDS),
                   &error);
    QSqlQuery query(db);
    if (ok) {
        ok = query.exec(QStringLiteral("select host, pid, project, (select string_agg(s, ', ') "
                                       "from unnest(serials) s where s = any(%1)) from "
                                       "kestrelix_recorder where recorder <> %2 and serials && %1")
                            .arg(array, literal(m_strRecorderId)));
        if (!ok)
            error = query.lastError().text();
    }
    if (ok && query.next()) {
        db.rollback();
        *message = QStringLiteral("Logger %1 is recorded by %2 (process %3, project %4).\n"
                                  "Two recorders may not poll the same logger.")
                       .arg(query.value(3).toString(), query.value(0).toString(),
                            query.value(1).toString(), query.value(2).toString());
        return false;
    }
    ok = ok && exec(QStringLiteral("insert into kestrelix_recorder (recorder, host, pid, project, "
                                   "serials) values (%1, %2, %3, %4, %5) on conflict (recorder) "
                                   "do update set serials = excluded.serials, heartbeat = now()")
                        .arg(literal(m_strRecorderId), literal(QSysInfo::machineHostName()),
                             QString::number(QCoreApplication::applicationPid()), literal(project),
                             array),
                    &error);
    if (!ok || !db.commit()) {
        fail(message, error.isEmpty() ? db.lastError().text() : error);
        return false;
    }
    m_claimed = serials;
    m_strProject = project;
    if (!m_pHeartbeat) {
        m_pHeartbeat = new QTimer(this);
        connect(m_pHeartbeat, &QTimer::timeout, this, &PgBatchWriter::heartbeat);
    }
    m_pHeartbeat->start(HEARTBEAT_MS);
    return true;
}

void PgBatchWriter::heartbeat()
{
    QString error;
    if (ensureOpen(&error))
        exec(QStringLiteral("update kestrelix_recorder set heartbeat = now() where recorder = %1")
                 .arg(literal(m_strRecorderId)),
             &error);
}

void PgBatchWriter::releaseLoggers()
{
    if (m_pHeartbeat)
        m_pHeartbeat->stop();
    if (m_claimed.isEmpty())
        return;
    m_claimed.clear();
    if (database().isOpen()) {
        QString error;
        exec(QStringLiteral("delete from kestrelix_recorder where recorder = %1")
                 .arg(literal(m_strRecorderId)),
             &error);
    }
}

bool PgBatchWriter::recordedRange(const QStringList &serials, qint64 *from, qint64 *to)
{
    if (serials.isEmpty() || !ensureOpen(nullptr))
        return false;
    QStringList quoted;
    for (const QString &serial : serials)
        quoted.append(literal(serial));
    QSqlQuery query(database());
    // One logger at a time: each min and max is a look-up in the unique key's index.
    if (!query.exec(QStringLiteral("select min(f), max(t) from (select (select min(pointDate) "
                                   "from kestrelix where serialno = s) f, (select max(pointDate) "
                                   "from kestrelix where serialno = s) t from unnest(array[%1]) "
                                   "s) r")
                        .arg(quoted.join(QLatin1Char(',')))) ||
        !query.next() || query.value(0).isNull())
        return false;
    *from = query.value(0).toLongLong();
    *to = query.value(1).toLongLong();
    return true;
}

void PgBatchWriter::close()
{
    if (!QSqlDatabase::contains(m_strConnection))
        return;
    releaseLoggers();
    database().close();
    QSqlDatabase::removeDatabase(m_strConnection);
}
