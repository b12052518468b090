#pragma once

#include <QString>
#include <QStringList>

class QSqlDatabase;

// A read-only connection of its own to a project database, for looking back while the
// recorder may be writing: with the write-ahead log, readers and the writer never block each
// other.
class HistoryDatabase
{
public:
    // path: the SQLite file, or a PostgreSQL address (postgresql://...).
    explicit HistoryDatabase(const QString &path);
    ~HistoryDatabase();
    HistoryDatabase(const HistoryDatabase &) = delete;
    HistoryDatabase &operator=(const HistoryDatabase &) = delete;

    // false with lastError() when the file is missing, unreadable or has no measurement table.
    bool open();
    bool isOpen() const { return m_bOpen; }
    QString path() const { return m_strPath; }
    QString lastError() const { return m_strLastError; }
    QSqlDatabase database() const;

    bool hasTable(const QString &name) const;
    // First and last sample time of the loggers (all loggers when serials is empty); false when
    // there is none.
    bool recordedRange(const QStringList &serials, qint64 *from, qint64 *to) const;
    qint64 maxRowId() const;

private:
    bool openServer();

    QString m_strPath;
    QString m_strConnection;
    mutable QString m_strLastError;
    bool m_bOpen = false;
};

// "serialno in (?, ?, ...)" for binding count serial numbers; "1" for none.
QString serialFilter(int count);
