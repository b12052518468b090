#pragma once

#include "store/eventtable.h"

#include <QHash>
#include <QString>

class QIODevice;

// The event log as CSV, in the same dialect as the sample export (RFC 4180, UTF-8, CRLF, ISO
// 8601 local times with their offset), oldest first.
class EventCsvWriter
{
public:
    // names: logger name by serial number.
    EventCsvWriter(QIODevice *device, const QHash<QString, QString> &names);

    bool writeHeader();
    bool writeRecord(const EventRecord &record);
    // Every event of the filter's time range, read a page at a time; false on a write error.
    bool writeAll(const QSqlDatabase &db, const EventFilter &filter, int *written = nullptr);

private:
    QIODevice *m_pDevice;
    QHash<QString, QString> m_names;
};
