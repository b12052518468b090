#pragma once

#include "store/eventrow.h"
#include "store/pgbatch.h"
#include "store/serialdatarow.h"

#include <QList>

// The tables of the central database. The measurement table keeps the columns of the project
// SQLite file, typed for PostgreSQL, with one row per logger and second.
namespace PgSchema {

extern const char MEASUREMENT_TABLE[];
extern const char RECORDER_TABLE[];
extern const char EVENT_TABLE[];

// Every table a writer creates, the measurement table first.
const QList<PgTable> &tables();
const PgTable *table(const QString &name);
// A queued sample as the measurement table's values.
QVariantList measurementValues(const SerialDataRow &row);
// A queued event-log entry as the event table's values.
QVariantList eventValues(const EventRow &row);

} // namespace PgSchema
