#include "store/eventtable.h"

#include "device/devicetypes.h"
#include "store/pendingeventqueue.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <cmath>

namespace {

const char CREATE_TABLE[] =
    "create table if not exists kestrelix_event (id integer primary key autoincrement, "
    "pointDate integer not null, serialno varchar(18), channel integer not null default 0, "
    "kind varchar(32) not null, value float, lowerLimit float, upperLimit float, text text, "
    "ackDate integer, ackBy text)";
const char CREATE_INDEX[] =
    "create index if not exists kestrelix_event_time on kestrelix_event (pointDate)";

QVariant number(double value)
{
    if (value == NO_VALUE || !std::isfinite(value))
        return QVariant(QMetaType::fromType<double>());
    return value;
}

double readNumber(const QVariant &value)
{
    return value.isNull() ? NO_VALUE : value.toDouble();
}

QString alarmKindList()
{
    QStringList quoted;
    for (const QString &kind : EventTable::alarmKinds())
        quoted << QLatin1Char('\'') + kind + QLatin1Char('\'');
    return quoted.join(QLatin1Char(','));
}

// The where clause of a filter and its bound values, in order.
QString whereClause(const EventFilter &filter, QVariantList *values)
{
    QStringList terms;
    if (!filter.serialNo.isEmpty()) {
        terms << QStringLiteral("serialno = ?");
        values->append(filter.serialNo);
    }
    if (!filter.kind.isEmpty()) {
        terms << QStringLiteral("kind = ?");
        values->append(filter.kind);
    }
    if (filter.unacknowledgedOnly)
        terms << QStringLiteral("ackDate is null and kind in (%1)").arg(alarmKindList());
    if (filter.from > 0) {
        terms << QStringLiteral("pointDate >= ?");
        values->append(filter.from);
    }
    if (filter.to > 0) {
        terms << QStringLiteral("pointDate <= ?");
        values->append(filter.to);
    }
    return terms.isEmpty() ? QString()
                           : QStringLiteral(" where ") + terms.join(QStringLiteral(" and "));
}

} // namespace

QStringList EventTable::alarmKinds()
{
    return {EventKind::alarmStarted, EventKind::communicationLost};
}

bool EventTable::create(const QSqlDatabase &db, QString *error)
{
    QSqlQuery query(db);
    if (query.exec(QLatin1String(CREATE_TABLE)) && query.exec(QLatin1String(CREATE_INDEX)) &&
        query.exec(QStringLiteral("select id, pointDate, serialno, channel, kind, value, "
                                  "lowerLimit, upperLimit, text, ackDate, ackBy from "
                                  "kestrelix_event limit 0")))
        return true;
    *error = query.lastError().text();
    return false;
}

bool EventTable::insert(const QSqlDatabase &db, const PendingEventQueue &queue, int count,
                        QString *error)
{
    QSqlQuery query(db);
    if (!query.prepare(QStringLiteral(
            "insert into kestrelix_event (pointDate, serialno, channel, kind, value, lowerLimit, "
            "upperLimit, text) values (?, ?, ?, ?, ?, ?, ?, ?)"))) {
        *error = query.lastError().text();
        return false;
    }
    for (int i = 0; i < count; ++i) {
        const EventRow &row = queue.at(i);
        query.bindValue(0, qint64(row.pointDate));
        query.bindValue(1, row.serialNo);
        query.bindValue(2, row.channel);
        query.bindValue(3, row.kind);
        query.bindValue(4, number(row.value));
        query.bindValue(5, number(row.lowerLimit));
        query.bindValue(6, number(row.upperLimit));
        query.bindValue(7, row.text);
        if (!query.exec()) {
            *error = query.lastError().text();
            return false;
        }
    }
    return true;
}

QList<EventRecord> EventTable::read(const QSqlDatabase &db, const EventFilter &filter, int limit,
                                    int offset, bool *ok)
{
    QVariantList values;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("select id, pointDate, serialno, channel, kind, value, "
                                 "lowerLimit, upperLimit, text, ackDate, ackBy from "
                                 "kestrelix_event") +
                  whereClause(filter, &values) +
                  QStringLiteral(" order by pointDate desc, id desc limit ? offset ?"));
    for (const QVariant &value : std::as_const(values))
        query.addBindValue(value);
    query.addBindValue(limit);
    query.addBindValue(offset);
    QList<EventRecord> records;
    const bool done = query.exec();
    if (ok)
        *ok = done;
    while (done && query.next()) {
        EventRecord record;
        record.id = query.value(0).toLongLong();
        record.row.pointDate = quint32(query.value(1).toLongLong());
        record.row.serialNo = query.value(2).toString();
        record.row.channel = query.value(3).toInt();
        record.row.kind = query.value(4).toString();
        record.row.value = readNumber(query.value(5));
        record.row.lowerLimit = readNumber(query.value(6));
        record.row.upperLimit = readNumber(query.value(7));
        record.row.text = query.value(8).toString();
        record.ackDate = query.value(9).toLongLong();
        record.ackBy = query.value(10).toString();
        records.append(record);
    }
    return records;
}

int EventTable::count(const QSqlDatabase &db, const EventFilter &filter)
{
    QVariantList values;
    QSqlQuery query(db);
    query.prepare(QStringLiteral("select count(*) from kestrelix_event") +
                  whereClause(filter, &values));
    for (const QVariant &value : std::as_const(values))
        query.addBindValue(value);
    return query.exec() && query.next() ? query.value(0).toInt() : 0;
}

int EventTable::acknowledge(const QSqlDatabase &db, qint64 id, const QString &by, qint64 when)
{
    QSqlQuery query(db);
    QString statement = QStringLiteral("update kestrelix_event set ackDate = ?, ackBy = ? where "
                                       "ackDate is null and kind in (%1)")
                            .arg(alarmKindList());
    if (id > 0)
        statement += QStringLiteral(" and id = ?");
    query.prepare(statement);
    query.addBindValue(when);
    query.addBindValue(by);
    if (id > 0)
        query.addBindValue(id);
    return query.exec() ? query.numRowsAffected() : 0;
}

int EventTable::unacknowledgedAlarms(const QSqlDatabase &db)
{
    EventFilter filter;
    filter.unacknowledgedOnly = true;
    return count(db, filter);
}
