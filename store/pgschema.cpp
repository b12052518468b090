#include "store/pgschema.h"

#include "device/devicetypes.h"

#include <cmath>

namespace PgSchema {

const char MEASUREMENT_TABLE[] = "kestrelix";
const char RECORDER_TABLE[] = "kestrelix_recorder";
const char EVENT_TABLE[] = "kestrelix_event";

const QList<PgTable> &tables()
{
    static const QList<PgTable> list{
        {QString::fromLatin1(MEASUREMENT_TABLE),
         QStringLiteral("create table if not exists kestrelix (id bigserial primary key, "
                        "serialno text not null, channel1 double precision, "
                        "channel2 double precision, pointDate bigint not null, "
                        "unique (serialno, pointDate))"),
         QStringLiteral("serialno, channel1, channel2, pointDate"),
         QStringLiteral("serialno, pointDate")},
        // Who records which loggers: a recorder whose heartbeat is older than a few beats is
        // gone, and its loggers are free again.
        {QString::fromLatin1(RECORDER_TABLE),
         QStringLiteral("create table if not exists kestrelix_recorder (recorder text primary "
                        "key, host text not null, pid bigint not null, project text, "
                        "serials text[] not null, heartbeat timestamptz not null default now())"),
         QStringLiteral("recorder, host, pid, project, serials"), QStringLiteral("recorder")},
        // The event log of the project files, with a key that makes a batch sent again after
        // an outage store each entry once.
        {QString::fromLatin1(EVENT_TABLE),
         QStringLiteral("create table if not exists kestrelix_event (id bigserial primary key, "
                        "pointDate bigint not null, serialno text not null default '', "
                        "channel integer not null default 0, kind text not null, "
                        "value double precision, lowerLimit double precision, "
                        "upperLimit double precision, text text, ackDate bigint, ackBy text, "
                        "unique (serialno, pointDate, channel, kind))"),
         QStringLiteral("pointDate, serialno, channel, kind, value, lowerLimit, upperLimit, text"),
         QStringLiteral("serialno, pointDate, channel, kind")},
    };
    return list;
}

const PgTable *table(const QString &name)
{
    for (const PgTable &t : tables()) {
        if (t.name == name)
            return &t;
    }
    return nullptr;
}

namespace {

// The value the project file would hold: six significant digits, NULL for no reading.
QVariant channelValue(double value)
{
    if (value == NO_VALUE || !std::isfinite(value))
        return QVariant(QMetaType::fromType<double>());
    const double rounded = QString::number(value, 'g', 6).toDouble();
    return rounded == 0.0 ? 0.0 : rounded;
}

QVariant limitValue(double value)
{
    if (value == NO_VALUE || !std::isfinite(value))
        return QVariant(QMetaType::fromType<double>());
    return value;
}

} // namespace

QVariantList eventValues(const EventRow &row)
{
    return {qint64(row.pointDate),
            row.serialNo,
            row.channel,
            row.kind,
            limitValue(row.value),
            limitValue(row.lowerLimit),
            limitValue(row.upperLimit),
            row.text.isNull() ? QVariant(QMetaType::fromType<QString>()) : QVariant(row.text)};
}

QVariantList measurementValues(const SerialDataRow &row)
{
    return {row.serialNo, channelValue(row.channel1), channelValue(row.channel2),
            qint64(row.pointDate)};
}

} // namespace PgSchema
