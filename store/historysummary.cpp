#include "store/historysummary.h"

#include "store/historydatabase.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QPair>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUuid>
#include <QVariant>

namespace {

const char CREATE_BLOCKS[] =
    "create table if not exists block (serialno text not null, t integer not null, n integer, "
    "n1 integer, min1 real, max1 real, sum1 real, n2 integer, min2 real, max2 real, sum2 real, "
    "ft integer, lt integer, primary key (serialno, t)) without rowid";
const char CREATE_HOURS[] =
    "create table if not exists hourblock (serialno text not null, t integer not null, n integer, "
    "n1 integer, min1 real, max1 real, sum1 real, n2 integer, min2 real, max2 real, sum2 real, "
    "ft integer, lt integer, primary key (serialno, t)) without rowid";
// An hour block is remade from its minute blocks whenever one of them changes.
const char REMAKE_HOUR[] =
    "insert or replace into hourblock select serialno, ?, sum(n), sum(n1), min(min1), max(max1), "
    "sum(sum1), sum(n2), min(min2), max(max2), sum(sum2), min(ft), max(lt) from block where "
    "serialno = ? and t >= ? and t < ? group by serialno";
// Raised whenever the blocks change meaning: an older cache is folded again from the start.
constexpr int CACHE_VERSION = 2;
const char CREATE_STATE[] =
    "create table if not exists state (k text primary key, v integer) without rowid";

// Merging two partial blocks: NULL is "no value yet".
QString mergeExtreme(const char *column, const char *fn)
{
    const QString c = QString::fromLatin1(column);
    return QStringLiteral("%1 = case when %1 is null then excluded.%1 when excluded.%1 is null "
                          "then %1 else %2(%1, excluded.%1) end")
        .arg(c, QString::fromLatin1(fn));
}

QString upsertText()
{
    QStringList sets{QStringLiteral("n = n + excluded.n"),
                     QStringLiteral("n1 = n1 + excluded.n1"),
                     QStringLiteral("n2 = n2 + excluded.n2"),
                     QStringLiteral("sum1 = coalesce(sum1, 0) + coalesce(excluded.sum1, 0)"),
                     QStringLiteral("sum2 = coalesce(sum2, 0) + coalesce(excluded.sum2, 0)"),
                     mergeExtreme("min1", "min"),
                     mergeExtreme("max1", "max"),
                     mergeExtreme("min2", "min"),
                     mergeExtreme("max2", "max"),
                     QStringLiteral("ft = min(ft, excluded.ft)"),
                     QStringLiteral("lt = max(lt, excluded.lt)")};
    return QStringLiteral("insert into block values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
                          "on conflict (serialno, t) do update set ") +
           sets.join(QStringLiteral(", "));
}

} // namespace

HistorySummary::HistorySummary(HistoryDatabase *source, const QString &cachePath)
    : m_pSource(source), m_strCachePath(cachePath),
      m_strConnection(QStringLiteral("summary-") + QUuid::createUuid().toString(QUuid::Id128))
{
}

HistorySummary::~HistorySummary()
{
    if (QSqlDatabase::contains(m_strConnection)) {
        QSqlDatabase::database(m_strConnection, false).close();
        QSqlDatabase::removeDatabase(m_strConnection);
    }
}

QString HistorySummary::defaultCachePath(const QString &databasePath)
{
    const QByteArray key =
        QCryptographicHash::hash(QFileInfo(databasePath).absoluteFilePath().toUtf8(),
                                 QCryptographicHash::Sha1)
            .toHex();
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
           QStringLiteral("/history/") + QString::fromLatin1(key) + QStringLiteral(".sqlite");
}

QSqlDatabase HistorySummary::database() const
{
    return QSqlDatabase::database(m_strConnection, false);
}

bool HistorySummary::open()
{
    // A central server is shared by recorders whose row ids commit out of order, so the
    // folding by id would miss rows: its queries run on the table and its unique key instead.
    if (m_pSource->database().driverName() == QLatin1String("QPSQL"))
        return false;
    QDir().mkpath(QFileInfo(m_strCachePath).absolutePath());
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_strConnection);
        db.setDatabaseName(m_strCachePath);
        if (!db.open()) {
            qWarning().noquote() << "HistorySummary::open : [ERROR]" << db.lastError().text();
            return false;
        }
    }
    QSqlQuery query(database());
    // A cache: losing it costs only a rebuild, so it is not synced.
    query.exec(QStringLiteral("PRAGMA journal_mode = WAL"));
    query.exec(QStringLiteral("PRAGMA synchronous = OFF"));
    if (!query.exec(QLatin1String(CREATE_BLOCKS)) || !query.exec(QLatin1String(CREATE_HOURS)) ||
        !query.exec(QLatin1String(CREATE_STATE))) {
        qWarning().noquote() << "HistorySummary::open : [ERROR]" << query.lastError().text();
        return false;
    }
    if (query.exec(QStringLiteral("select v from state where k = 'folded'")) && query.next())
        m_nFolded = query.value(0).toLongLong();
    const int version =
        query.exec(QStringLiteral("select v from state where k = 'version'")) && query.next()
            ? query.value(0).toInt()
            : 0;
    m_nSourceMax = m_pSource->maxRowId();
    // Fewer rows than were folded: the table was dropped and made anew.
    if (m_nSourceMax < m_nFolded || version != CACHE_VERSION) {
        query.exec(QStringLiteral("delete from block"));
        query.exec(QStringLiteral("delete from hourblock"));
        query.exec(QStringLiteral("insert or replace into state values ('version', %1)")
                       .arg(CACHE_VERSION));
        m_nFolded = 0;
        setFolded(0);
    }
    m_nStartFolded = m_nFolded;
    m_bOpen = true;
    return true;
}

double HistorySummary::progress() const
{
    const qint64 todo = m_nSourceMax - m_nStartFolded;
    return todo <= 0 ? 1.0 : double(m_nFolded - m_nStartFolded) / double(todo);
}

bool HistorySummary::setFolded(qint64 id)
{
    QSqlQuery query(database());
    query.prepare(QStringLiteral("insert or replace into state values ('folded', ?)"));
    query.addBindValue(id);
    return query.exec();
}

bool HistorySummary::foldRows(qint64 fromId, qint64 toId)
{
    QSqlQuery read(m_pSource->database());
    read.setForwardOnly(true);
    read.prepare(QStringLiteral(
        "select serialno, pointDate / 60 * 60 as t, count(*), count(channel1), min(channel1), "
        "max(channel1), sum(channel1), count(channel2), min(channel2), max(channel2), "
        "sum(channel2), min(pointDate), max(pointDate) from kestrelix where id > ? and id <= ? "
        "group by serialno, t"));
    read.addBindValue(fromId);
    read.addBindValue(toId);
    if (!read.exec()) {
        qWarning().noquote() << "HistorySummary::foldRows : [ERROR]" << read.lastError().text();
        return false;
    }
    QSqlDatabase db = database();
    db.transaction();
    QSqlQuery write(db);
    write.prepare(upsertText());
    QSet<QPair<QString, qint64>> hours;
    while (read.next()) {
        for (int i = 0; i < 13; ++i)
            write.bindValue(i, read.value(i));
        hours.insert({read.value(0).toString(), read.value(1).toLongLong() / 3600 * 3600});
        if (!write.exec()) {
            qWarning().noquote() << "HistorySummary::foldRows : [ERROR]"
                                 << write.lastError().text();
            db.rollback();
            return false;
        }
    }
    QSqlQuery remake(db);
    remake.prepare(QLatin1String(REMAKE_HOUR));
    for (const auto &hour : std::as_const(hours)) {
        remake.addBindValue(hour.second);
        remake.addBindValue(hour.first);
        remake.addBindValue(hour.second);
        remake.addBindValue(hour.second + 3600);
        if (!remake.exec()) {
            db.rollback();
            return false;
        }
    }
    if (!setFolded(toId) || !db.commit()) {
        db.rollback();
        return false;
    }
    m_nFolded = toId;
    return true;
}

bool HistorySummary::catchUp(int maxRows)
{
    if (!m_bOpen)
        return false;
    if (m_nFolded >= m_nSourceMax)
        m_nSourceMax = m_pSource->maxRowId();
    if (m_nSourceMax < m_nFolded) {
        // Dropped and made anew while open.
        m_bOpen = false;
        QSqlDatabase::database(m_strConnection, false).close();
        QSqlDatabase::removeDatabase(m_strConnection);
        m_nFolded = 0;
        return open() && catchUp(maxRows);
    }
    if (m_nFolded < m_nSourceMax) {
        const qint64 to = qMin(m_nSourceMax, m_nFolded + maxRows);
        if (!foldRows(m_nFolded, to))
            return false;
    }
    return isCaughtUp();
}
