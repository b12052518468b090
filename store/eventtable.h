#pragma once

#include "store/eventrow.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

class PendingEventQueue;

// An event as read back, with its acknowledgement (ackDate 0: not acknowledged).
struct EventRecord
{
    qint64 id = 0;
    EventRow row;
    qint64 ackDate = 0;
    QString ackBy;
};

// Which events a listing or an export takes; empty texts and zero times take all.
struct EventFilter
{
    QString serialNo;
    QString kind;
    bool unacknowledgedOnly = false;
    qint64 from = 0;
    qint64 to = 0;
};

// The event table "kestrelix_event" beside the sample table. The sibling programs do not read
// it; a table written by a newer version may carry more columns, which are left alone.
namespace EventTable {

bool create(const QSqlDatabase &db, QString *error);
// Inserts the first count events of the queue inside the caller's transaction.
bool insert(const QSqlDatabase &db, const PendingEventQueue &queue, int count, QString *error);
// Newest first.
QList<EventRecord> read(const QSqlDatabase &db, const EventFilter &filter, int limit, int offset,
                        bool *ok = nullptr);
int count(const QSqlDatabase &db, const EventFilter &filter);
// Acknowledges one alarm event (id), or every unacknowledged one (id 0); returns how many.
int acknowledge(const QSqlDatabase &db, qint64 id, const QString &by, qint64 when);
int unacknowledgedAlarms(const QSqlDatabase &db);
// The kinds an operator acknowledges.
QStringList alarmKinds();

} // namespace EventTable
