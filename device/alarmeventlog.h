#pragma once

#include "store/eventrow.h"

#include <QHash>
#include <QList>
#include <QMetaObject>
#include <QObject>

class ConfiguredDevice;
class PendingEventQueue;
class PendingRowQueue;

// Turns what the loggers of the open project do into event-log entries: alarms (start, peak,
// end), lost and restored communication, recording start and stop, confirmed limit changes and
// loggers added or removed. Entries are queued for the store, which writes them with the
// samples. It also decides whether the alarm sound should play: limit alarms and, when the
// project wants it, lost communication, unless an operator acknowledged them since the last new
// alarm.
class AlarmEventLog : public QObject
{
    Q_OBJECT

public:
    explicit AlarmEventLog(QObject *parent = nullptr);

    // Where the entries go; the owner keeps it, the store writes from it.
    void setEventQueue(PendingEventQueue *queue) { m_pQueue = queue; }
    // Where a recording logger's break row goes when it stops answering.
    void setRowQueue(PendingRowQueue *queue) { m_pRowQueue = queue; }

    // Follows these devices (not owned) from now on; no entries for how they stand now.
    void attach(const QList<ConfiguredDevice *> &devices);
    // Stops following; an alarm still open gets its peak so far.
    void detach();

    // Loggers taken into or out of the project by the device panel.
    void logDeviceChanges(const QList<ConfiguredDevice *> &before,
                          const QList<ConfiguredDevice *> &after);
    void logRecording(bool started);
    // Limits the loggers took since the last call (the clock tick asks every second).
    void checkLimits();

    void setCommunicationLossSound(bool on) { m_bCommunicationLossSound = on; }
    bool communicationLossSound() const { return m_bCommunicationLossSound; }
    // limitAlarm: some channel is out of its range now.
    bool wantsSound(bool limitAlarm) const;
    // An operator acknowledged: quiet until the next alarm starts.
    void silence() { m_bSilenced = true; }
    bool isSilenced() const { return m_bSilenced; }
    int lostCount() const;

    // The text line of one entry, as eventLogged carries it.
    static QString lineText(const EventRow &row);

signals:
    // Every entry as one line, for a log or the terminal.
    void eventLogged(const QString &line);

private:
    struct Channel
    {
        bool active = false;
        double peak = 0;
        quint32 peakTime = 0;
        float lower = 0;
        float upper = 0;
    };
    struct Tracked
    {
        QString serial;
        QString name;
        Channel channel[2];
        bool lost = false;
        float limits[4] = {0, 0, 0, 0};
        QList<QMetaObject::Connection> connections;
    };

    void onSample(ConfiguredDevice *device, double ch1, double ch2, quint32 pointDate);
    void onLost(ConfiguredDevice *device);
    void trackChannel(ConfiguredDevice *device, Tracked &tracked, int index, double value,
                      quint32 pointDate);
    static EventRow alarmRow(const Tracked &tracked, int index, const QString &kind, double value,
                             quint32 pointDate);
    void closeAlarm(Tracked &tracked, int index, double value, quint32 pointDate, bool ended);
    void log(const EventRow &row);

    QHash<ConfiguredDevice *, Tracked> m_tracked;
    PendingEventQueue *m_pQueue = nullptr;
    PendingRowQueue *m_pRowQueue = nullptr;
    bool m_bCommunicationLossSound = true;
    bool m_bSilenced = false;
};
