#pragma once

#include "store/eventtable.h"
#include "store/pgconnectionsettings.h"

#include <QList>
#include <QObject>
#include <QString>

class QThread;

// The event log of a central database for the Events view: pages are read and alarms
// acknowledged on a worker thread with a connection of its own, and every answer comes back by
// a signal, so the window never waits for the server.
class PgEventReader : public QObject
{
    Q_OBJECT

public:
    explicit PgEventReader(const QString &url, QObject *parent = nullptr);
    // Waits for the request on its way, at most the server's connect time-out.
    ~PgEventReader() override;

    // One page, newest first: pageRead(request, ...) follows, never before this returns.
    quint64 requestPage(const EventFilter &filter, int limit, int offset);
    // One alarm event (id), or every unacknowledged one (0): acknowledged(request, ...) follows.
    quint64 requestAcknowledge(qint64 id, const QString &by, qint64 when);
    QString displayName() const { return m_strDisplayName; }

signals:
    // ok false: the server could not be read (error says why).
    void pageRead(quint64 request, bool ok, int total, const QList<EventRecord> &records,
                  const QString &error);
    void acknowledged(quint64 request, int count);

private:
    PgConnectionSettings m_settings;
    QString m_strConnection;
    QThread *m_pThread = nullptr;
    // Runs the jobs on the thread; the connection is the thread's own.
    QObject *m_pWorker = nullptr;
    QString m_strDisplayName;
    QString m_strError;
    quint64 m_nRequest = 0;
};
