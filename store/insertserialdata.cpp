#include "store/insertserialdata.h"
#include "store/logcategories.h"

#include "store/eventtable.h"
#include "store/historyindex.h"
#include "store/pendingeventqueue.h"
#include "store/pendingrowqueue.h"
#include "store/pgconnectionsettings.h"
#include "store/pgstore.h"
#include "store/walcheckpointer.h"

#include <QDateTime>
#include <QDebug>
#include <QFileInfo>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTime>
#include <QVariant>

#include <cmath>
#include <cstring>

namespace {

const char CREATE_TABLE[] = "create table kestrelix (\t\tid integer primary key autoincrement,"
                            "\t\tserialno varchar(18) not null, \t\tchannel1 float, channel2 "
                            "float, \t\tpointDate integer not null\t\t)";

// Everything runs on the GUI thread: a locked database must fail fast and be retried by the
// next flush rather than freeze the window for the driver's default five seconds.
const char CONNECT_OPTIONS[] = "QSQLITE_BUSY_TIMEOUT=250";

// Rows written between two copies of the write-ahead log into the file: about a megabyte of log.
constexpr qint64 ROWS_PER_CHECKPOINT = 20000;

const char *boolText(bool value)
{
    return value ? "true" : "false";
}

// The stored value of a channel: the number as its 6-significant-digit text reads back, so
// the database holds exactly what a statement with the value written out would have stored.
// The no-value mark, and anything that is not a finite number, is stored as NULL.
QVariant storedValue(double value)
{
    if (value == NO_VALUE || !std::isfinite(value)) {
        return QVariant(QMetaType::fromType<double>());
    }
    const double rounded = QString::number(value, 'g', 6).toDouble();
    return rounded == 0.0 ? 0.0 : rounded;
}

QString statementText(int rowCount)
{
    QString text =
        QStringLiteral("insert into kestrelix (serialno, channel1, channel2, pointDate)");
    text.reserve(text.size() + rowCount * 30);
    for (int i = 0; i < rowCount; ++i) {
        if (i > 0) {
            text += QLatin1String(" union");
        }
        text += QLatin1String(" select ?, ?, ?, ?");
    }
    text += QLatin1Char(';');
    return text;
}

// What a row is compared by when the rows of one flush are joined into one set, as the union
// of a single statement would join them: the bound values.
struct RowKey
{
    QString serial;
    quint64 channel1;
    quint64 channel2;
    quint32 pointDate;
    bool operator==(const RowKey &other) const
    {
        return channel1 == other.channel1 && channel2 == other.channel2 &&
               pointDate == other.pointDate && serial == other.serial;
    }
};

size_t qHash(const RowKey &key, size_t seed = 0)
{
    return qHashMulti(seed, key.serial, key.channel1, key.channel2, key.pointDate);
}

// A stored channel as bits; NULL takes a NaN pattern that no stored number has.
quint64 channelBits(const QVariant &stored)
{
    if (stored.isNull()) {
        return ~quint64(0);
    }
    const double value = stored.toDouble();
    quint64 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// SQLite result codes that blame the rows of a statement rather than the database: a
// constraint (a NULL serial), a type mismatch, a value too big, a bad parameter. The driver
// reports the primary code, or an extended one whose low byte is the primary code.
bool refusedForItsRows(const QSqlError &error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok) & 0xff;
    return ok && (code == 18 || code == 19 || code == 20 || code == 25);
}

QString timeOfDay()
{
    return QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz"));
}

QString pointDateText(quint32 pointDate)
{
    return QDateTime::fromSecsSinceEpoch(pointDate).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

} // namespace

struct InsertSerialData::BoundRow
{
    QString serial;
    QVariant channel1;
    QVariant channel2;
    quint32 pointDate;
};

InsertSerialData::InsertSerialData(const QString &databasePath, const QString &connectionPrefix,
                                   QObject *parent)
    : QObject(parent), m_strDatabasePath(databasePath), m_strConnectionPrefix(connectionPrefix)
{
}

InsertSerialData::~InsertSerialData()
{
    m_pServer.reset();
    m_pCheckpointer.reset();
    const QString name = connectionName();
    if (QSqlDatabase::contains(name)) {
        m_insertStatements.clear();
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            if (m_bTransactionOpen) {
                db.commit();
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        qCDebug(lcStore).noquote()
            << "InsertSerialData::~InsertSerialData : QSqlDatabase::removeDatabase(" << name;
    }
    qCDebug(lcStore) << "InsertSerialData::~InsertSerialData()";
}

QString InsertSerialData::connectionName() const
{
    return m_strConnectionPrefix + QStringLiteral("filedb");
}

QSqlDatabase InsertSerialData::database() const
{
    return QSqlDatabase::database(connectionName(), true);
}

bool InsertSerialData::createConnection()
{
    // The server may be away now and back in a minute: its faults are told at record start.
    if (PgConnectionSettings::isServerUrl(m_strDatabasePath)) {
        if (!m_pServer) {
            m_pServer = std::make_unique<PgStore>(m_strDatabasePath);
            connect(m_pServer.get(), &PgStore::startAnswered, this,
                    &InsertSerialData::startAnswered);
            connect(m_pServer.get(), &PgStore::rangeAnswered, this,
                    &InsertSerialData::recordedRangeRead);
            if (!m_pServer->open())
                m_strLastError = m_pServer->lastError();
        }
        m_bConnected = true;
        return true;
    }
    const QString name = connectionName();
    if (QSqlDatabase::contains(name)) {
        m_bConnected = true;
        return true;
    }
    bool opened = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(m_strDatabasePath);
        db.setConnectOptions(QLatin1String(CONNECT_OPTIONS));
        opened = db.open();
        if (!opened) {
            m_strLastError = db.lastError().text();
        }
    }
    if (opened && applyPragmas() && createTable()) {
        ensureHistoryIndex(database());
        prepareEventTable();
        qCDebug(lcStore) << "InsertSerialData::createConnection : success";
        m_bConnected = true;
        if (m_strJournalMode == QLatin1String("wal")) {
            m_pCheckpointer = std::make_unique<WalCheckpointer>(
                m_strDatabasePath, name + QStringLiteral("checkpoint"));
        }
        return true;
    }
    qCWarning(lcStore) << "InsertSerialData::createConnection : fail";
    return m_bConnected;
}

bool InsertSerialData::execPragma(const QString &statement, QString *result)
{
    QSqlQuery query(database());
    if (!query.exec(statement)) {
        m_strLastError = query.lastError().text();
        qCWarning(lcStore).noquote() << statement + QStringLiteral(" : query error");
        return false;
    }
    if (result) {
        *result = query.next() ? query.value(0).toString().toLower() : QString();
    }
    return true;
}

bool InsertSerialData::applyPragmas()
{
    if (!execPragma(QStringLiteral("PRAGMA page_size = 4096")) ||
        !execPragma(QStringLiteral("PRAGMA cache_size = 65536"))) {
        return false;
    }
    // Without a journal a crash in the middle of a batch can leave a corrupt file behind, and
    // the sibling programs read that file. WAL keeps each commit atomic at about the cost of
    // writing with no journal at all.
    QString mode;
    if (execPragma(QStringLiteral("PRAGMA journal_mode = WAL"), &mode) &&
        mode == QLatin1String("wal")) {
        m_strJournalMode = mode;
        // The log is copied into the file by a thread of its own (WalCheckpointer): the copy's
        // disk syncs would otherwise stall a flush on the GUI thread every few megabytes.
        return execPragma(QStringLiteral("PRAGMA synchronous = NORMAL")) &&
               execPragma(QStringLiteral("PRAGMA wal_autocheckpoint = 0"));
    }
    // Some folders (network shares among them) give no shared memory for WAL.
    qCWarning(lcStore).noquote()
        << "InsertSerialData::applyPragmas : [ERROR] WAL journal not available"
        << (mode.isEmpty() ? QString() : QStringLiteral("(mode ") + mode + ')')
        << ", using PRAGMA journal_mode = DELETE";
    if (!execPragma(QStringLiteral("PRAGMA journal_mode = DELETE"), &mode)) {
        return false;
    }
    m_strJournalMode = mode;
    if (mode != QLatin1String("delete")) {
        qCWarning(lcStore).noquote()
            << "InsertSerialData::applyPragmas : [ERROR] journal mode is" << mode;
    }
    // A rollback journal is only safe against power loss with full syncs.
    return execPragma(QStringLiteral("PRAGMA synchronous = FULL"));
}

bool InsertSerialData::createTable()
{
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral(
            "select name from sqlite_master where type='table' and name='kestrelix';"))) {
        m_strLastError = query.lastError().text();
        qCWarning(lcStore) << "InsertSerialData::createTable : select table : query error";
        return false;
    }
    if (query.next()) {
        qCDebug(lcStore) << "InsertSerialData::createTable : table exist";
        return true;
    }
    if (!query.exec(QLatin1String(CREATE_TABLE))) {
        m_strLastError = query.lastError().text();
        qCWarning(lcStore) << "InsertSerialData::createTable : create table : query error";
        return false;
    }
    qCDebug(lcStore) << "InsertSerialData::createTable : create table";
    return true;
}

qint64 InsertSerialData::databaseFileSize(const QString &databasePath)
{
    return QFileInfo(databasePath).size() + QFileInfo(databasePath + QStringLiteral("-wal")).size();
}

QSqlQuery *InsertSerialData::insertStatement(QSqlDatabase &db, int rowCount)
{
    constexpr int KEPT_STATEMENTS = 16;
    auto found = m_insertStatements.find(rowCount);
    if (found != m_insertStatements.end()) {
        return &found.value();
    }
    if (m_insertStatements.size() >= KEPT_STATEMENTS) {
        m_insertStatements.clear();
    }
    QSqlQuery query(db);
    if (!query.prepare(statementText(rowCount))) {
        m_strLastError = query.lastError().text();
        return nullptr;
    }
    return &m_insertStatements.insert(rowCount, query).value();
}

InsertSerialData::WriteResult InsertSerialData::writeStatement(QSqlDatabase &db,
                                                               const QList<BoundRow> &rows,
                                                               int first, int count)
{
    QSqlQuery *query = insertStatement(db, count);
    if (!query) {
        qCDebug(lcStore).noquote() << "insert query : false";
        qCDebug(lcStore).noquote() << "lastError : " << m_strLastError;
        return WriteResult::Failed;
    }
    for (int i = 0; i < count; ++i) {
        const BoundRow &row = rows.at(first + i);
        query->bindValue(4 * i, row.serial);
        query->bindValue(4 * i + 1, row.channel1);
        query->bindValue(4 * i + 2, row.channel2);
        query->bindValue(4 * i + 3, qint64(row.pointDate));
    }
    const bool ok = query->exec();
    qCDebug(lcStore).noquote() << "insert query : " << boolText(ok);
    qCDebug(lcStore).noquote() << "lastError : " << query->lastError().text();
    if (ok) {
        query->finish();
        return WriteResult::Written;
    }
    const QSqlError error = query->lastError();
    m_strLastError = error.text();
    if (refusedForItsRows(error)) {
        // Only this statement was undone; the transaction and the statements before it stand.
        return WriteResult::RowsRefused;
    }
    // A statement that failed may be tied to a schema or handle that is gone.
    m_insertStatements.remove(count);
    return WriteResult::Failed;
}

bool InsertSerialData::writeRows(QSqlDatabase &db, const QList<BoundRow> &rows)
{
    for (int first = 0; first < rows.size(); first += ROWS_PER_STATEMENT) {
        const int count = std::min<int>(ROWS_PER_STATEMENT, int(rows.size()) - first);
        const WriteResult result = writeStatement(db, rows, first, count);
        if (result == WriteResult::Failed) {
            return false;
        }
        if (result == WriteResult::Written) {
            continue;
        }
        // Some row of the statement is refused: one row at a time finds it, and the others
        // of the statement are stored all the same.
        for (int i = first; i < first + count; ++i) {
            const WriteResult single = writeStatement(db, rows, i, 1);
            if (single == WriteResult::Failed) {
                return false;
            }
            if (single == WriteResult::RowsRefused) {
                const BoundRow &row = rows.at(i);
                qCWarning(lcStore).noquote()
                    << "InsertSerialData::insertNow : [ERROR] row dropped, serial"
                    << (row.serial.isNull() ? QStringLiteral("(none)")
                                            : QLatin1Char('\'') + row.serial + QLatin1Char('\''))
                    << "time" << row.pointDate
                    << "(" + pointDateText(row.pointDate) + ") :" << m_strLastError;
            }
        }
    }
    return true;
}

void InsertSerialData::abandonTransaction(QSqlDatabase &db)
{
    const bool rolledBack = db.rollback();
    qCDebug(lcStore).noquote() << "rollback transaction : " << boolText(rolledBack);
    if (rolledBack) {
        m_bTransactionOpen = false;
    }
}

bool InsertSerialData::prepareEventTable()
{
    QString error;
    m_bEventTableReady = EventTable::create(database(), &error);
    if (!m_bEventTableReady)
        reportEventLogFailure(error);
    return m_bEventTableReady;
}

void InsertSerialData::reportEventLogFailure(const QString &error)
{
    m_strEventLogError = error;
    if (m_bEventLogBroken)
        return;
    m_bEventLogBroken = true;
    qCWarning(lcStore).noquote()
        << "InsertSerialData::writeEvents : [ERROR] event table kestrelix_event :" << error
        << "; samples are recorded without events";
}

// Inside the open transaction; the number of events to take off the queue once it commits.
// Events the table refuses are given up, so that they never hold back the samples; the table is
// tried again at the next flush (it may only have been locked), and a failure is told once.
int InsertSerialData::writeEvents(PendingEventQueue *events)
{
    if (!events || events->count() == 0)
        return 0;
    const int count = std::min(events->count(), ROWS_PER_FLUSH);
    QString error;
    if (m_bEventTableReady || prepareEventTable()) {
        if (EventTable::insert(database(), *events, count, &error))
            return count;
        reportEventLogFailure(error);
    }
    qCDebug(lcStore).noquote() << "InsertSerialData::writeEvents :" << count
                               << "events not stored :" << m_strEventLogError;
    if (!m_bEventLogFailureTold) {
        m_bEventLogFailureTold = true;
        emit eventLogFailed(m_strEventLogError);
    }
    return count;
}

bool InsertSerialData::insertNow()
{
    if (m_pRowQueue)
        return insertFrom(*m_pRowQueue, m_pEventQueue);
    PendingRowQueue none;
    return insertFrom(none, m_pEventQueue);
}

bool InsertSerialData::insertFrom(PendingRowQueue &queue, PendingEventQueue *events)
{
    if (queue.count() == 0 && (!events || events->count() == 0)) {
        return true;
    }
    if (!m_bConnected) {
        return false;
    }
    if (m_pServer) {
        const bool ok = m_pServer->insertFrom(queue, events);
        m_strLastError = ok ? QString() : m_pServer->lastError();
        return ok;
    }
    qCDebug(lcStore).noquote() << "InsertSerialData::insertNow : starttime : " << timeOfDay();
    const int taken = std::min(queue.count(), ROWS_PER_FLUSH);
    // The rows of one flush form one set, as the union of one statement makes them: a row
    // that repeats an earlier row of the flush is stored once.
    QList<BoundRow> rows;
    rows.reserve(taken);
    QSet<RowKey> seen;
    seen.reserve(taken);
    for (int i = 0; i < taken; ++i) {
        const SerialDataRow &row = queue.at(i);
        BoundRow bound{row.serialNo, storedValue(row.channel1), storedValue(row.channel2),
                       row.pointDate};
        RowKey key{bound.serial, channelBits(bound.channel1), channelBits(bound.channel2),
                   bound.pointDate};
        if (seen.contains(key)) {
            continue;
        }
        seen.insert(std::move(key));
        rows.append(std::move(bound));
    }
    qCDebug(lcStore).noquote() << "InsertSerialData::insertNow : query : " << rows.size()
                               << "rows of" << taken << "in"
                               << (rows.size() + ROWS_PER_STATEMENT - 1) / ROWS_PER_STATEMENT
                               << "statements," << queue.count() - taken << "left queued";

    QSqlDatabase db = database();
    const bool begun = db.transaction();
    qCDebug(lcStore).noquote() << "begin transaction : " << boolText(begun);
    if (!begun) {
        m_strLastError = db.lastError().text();
        qCWarning(lcStore).noquote()
            << "InsertSerialData::insertNow : [ERROR] begin transaction : " << m_strLastError;
        return false;
    }
    m_bTransactionOpen = true;

    if (!writeRows(db, rows)) {
        qCWarning(lcStore).noquote() << "InsertSerialData::insertNow : [ERROR]" << queue.count()
                                     << "rows stay queued : " << m_strLastError;
        abandonTransaction(db);
        return false;
    }
    const int eventsTaken = writeEvents(events);
    const bool committed = db.commit();
    qCDebug(lcStore).noquote() << "commit transaction : " << boolText(committed);
    if (!committed) {
        m_strLastError = db.lastError().text();
        qCWarning(lcStore).noquote()
            << "InsertSerialData::insertNow : [ERROR] commit : " << m_strLastError << ";"
            << queue.count() << "rows stay queued";
        abandonTransaction(db);
        return false;
    }
    m_bTransactionOpen = false;
    queue.removeFirst(taken);
    if (eventsTaken > 0)
        events->removeFirst(eventsTaken);
    m_strLastError.clear();
    m_nRowsSinceCheckpoint += rows.size();
    if (m_pCheckpointer && m_nRowsSinceCheckpoint >= ROWS_PER_CHECKPOINT) {
        m_nRowsSinceCheckpoint = 0;
        m_pCheckpointer->request();
    }
    qCDebug(lcStore).noquote() << "InsertSerialData::insertNow : endtime : " << timeOfDay();
    return true;
}

quint64 InsertSerialData::requestStart(const QStringList &serials, const QString &project)
{
    return m_pServer ? m_pServer->requestStart(serials, project) : 0;
}

quint64 InsertSerialData::requestRecordedRange(const QStringList &serials)
{
    return m_pServer ? m_pServer->requestRange(serials) : 0;
}

bool InsertSerialData::waitForServer(int ms)
{
    return !m_pServer || m_pServer->waitForIdle(ms);
}

void InsertSerialData::stopRecording()
{
    if (m_pServer)
        m_pServer->stopRecording();
}

QString InsertSerialData::failureMessage() const
{
    if (m_pServer)
        return QStringLiteral("Unable to write the database server.\n"
                              "The rows are kept and written once it is back.");
    return QStringLiteral("Unable to write the database.\nPlease check the disk.");
}

uint InsertSerialData::startDateTime()
{
    if (m_pServer)
        return 0;
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("select min(pointDate) from kestrelix;"))) {
        qCWarning(lcStore) << "InsertSerialData::startDateTime : query error";
        return 0;
    }
    const uint value = query.next() ? query.value(0).toUInt() : 0;
    qCDebug(lcStore).noquote() << "InsertSerialData::startDateTime : "
                               << QDateTime::fromSecsSinceEpoch(value).toString(
                                      QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    return value;
}

uint InsertSerialData::endDateTime()
{
    if (m_pServer)
        return 0;
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("select max(pointDate) from kestrelix;"))) {
        qCWarning(lcStore) << "InsertSerialData::endDateTime : query error";
        return 0;
    }
    const uint value = query.next() ? query.value(0).toUInt() : 0;
    qCDebug(lcStore).noquote() << "InsertSerialData::endDateTime : "
                               << QDateTime::fromSecsSinceEpoch(value).toString(
                                      QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    return value;
}

int InsertSerialData::totalRow()
{
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("select COUNT(*) from kestrelix"))) {
        qCWarning(lcStore) << "InsertSerialData::totalRow : query error";
        return -1;
    }
    const int count = query.next() ? query.value(0).toInt() : 0;
    qCDebug(lcStore) << "InsertSerialData::totalRow : " << count;
    return count;
}

int InsertSerialData::unacknowledgedAlarms()
{
    return m_bConnected && m_bEventTableReady ? EventTable::unacknowledgedAlarms(database()) : 0;
}

bool InsertSerialData::deleteTable()
{
    QSqlQuery query(database());
    const bool ok = query.exec(QStringLiteral("drop table kestrelix"));
    qCDebug(lcStore).noquote() << "InsertSerialData::deleteTable : drop table : "
                               << query.lastError().text();
    return ok;
}
