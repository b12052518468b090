#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariant>

// One table the central database keeps: the writer creates it when missing and inserts into it
// idempotently, so a batch sent again after an outage stores each row once.
struct PgTable
{
    QString name;
    QString createStatement; // "create table if not exists ..."
    QString columns;         // the insert's column list, in the order of a row's values
    QString conflictKey;     // the unique key whose duplicates are skipped
};

// Rows for one table, each a list of values in the table's column order: a string, a number or
// a null QVariant for SQL NULL.
struct PgBatch
{
    quint64 id = 0;
    QString table;
    QList<QVariantList> rows;
};
Q_DECLARE_METATYPE(PgBatch)
