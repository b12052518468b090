#include "device/configureddevice.h"

#include "device/abstractdevice.h"
#include "device/devicedisplay.h"
#include "device/serialdevice.h"
#include "device/telnetdevice.h"
#include "store/logcategories.h"

#include <algorithm>

namespace {
// Unanswered TCP polls tolerated before the logger counts as gone: more at short
// intervals, where a few lost replies are only a short gap.
int noResponseLimit(int pollInterval)
{
    return pollInterval < 1001 ? 5 : 2;
}

QByteArray limitCommand(const char *command, float limit)
{
    return QByteArray(command) + QByteArray::number(static_cast<double>(limit), 'f', 2) + "\r\n";
}
} // namespace

ConfiguredDevice::ConfiguredDevice(const QString &deviceNumber, int linkType, QObject *parent)
    : QObject(parent), m_settings(deviceNumber, linkType),
      m_lastRequestTime(QDateTime::currentDateTime())
{
    std::fill(std::begin(m_timeData), std::end(m_timeData), NO_VALUE);
    std::fill(std::begin(m_ch1Data), std::end(m_ch1Data), NO_VALUE);
    std::fill(std::begin(m_ch2Data), std::end(m_ch2Data), NO_VALUE);

    if (linkType == LINK_SERIAL) {
        auto *serial = new SerialDevice(this);
        connect(serial, &SerialDevice::connected, this, &ConfiguredDevice::deviceConnected);
        connect(serial, &SerialDevice::disconnected, this, &ConfiguredDevice::deviceDisconnected);
        connect(serial, &SerialDevice::readyRead, this, &ConfiguredDevice::readData);
        m_pDevice = serial;
    } else {
        auto *telnet = new TelnetDevice(this);
        telnet->setPollInterval(m_nPollInterval);
        connect(telnet, &TelnetDevice::writeStartSync, this, &ConfiguredDevice::slotWriteStartSync);
        connect(telnet, &TelnetDevice::readyRead, this, &ConfiguredDevice::readData);
        m_pDevice = telnet;
    }
}

ConfiguredDevice::~ConfiguredDevice()
{
    delete m_pDevice;
    m_pDevice = nullptr;
}

TelnetDevice *ConfiguredDevice::telnetLink() const
{
    if (m_settings.linkType() != LINK_TCP)
        return nullptr;
    return static_cast<TelnetDevice *>(m_pDevice);
}

bool ConfiguredDevice::open()
{
    if (m_settings.linkType() == LINK_NONE)
        return false;
    m_pDevice->setDeviceInfo(m_settings.deviceInterface(), m_settings.devicePort());
    return m_pDevice->open();
}

void ConfiguredDevice::close()
{
    m_pDevice->close();
}

void ConfiguredDevice::setConnection(const QString &deviceName, const QString &ch1Name,
                                     const QString &ch2Name, const QString &address, quint16 port)
{
    m_settings.setDeviceName(deviceName);
    m_settings.setCh1Name(ch1Name);
    m_settings.setCh2Name(ch2Name);
    m_settings.setDeviceInterface(address);
    m_settings.setDevicePort(port);
    m_pDevice->setDeviceInfo(address, port);
}

void ConfiguredDevice::setSettings(const DeviceSettings &settings)
{
    const int linkType = m_settings.linkType();
    m_settings = settings;
    m_settings.setLinkType(linkType);
    m_pDevice->setDeviceInfo(m_settings.deviceInterface(), m_settings.devicePort());
}

void ConfiguredDevice::setPollInterval(int ms)
{
    m_nPollInterval = ms;
    if (TelnetDevice *telnet = telnetLink())
        telnet->setPollInterval(ms);
}

void ConfiguredDevice::setKeepAlive(bool on)
{
    if (TelnetDevice *telnet = telnetLink()) {
        m_bKeepAlive = on;
        telnet->setKeepAlive(on);
    }
}

void ConfiguredDevice::requestData()
{
    if (m_settings.linkType() == LINK_NONE || m_nSyncState != STATE_IDLE)
        return;
    m_lastRequestTime = QDateTime::currentDateTime();
    // A manual refresh that got no answer must not make this poll's answer count as its own.
    m_bRefreshPoll = false;
    m_pDevice->write();
    countUnansweredPoll();
}

void ConfiguredDevice::refreshData()
{
    if (m_settings.linkType() == LINK_NONE || m_nSyncState != STATE_IDLE)
        return;
    m_bRefreshPoll = true;
    m_pDevice->write();
    countUnansweredPoll();
    if (m_settings.linkType() == LINK_SERIAL && !m_pDevice->isOpen())
        m_pDevice->open();
}

void ConfiguredDevice::countUnansweredPoll()
{
    if (m_settings.linkType() != LINK_TCP)
        return;
    ++m_nNoResponse;
    const int limit = noResponseLimit(m_nPollInterval);
    if (m_nNoResponse > limit) {
        m_nNoResponse = limit;
        deviceDisconnected();
    }
}

void ConfiguredDevice::setUnits(int ch1Unit, int ch2Unit)
{
    m_settings.setCh1Unit(ch1Unit);
    m_settings.setCh2Unit(ch2Unit);
}

void ConfiguredDevice::setAlarmRange(float ch1Min, float ch1Max, float ch2Min, float ch2Max)
{
    m_settings.setAlarmRange(ch1Min, ch1Max, ch2Min, ch2Max);
}

void ConfiguredDevice::alarmRange(float *out) const
{
    if (!out)
        return;
    out[0] = m_settings.ch1Min();
    out[1] = m_settings.ch1Max();
    out[2] = m_settings.ch2Min();
    out[3] = m_settings.ch2Max();
}

void ConfiguredDevice::setBuzzerAlarm(const QString &setting)
{
    m_settings.setBuzzerAlarm(setting);
}

void ConfiguredDevice::setPendingAlarmRange(float ch1Min, float ch1Max, float ch2Min, float ch2Max)
{
    m_fSetCh1Min = ch1Min;
    m_fSetCh1Max = ch1Max;
    m_fSetCh2Min = ch2Min;
    m_fSetCh2Max = ch2Max;
}

void ConfiguredDevice::setPendingBuzzerAlarm(const QString &setting)
{
    m_strSetBuzzerAlarm = setting;
}

void ConfiguredDevice::applyPendingSettings()
{
    setAlarmRange(m_fSetCh1Min, m_fSetCh1Max, m_fSetCh2Min, m_fSetCh2Max);
    m_settings.setBuzzerAlarm(m_strSetBuzzerAlarm);
}

void ConfiguredDevice::setChartView(DeviceDetailView *view)
{
    m_pChartView = view;
}

void ConfiguredDevice::clearChartView()
{
    m_pChartView = nullptr;
}

void ConfiguredDevice::setDashboardItems(DeviceTileView *ch1Item, DeviceTileView *ch2Item)
{
    m_pCh1Item = ch1Item;
    m_pCh2Item = ch2Item;
}

void ConfiguredDevice::clearDashboardItems()
{
    m_pCh1Item = nullptr;
    m_pCh2Item = nullptr;
}

void ConfiguredDevice::chartData(double *time, double *ch1, double *ch2) const
{
    std::copy(std::begin(m_timeData), std::end(m_timeData), time);
    std::copy(std::begin(m_ch1Data), std::end(m_ch1Data), ch1);
    std::copy(std::begin(m_ch2Data), std::end(m_ch2Data), ch2);
}

void ConfiguredDevice::setChartData(const double *time, const double *ch1, const double *ch2)
{
    std::copy(time, time + CHART_POINTS, m_timeData);
    std::copy(ch1, ch1 + CHART_POINTS, m_ch1Data);
    std::copy(ch2, ch2 + CHART_POINTS, m_ch2Data);
}

void ConfiguredDevice::readData(const QString &text)
{
    if (m_settings.linkType() == LINK_TCP && m_nSyncState != STATE_IDLE) {
        QString reply = text;
        reply.remove(QLatin1Char('\n'));
        readSyncData(reply);
        return;
    }
    readMeasureData(text);
}

void ConfiguredDevice::deviceConnected()
{
    const bool changed = !m_bConnected;
    m_bConnected = true;
    emit connectionReported(true);
    if (m_pChartView)
        m_pChartView->deviceConnected(m_settings.deviceNumber());
    if (m_pCh1Item)
        m_pCh1Item->deviceConnected(m_settings.deviceNumber());
    if (m_pCh2Item)
        m_pCh2Item->deviceConnected(m_settings.deviceNumber());
    if (changed)
        emit connectionChanged(true);
}

void ConfiguredDevice::deviceDisconnected()
{
    const bool changed = m_bConnected;
    m_bConnected = false;
    emit connectionReported(false);
    if (m_pChartView)
        m_pChartView->deviceDisconnected(m_settings.deviceNumber());
    if (m_pCh1Item)
        m_pCh1Item->deviceDisconnected(m_settings.deviceNumber());
    if (m_pCh2Item)
        m_pCh2Item->deviceDisconnected(m_settings.deviceNumber());
    m_strCh1Value.clear();
    m_strCh2Value.clear();
    m_bAlarm1 = false;
    m_bAlarm2 = false;
    m_nSyncState = STATE_IDLE;
    if (changed) {
        emit connectionChanged(false);
        emit connectionLost();
    }
}

void ConfiguredDevice::startSyncTelnet()
{
    TelnetDevice *telnet = telnetLink();
    if (!telnet)
        return;
    qCDebug(lcDevice) << "- ConfiguredDevice::startSyncTelnet() : set buzzerflag true";
    telnet->setBuzzerFlag(true);
    m_nSyncState = STATE_START;
    if (m_nPollInterval > 1000)
        m_pDevice->open();
    else
        m_pDevice->write();
}

void ConfiguredDevice::stopSyncTelnet()
{
    TelnetDevice *telnet = telnetLink();
    if (!telnet)
        return;
    qCDebug(lcDevice) << "- ConfiguredDevice::stopSyncTelnet() : set buzzerflag false";
    telnet->setBuzzerFlag(false);
    m_nSyncState = STATE_IDLE;
    applyClosingRule();
}

void ConfiguredDevice::slotWriteStartSync()
{
    TelnetDevice *telnet = telnetLink();
    if (!telnet || m_nSyncState != STATE_START)
        return;
    if (telnet->writeCommand(limitCommand("ATBMIN1 ", m_fSetCh1Min)) <= 0)
        m_nSyncState = STATE_IDLE;
}

void ConfiguredDevice::applyClosingRule()
{
    if (m_nPollInterval > 1000 && !m_bKeepAlive)
        m_pDevice->close();
}

void ConfiguredDevice::sendSyncCommand(const QByteArray &command, int nextState)
{
    m_nSyncState = nextState;
    TelnetDevice *telnet = telnetLink();
    if (!telnet || telnet->writeCommand(command) <= 0)
        m_nSyncState = STATE_ERROR;
}

void ConfiguredDevice::readSyncData(const QString &reply)
{
    TelnetDevice *telnet = telnetLink();
    if (reply != QLatin1String("OK")) {
        m_nSyncState = STATE_IDLE;
        emit buzzerSyncError(QStringLiteral("Device Setup Failed."));
        applyClosingRule();
        if (telnet)
            telnet->setBuzzerFlag(false);
        qCWarning(lcDevice).noquote() << "[ERROR] - ConfiguredDevice::readData() : NOT OK [" +
                                             m_settings.deviceNumber() + "] : " + reply;
        return;
    }

    switch (m_nSyncState) {
    case STATE_START:
        sendSyncCommand(limitCommand("ATBMAX1 ", m_fSetCh1Max), STATE_MAX1);
        break;
    case STATE_MAX1:
        sendSyncCommand(limitCommand("ATBMIN2 ", m_fSetCh2Min), STATE_MIN2);
        break;
    case STATE_MIN2:
        sendSyncCommand(limitCommand("ATBMAX2 ", m_fSetCh2Max), STATE_MAX2);
        break;
    case STATE_MAX2: {
        const QByteArray command = "ATBAL " + m_strSetBuzzerAlarm.toLatin1() + "\r\n";
        qCDebug(lcDevice).noquote() << "[DEBUG] - ConfiguredDevice : szCommand : " << command
                                    << " [" + m_settings.deviceNumber() + "]";
        sendSyncCommand(command, STATE_ALARM);
        break;
    }
    case STATE_ALARM:
        sendSyncCommand(QByteArrayLiteral("ATBSET\r\n"), STATE_SET);
        break;
    case STATE_SET:
        m_nSyncState = STATE_IDLE;
        emit buzzerSyncSuccess();
        applyClosingRule();
        if (telnet)
            telnet->setBuzzerFlag(false);
        qCDebug(lcDevice).noquote() << "- ConfiguredDevice::readData() : STATE_END [" +
                                           m_settings.deviceNumber() + "] : " + reply;
        break;
    default:
        break;
    }

    if (m_nSyncState == STATE_ERROR) {
        m_nSyncState = STATE_IDLE;
        emit buzzerSyncError(QStringLiteral("Device communication failure."));
        applyClosingRule();
        if (telnet)
            telnet->setBuzzerFlag(false);
        qCWarning(lcDevice).noquote()
            << "[ERROR] - ConfiguredDevice::readData() : STATE_ERROR OK [" +
                   m_settings.deviceNumber() + "] : " + reply;
    }
}
