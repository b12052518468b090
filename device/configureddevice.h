#pragma once

#include "device/devicetypes.h"

#include <QDateTime>
#include <QIcon>
#include <QObject>
#include <QString>

class AbstractDevice;
class DeviceDetailView;
class DeviceTileView;
class QListWidgetItem;
class TelnetDevice;

// One logger of the open project: the record the project file stores, the live state the
// display shows, and the engine that polls the logger and writes settings into it.
// The fields are read and written directly by the project file, the panels, the displays
// and the option dialogs.
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

    void setListItem(QListWidgetItem *item);
    void clearListItem();
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
    void insertNoValue();

    AbstractDevice *link() const { return m_pDevice; }

Q_SIGNALS:
    void buzzerSyncSuccess();
    void buzzerSyncError(const QString &message);
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
    bool m_bConnected = false;
    bool m_bRecording = false;
    bool m_bRefreshPoll = false;
    bool m_bAlarm1 = false;
    bool m_bAlarm2 = false;
    int m_nDashboardNumber = 0;
    bool m_bKeepAlive = false;
    QString m_strCh1Value;
    QString m_strCh2Value;
    QString m_strDeviceName;
    QString m_strCh1Name;
    QString m_strCh2Name;
    QString m_strDeviceNumber;
    QString m_strDeviceInterface;
    quint16 m_nDevicePort = 23;
    int m_nLinkType = LINK_NONE;
    QString m_strCh1Custom;
    QString m_strCh2Custom;
    int m_nCh1Unit = 0;
    int m_nCh2Unit = 0;
    float m_fCh1Min = 0;
    float m_fCh1Max = 0;
    float m_fCh2Min = 0;
    float m_fCh2Max = 0;
    QString m_strBuzzerAlarm = QStringLiteral("OFF");
    float m_fSetCh1Min = 0;
    float m_fSetCh1Max = 0;
    float m_fSetCh2Min = 0;
    float m_fSetCh2Max = 0;
    QString m_strSetBuzzerAlarm = QStringLiteral("OFF");
    // Request time of the last row queued since the last break row; invalid when there is none.
    QDateTime m_lastSavedTime;
    QDateTime m_lastRequestTime;
    int m_nNoResponse = 0;
    double m_timeData[CHART_POINTS];
    double m_ch1Data[CHART_POINTS];
    double m_ch2Data[CHART_POINTS];
    QIcon m_connectedIcon;
    QIcon m_disconnectedIcon;
    QListWidgetItem *m_pListItem = nullptr;
    DeviceDetailView *m_pChartView = nullptr;
    DeviceTileView *m_pCh1Item = nullptr;
    DeviceTileView *m_pCh2Item = nullptr;
    AbstractDevice *m_pDevice = nullptr;
    int m_nSyncState = STATE_IDLE;

private:
    void readSyncData(const QString &reply);
    void applyClosingRule();
    void sendSyncCommand(const QByteArray &command, int nextState);
    void countUnansweredPoll();
    TelnetDevice *telnetLink() const;
};
