#pragma once

#include "device/devicesettings.h"
#include "device/devicetypes.h"
#include "device/pollinterval.h"

#include <QDateTime>
#include <QObject>
#include <QString>

class AbstractDevice;
class DeviceDetailView;
class DeviceTileView;
class PendingRowQueue;
class TelnetDevice;

// One logger of the open project: the settings the project file stores, the live state the
// displays show, and the engine that polls the logger and writes settings into it.
class ConfiguredDevice : public QObject
{
    Q_OBJECT

public:
    enum SyncState
    {
        STATE_IDLE = 0,
        STATE_START = 1,
        STATE_MIN1 = 2,
        STATE_MAX1 = 3,
        STATE_MIN2 = 4,
        STATE_MAX2 = 5,
        STATE_ALARM = 6,
        STATE_SET = 7,
        STATE_END = 8,
        STATE_ERROR = 9
    };

    ConfiguredDevice(const QString &deviceNumber, int linkType, QObject *parent = nullptr);
    ~ConfiguredDevice() override;

    bool open();
    void close();
    void setConnection(const QString &deviceName, const QString &ch1Name, const QString &ch2Name,
                       const QString &address, quint16 port);
    // The project's poll interval in milliseconds: it decides when the link closes between
    // polls and how many unanswered polls are tolerated. The link learns it too.
    void setPollInterval(int ms);
    int pollInterval() const { return m_nPollInterval; }
    void setKeepAlive(bool on);
    void requestData();
    void refreshData();

    void setUnits(int ch1Unit, int ch2Unit);
    void setAlarmRange(float ch1Min, float ch1Max, float ch2Min, float ch2Max);
    void alarmRange(float *out) const;
    void setBuzzerAlarm(const QString &setting);
    void setPendingAlarmRange(float ch1Min, float ch1Max, float ch2Min, float ch2Max);
    void setPendingBuzzerAlarm(const QString &setting);
    void applyPendingSettings();

    void setChartView(DeviceDetailView *view);
    void clearChartView();
    void setDashboardItems(DeviceTileView *ch1Item, DeviceTileView *ch2Item);
    void clearDashboardItems();
    void chartData(double *time, double *ch1, double *ch2) const;

    void startSyncTelnet();
    void stopSyncTelnet();

    void readMeasureData(const QString &text);
    void setCheckAlarmSet1(double value);
    void setCheckAlarmSet2(double value);
    void checkAlarmAll();
    // Appends the break row that ends the line of samples queued since the last one.
    void insertNoValue(PendingRowQueue &rows);
    // While recording, every polled sample is appended to rows, which must outlive the
    // recording.
    void startRecording(PendingRowQueue &rows);
    void stopRecording();
    bool isRecording() const { return m_pRecordQueue != nullptr; }

    AbstractDevice *link() const { return m_pDevice; }

Q_SIGNALS:
    // On every report of the link, also when the state stays the same.
    void connectionReported(bool connected);
    void buzzerSyncSuccess();
    void buzzerSyncError(const QString &message);
    // One reply decoded: values, alarm flags and the queued row are up to date.
    void sampleReceived();
    void connectionChanged(bool connected);
    // Every decoded line, after its alarm evaluation (NO_VALUE for a channel without a value).
    void sampleDecoded(double ch1, double ch2, quint32 pointDate);
    // A connected logger was marked disconnected.
    void connectionLost();

public Q_SLOTS:
    void readData(const QString &text);
    void deviceConnected();
    void deviceDisconnected();
    void slotWriteStartSync();

public:
    // The stored settings, as the project file reads and writes them.
    const DeviceSettings &settings() const { return m_settings; }
    // Takes every setting; the link learns the address and port, the link type stays.
    void setSettings(const DeviceSettings &settings);
    QString deviceNumber() const { return m_settings.deviceNumber(); }
    int linkType() const { return m_settings.linkType(); }
    QString deviceName() const { return m_settings.deviceName(); }
    void setDeviceName(const QString &name) { m_settings.setDeviceName(name); }
    QString ch1Name() const { return m_settings.ch1Name(); }
    void setCh1Name(const QString &name) { m_settings.setCh1Name(name); }
    QString ch2Name() const { return m_settings.ch2Name(); }
    void setCh2Name(const QString &name) { m_settings.setCh2Name(name); }
    QString deviceInterface() const { return m_settings.deviceInterface(); }
    void setDeviceInterface(const QString &address) { m_settings.setDeviceInterface(address); }
    quint16 devicePort() const { return m_settings.devicePort(); }
    int ch1Unit() const { return m_settings.ch1Unit(); }
    void setCh1Unit(int unit) { m_settings.setCh1Unit(unit); }
    int ch2Unit() const { return m_settings.ch2Unit(); }
    void setCh2Unit(int unit) { m_settings.setCh2Unit(unit); }
    QString ch1Custom() const { return m_settings.ch1Custom(); }
    void setCh1Custom(const QString &unit) { m_settings.setCh1Custom(unit); }
    QString ch2Custom() const { return m_settings.ch2Custom(); }
    void setCh2Custom(const QString &unit) { m_settings.setCh2Custom(unit); }
    QString buzzerAlarm() const { return m_settings.buzzerAlarm(); }
    int dashboardNumber() const { return m_settings.dashboardNumber(); }
    void setDashboardNumber(int number) { m_settings.setDashboardNumber(number); }

    // The alarm limits and buzzer setting staged for the next setup exchange.
    float pendingCh1Min() const { return m_fSetCh1Min; }
    float pendingCh1Max() const { return m_fSetCh1Max; }
    float pendingCh2Min() const { return m_fSetCh2Min; }
    float pendingCh2Max() const { return m_fSetCh2Max; }
    QString pendingBuzzerAlarm() const { return m_strSetBuzzerAlarm; }

    // Live state.
    bool isConnected() const { return m_bConnected; }
    bool alarm1() const { return m_bAlarm1; }
    bool alarm2() const { return m_bAlarm2; }
    // Set by every decoded value; the alarm sound and the displays read them.
    void setAlarm1(bool on) { m_bAlarm1 = on; }
    void setAlarm2(bool on) { m_bAlarm2 = on; }
    bool keepAlive() const { return m_bKeepAlive; }
    bool isRefreshPoll() const { return m_bRefreshPoll; }
    QString ch1Value() const { return m_strCh1Value; }
    QString ch2Value() const { return m_strCh2Value; }
    QDateTime lastRequestTime() const { return m_lastRequestTime; }
    // The time the next decoded samples are dated with; set by each poll.
    void setLastRequestTime(const QDateTime &time) { m_lastRequestTime = time; }
    int unansweredPolls() const { return m_nNoResponse; }
    int syncState() const { return m_nSyncState; }
    // Tests and fuzzers: puts the setup exchange into a state without sending anything.
    void setSyncState(int state) { m_nSyncState = state; }
    // CHART_POINTS values each, oldest first.
    const double *timeData() const { return m_timeData; }
    const double *ch1Data() const { return m_ch1Data; }
    const double *ch2Data() const { return m_ch2Data; }
    // Tests and benchmarks: fills the chart buffers as a run of samples would.
    void setChartData(const double *time, const double *ch1, const double *ch2);
    DeviceDetailView *chartView() const { return m_pChartView; }
    DeviceTileView *ch1Item() const { return m_pCh1Item; }
    DeviceTileView *ch2Item() const { return m_pCh2Item; }

private:
    DeviceSettings m_settings;
    bool m_bConnected = false;
    bool m_bRefreshPoll = false;
    bool m_bAlarm1 = false;
    bool m_bAlarm2 = false;
    bool m_bKeepAlive = false;
    QString m_strCh1Value;
    QString m_strCh2Value;
    float m_fSetCh1Min = 0;
    float m_fSetCh1Max = 0;
    float m_fSetCh2Min = 0;
    float m_fSetCh2Max = 0;
    QString m_strSetBuzzerAlarm = QStringLiteral("OFF");
    // Request time of the last row queued since the last break row; invalid when there is none.
    QDateTime m_lastSavedTime;
    QDateTime m_lastRequestTime;
    int m_nNoResponse = 0;
    int m_nPollInterval = DEFAULT_POLL_INTERVAL_MS;
    double m_timeData[CHART_POINTS];
    double m_ch1Data[CHART_POINTS];
    double m_ch2Data[CHART_POINTS];
    DeviceDetailView *m_pChartView = nullptr;
    DeviceTileView *m_pCh1Item = nullptr;
    DeviceTileView *m_pCh2Item = nullptr;
    AbstractDevice *m_pDevice = nullptr;
    int m_nSyncState = STATE_IDLE;
    PendingRowQueue *m_pRecordQueue = nullptr;

    void readSyncData(const QString &reply);
    void applyClosingRule();
    void sendSyncCommand(const QByteArray &command, int nextState);
    void countUnansweredPoll();
    TelnetDevice *telnetLink() const;
};
