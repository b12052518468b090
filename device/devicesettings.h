#pragma once

#include "device/devicetypes.h"

#include <QString>

// What the project file stores of one logger: its identity and link, its names and units, the
// alarm limits and buzzer setting last written into it, and the dashboard it is placed on.
class DeviceSettings
{
public:
    DeviceSettings() = default;
    DeviceSettings(const QString &deviceNumber, int linkType)
        : m_strDeviceNumber(deviceNumber), m_nLinkType(linkType)
    {
    }

    // Serial number of a USB logger, MAC address of a network logger.
    QString deviceNumber() const { return m_strDeviceNumber; }
    void setDeviceNumber(const QString &number) { m_strDeviceNumber = number; }
    int linkType() const { return m_nLinkType; }
    void setLinkType(int linkType) { m_nLinkType = linkType; }
    // Port name of a USB logger, IP address of a network logger.
    QString deviceInterface() const { return m_strDeviceInterface; }
    void setDeviceInterface(const QString &address) { m_strDeviceInterface = address; }
    quint16 devicePort() const { return m_nDevicePort; }
    void setDevicePort(quint16 port) { m_nDevicePort = port; }

    QString deviceName() const { return m_strDeviceName; }
    void setDeviceName(const QString &name) { m_strDeviceName = name; }
    QString ch1Name() const { return m_strCh1Name; }
    void setCh1Name(const QString &name) { m_strCh1Name = name; }
    QString ch2Name() const { return m_strCh2Name; }
    void setCh2Name(const QString &name) { m_strCh2Name = name; }

    int ch1Unit() const { return m_nCh1Unit; }
    void setCh1Unit(int unit) { m_nCh1Unit = unit; }
    int ch2Unit() const { return m_nCh2Unit; }
    void setCh2Unit(int unit) { m_nCh2Unit = unit; }
    QString ch1Custom() const { return m_strCh1Custom; }
    void setCh1Custom(const QString &unit) { m_strCh1Custom = unit; }
    QString ch2Custom() const { return m_strCh2Custom; }
    void setCh2Custom(const QString &unit) { m_strCh2Custom = unit; }

    float ch1Min() const { return m_fCh1Min; }
    float ch1Max() const { return m_fCh1Max; }
    float ch2Min() const { return m_fCh2Min; }
    float ch2Max() const { return m_fCh2Max; }
    void setAlarmRange(float ch1Min, float ch1Max, float ch2Min, float ch2Max)
    {
        m_fCh1Min = ch1Min;
        m_fCh1Max = ch1Max;
        m_fCh2Min = ch2Min;
        m_fCh2Max = ch2Max;
    }
    // "ON" or "OFF".
    QString buzzerAlarm() const { return m_strBuzzerAlarm; }
    void setBuzzerAlarm(const QString &setting) { m_strBuzzerAlarm = setting; }

    int dashboardNumber() const { return m_nDashboardNumber; }
    void setDashboardNumber(int number) { m_nDashboardNumber = number; }

private:
    QString m_strDeviceNumber;
    int m_nLinkType = LINK_NONE;
    QString m_strDeviceInterface;
    quint16 m_nDevicePort = 23;
    QString m_strDeviceName;
    QString m_strCh1Name;
    QString m_strCh2Name;
    int m_nCh1Unit = 0;
    int m_nCh2Unit = 0;
    QString m_strCh1Custom;
    QString m_strCh2Custom;
    float m_fCh1Min = 0;
    float m_fCh1Max = 0;
    float m_fCh2Min = 0;
    float m_fCh2Max = 0;
    QString m_strBuzzerAlarm = QStringLiteral("OFF");
    int m_nDashboardNumber = 0;
};
