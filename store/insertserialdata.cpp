#include "store/insertserialdata.h"
#include "store/logcategories.h"

#include "device/devicetypes.h"
#include "store/pendingrowqueue.h"

#include <QDateTime>
#include <QDebug>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTime>
#include <QVariant>

#include <cmath>

namespace {

const char CREATE_TABLE[] = "create table kestrelix (\t\tid integer primary key autoincrement,"
                            "\t\tserialno varchar(18) not null, \t\tchannel1 float, channel2 "
                            "float, \t\tpointDate integer not null\t\t)";

// Everything runs on the GUI thread: a locked database must fail fast and be retried by the
// next flush rather than freeze the window for the driver's default five seconds.
const char CONNECT_OPTIONS[] = "QSQLITE_BUSY_TIMEOUT=250";

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

QString rowKey(const SerialDataRow &row)
{
    const auto channelKey = [](double value) {
        const QVariant stored = storedValue(value);
        return stored.isNull() ? QStringLiteral("N") : QString::number(stored.toDouble(), 'g', 17);
    };
    return row.serialNo + QChar(0x1f) + channelKey(row.channel1) + QChar(0x1f) +
           channelKey(row.channel2) + QChar(0x1f) + QString::number(row.pointDate);
}

// Rows to write, in queue order. A batch that needs several statements drops the rows that
// repeat an earlier row itself, as the single union statement of a smaller batch does.
QList<int> batchIndexes(const PendingRowQueue &queue)
{
    const int count = queue.count();
    QList<int> indexes;
    indexes.reserve(count);
    if (count <= InsertSerialData::ROWS_PER_STATEMENT) {
        for (int i = 0; i < count; ++i) {
            indexes.append(i);
        }
        return indexes;
    }
    QSet<QString> seen;
    seen.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QString key = rowKey(queue.at(i));
        if (!seen.contains(key)) {
            seen.insert(key);
            indexes.append(i);
        }
    }
    return indexes;
}

QString timeOfDay()
{
    return QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz"));
}

} // namespace

InsertSerialData::InsertSerialData(const QString &databasePath, const QString &connectionPrefix,
                                   QObject *parent)
    : QObject(parent), m_strDatabasePath(databasePath), m_strConnectionPrefix(connectionPrefix)
{
}

InsertSerialData::~InsertSerialData()
{
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
        qCDebug(lcStore) << "InsertSerialData::createConnection : success";
        m_bConnected = true;
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
        return execPragma(QStringLiteral("PRAGMA synchronous = NORMAL"));
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

void InsertSerialData::appendRow(const SerialDataRow &row)
{
    PendingRowQueue::instance().append(row);
}

int InsertSerialData::pendingRowCount()
{
    return PendingRowQueue::instance().count();
}

void InsertSerialData::clearPendingRows()
{
    PendingRowQueue::instance().clear();
}

qint64 InsertSerialData::droppedRowCount()
{
    return PendingRowQueue::instance().droppedRowCount();
}

void InsertSerialData::setPendingRowLimit(int limit)
{
    PendingRowQueue::instance().setLimit(limit);
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

bool InsertSerialData::writeRows(QSqlDatabase &db, const QList<int> &indexes)
{
    const PendingRowQueue &queue = PendingRowQueue::instance();
    for (int first = 0; first < indexes.size(); first += ROWS_PER_STATEMENT) {
        const int rows = std::min<int>(ROWS_PER_STATEMENT, int(indexes.size()) - first);
        QSqlQuery *query = insertStatement(db, rows);
        if (!query) {
            qCDebug(lcStore).noquote() << "insert query : false";
            qCDebug(lcStore).noquote() << "lastError : " << m_strLastError;
            return false;
        }
        for (int i = 0; i < rows; ++i) {
            const SerialDataRow &row = queue.at(indexes.at(first + i));
            query->bindValue(4 * i, row.serialNo);
            query->bindValue(4 * i + 1, storedValue(row.channel1));
            query->bindValue(4 * i + 2, storedValue(row.channel2));
            query->bindValue(4 * i + 3, qint64(row.pointDate));
        }
        const bool ok = query->exec();
        qCDebug(lcStore).noquote() << "insert query : " << boolText(ok);
        qCDebug(lcStore).noquote() << "lastError : " << query->lastError().text();
        if (!ok) {
            m_strLastError = query->lastError().text();
            // A statement that failed may be tied to a schema or handle that is gone.
            m_insertStatements.remove(rows);
            return false;
        }
        query->finish();
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

bool InsertSerialData::insertNow()
{
    PendingRowQueue &queue = PendingRowQueue::instance();
    if (queue.count() == 0) {
        return true;
    }
    if (!m_bConnected) {
        return false;
    }
    qCDebug(lcStore).noquote() << "InsertSerialData::insertNow : starttime : " << timeOfDay();
    const int taken = queue.count();
    const QList<int> indexes = batchIndexes(queue);
    qCDebug(lcStore).noquote() << "InsertSerialData::insertNow : query : " << indexes.size()
                               << "rows of" << taken << "in"
                               << (indexes.size() + ROWS_PER_STATEMENT - 1) / ROWS_PER_STATEMENT
                               << "statements";

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

    if (!writeRows(db, indexes)) {
        qCWarning(lcStore).noquote() << "InsertSerialData::insertNow : [ERROR]" << taken
                                     << "rows stay queued : " << m_strLastError;
        abandonTransaction(db);
        return false;
    }
    const bool committed = db.commit();
    qCDebug(lcStore).noquote() << "commit transaction : " << boolText(committed);
    if (!committed) {
        m_strLastError = db.lastError().text();
        qCWarning(lcStore).noquote()
            << "InsertSerialData::insertNow : [ERROR] commit : " << m_strLastError << ";" << taken
            << "rows stay queued";
        abandonTransaction(db);
        return false;
    }
    m_bTransactionOpen = false;
    queue.removeFirst(taken);
    m_strLastError.clear();
    qCDebug(lcStore).noquote() << "InsertSerialData::insertNow : endtime : " << timeOfDay();
    return true;
}

uint InsertSerialData::startDateTime()
{
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

bool InsertSerialData::deleteTable()
{
    QSqlQuery query(database());
    const bool ok = query.exec(QStringLiteral("drop table kestrelix"));
    qCDebug(lcStore).noquote() << "InsertSerialData::deleteTable : drop table : "
                               << query.lastError().text();
    return ok;
}
