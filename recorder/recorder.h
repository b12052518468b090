#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include "device/pollinterval.h"
#include "store/pendingeventqueue.h"
#include "store/pendingrowqueue.h"

#include <memory>

struct AvailableDevice;
class AlarmEventLog;
class ConfiguredDevice;
class InsertSerialData;
class LeftoverRows;
class ProjectLock;
class QTimer;

// The recorder of one open project, without any window: it owns the project's configured
// devices, its store and the lock on its database, the poll, flush and clock timers, the
// recording state with its start and end times, the alarm state, the database size limit and
// the recording keys of the project file. The window and the headless mode only command it and
// listen to its signals.
class Recorder : public QObject
{
    Q_OBJECT

public:
    enum class OpenResult
    {
        Opened,
        // Another program (window or headless) records this project.
        Locked,
        Failed
    };

    static constexpr double DATABASE_SIZE_LIMIT = 3.9 * 1024 * 1024 * 1024;

    // The interval a project file's DataInterval gives: 10000 ms for none, at least 100 ms.
    static int usablePollInterval(int ms);

    explicit Recorder(QObject *parent = nullptr);
    ~Recorder() override;

    // The devices of the open project, owned from now on. Devices of the old list that are not
    // in the new one are closed and deleted; their views must be detached before.
    void setDevices(const QList<ConfiguredDevice *> &devices);
    QList<ConfiguredDevice *> devices() const { return m_devices; }
    ConfiguredDevice *findDevice(const QString &deviceNumber) const;
    // Closes and deletes every device; their views must be detached before.
    void deleteDevices();
    void closeDevices();

    // Takes the project's lock and opens its store; the recorded range is read from the store.
    OpenResult openStore(const QString &projectFile);
    // Writes what is queued (bounded), sets aside what cannot be written, releases the lock.
    void closeStore();
    InsertSerialData *store() const { return m_pStore; }
    // Rows sampled and not yet written; the store writes from it, and it outlives every store,
    // so rows sampled while none is connected are written by the next one.
    PendingRowQueue &pendingRows() { return m_pendingRows; }
    // Event-log entries waiting for the store; written in the same commits as the rows.
    PendingEventQueue &pendingEvents() { return m_pendingEvents; }
    AlarmEventLog *eventLog() const { return m_pEventLog; }
    // Alarm events of the open store nobody acknowledged yet.
    int unacknowledgedAlarms() const;
    QString projectFile() const { return m_strProjectFile; }
    // The process holding the project's lock after openStore() returned Locked (0 if unknown).
    qint64 lockOwner() const { return m_nLockOwner; }
    QString lockPath() const;

    // The project's poll interval in milliseconds, given to every device, also to devices
    // handed over later.
    void setPollInterval(int ms);
    int pollInterval() const { return m_nPollInterval; }
    // Polls every device now and then at the poll interval.
    void startPolling();
    void stopPolling();
    bool isPolling() const;
    // Every timer, the drain included: the program ends.
    void stopTimers();

    // Starts recording into a file at once. A central database is asked first, in the
    // background: recording starts (recordingStarted) when it answers, or it refuses
    // (storeError, recordingRefused) and nothing changes. false: no store to record into.
    // While a start waits for its answer, another start does nothing.
    bool startRecording();
    // Stops recording, or gives up a start still waiting for its answer.
    void stopRecording();
    bool isRecording() const { return m_bRecording; }
    bool isStartPending() const { return m_nStartRequest != 0; }
    // "yyyy-MM-dd hh:mm:ss"; empty when nothing is recorded yet.
    QString recordStartText() const { return m_strRecordStart; }
    QString recordEndText() const { return m_strRecordEnd; }
    // Writes the end time shown now into the project file, for a sibling program.
    bool saveRecordEnd();

    void setKeepAlive(bool on);
    void refreshDevices();
    // Reopens the project's USB devices on the ports found now; true when one was reopened
    // (the project file then holds the new port).
    bool openUsbDevices(const QList<AvailableDevice *> &usbEntries);
    bool saveDevices();

    bool hasAlarm() const;
    // A limit alarm, or lost communication where the project wants it heard, and nobody
    // acknowledged it since it started.
    bool wantsAlarmSound() const;

    // One step of each timer, for the forwarding slots of the window and for tests.
    void poll();
    void flush();
    void clockTick();
    void drainStep();
    // The program ends: one last try for rows of closed projects.
    void finishLeftoverRows();

signals:
    void sampleReceived(ConfiguredDevice *device);
    void connectionChanged(ConfiguredDevice *device, bool connected);
    void alarmChanged(ConfiguredDevice *device, bool ch1Alarm, bool ch2Alarm);
    void recordingStarted(const QString &startText);
    // The central database refused a start that startRecording() had sent it.
    void recordingRefused(const QString &message);
    void recordingStopped();
    // The first and last sample time of the database; an empty text leaves that end as it is.
    void recordedRangeChanged(const QString &startText, const QString &endText);
    void recordEndTimeChanged(const QString &endText);
    void databaseSizeChanged(qint64 bytes);
    void sizeLimitReached(qint64 bytes);
    // A text for the user; the store keeps the rows it could not write and retries.
    void storeError(const QString &message);
    // The event log cannot be written; samples go on.
    void eventLogError(const QString &message);
    void projectFileError();

private:
    void watchDevice(ConfiguredDevice *device);
    void checkAlarm(ConfiguredDevice *device);
    void setDevicesRecording(bool recording);
    void applyRecording(ConfiguredDevice *device);
    QStringList serials() const;
    void finishStart();
    void onStartAnswered(quint64 request, bool ok, const QString &message);
    void cancelStart();
    void onRangeRead(quint64 request, bool ok, qint64 from, qint64 to);
    void applyRecordedRange(const QString &startText, const QString &endText);
    void applyOpenedRange(const QString &startText, const QString &endText);
    bool flushStore();
    bool flushFor(int budgetMs, bool waitForServer = false);
    bool hasDrainWork() const;
    void writeRecordedRange();
    void appendBreakRows();
    bool writeLeftoverSlice();
    void writeLeftoverRange(LeftoverRows *rows);
    bool writeKey(const QString &key, const QString &value);

    PendingRowQueue m_pendingRows{PendingRowQueue::DEFAULT_LIMIT};
    PendingEventQueue m_pendingEvents;
    AlarmEventLog *m_pEventLog = nullptr;
    QList<ConfiguredDevice *> m_devices;
    // Alarm flags of each device as last announced: bit 0 channel 1, bit 1 channel 2.
    QHash<const ConfiguredDevice *, int> m_alarms;
    InsertSerialData *m_pStore = nullptr;
    std::unique_ptr<ProjectLock> m_pLock;
    qint64 m_nLockOwner = 0;
    QString m_strProjectFile;
    QString m_strConnectionPrefix;
    int m_nPollInterval = DEFAULT_POLL_INTERVAL_MS;
    QTimer *m_pollTimer = nullptr;
    QTimer *m_flushTimer = nullptr;
    QTimer *m_clockTimer = nullptr;
    QTimer *m_drainTimer = nullptr;
    bool m_bRecording = false;
    // The start and the recorded range a central database is asked for; 0: none waits.
    quint64 m_nStartRequest = 0;
    quint64 m_nRangeRequest = 0;
    // The range asked for is that of a stopped recording, written into the project file.
    bool m_bRangeOfRecording = false;
    QString m_strRecordStart;
    QString m_strRecordEnd;
    // One message per run of failed flushes, not one per 1.5 s retry.
    bool m_bStoreWriteFailing = false;
    // A recording stopped with rows still queued: its range is written again once they are.
    bool m_bRangePending = false;
    // A recording stopped before its rows were written: its break rows wait for them, so that
    // they are stored after every sample.
    bool m_bBreakRowsPending = false;
    QList<LeftoverRows *> m_leftovers;
    int m_nLeftoverConnections = 0;
};
