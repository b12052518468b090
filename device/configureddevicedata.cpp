#include "device/configureddevice.h"

#include "device/channelvalue.h"
#include "device/charttime.h"
#include "device/devicedisplay.h"
#include "store/logcategories.h"
#include "store/pendingrowqueue.h"
#include "store/serialdatarow.h"

#include <QLocale>

#include <cstring>

namespace {
constexpr int NEWEST = CHART_POINTS - 1;

void shiftIn(double *buffer, double value)
{
    std::memmove(buffer, buffer + 1, NEWEST * sizeof(double));
    buffer[NEWEST] = value;
}

double shownValue(const QString &text)
{
    if (text.isEmpty() || text.contains(QLatin1String("----")))
        return NO_VALUE;
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    return ok ? value : NO_VALUE;
}
} // namespace

void ConfiguredDevice::readMeasureData(const QString &text)
{
    deviceConnected();
    if (m_settings.linkType() == LINK_TCP)
        m_nNoResponse = 0;

    // The request time is converted once per reply: the conversion of a local date-time
    // asks the C library for the time zone and costs more than the decoding itself.
    const qint64 requestMs = m_lastRequestTime.toMSecsSinceEpoch();
    const qint64 requestSeconds = requestMs >= 0 ? requestMs / 1000 : (requestMs - 999) / 1000;
    const double time = chartTime2(requestSeconds) + (requestMs - requestSeconds * 1000) / 1000.0;
    const quint32 pointDate = static_cast<quint32>(requestSeconds);

    for (QStringView line : QStringView(text).split(u'\n')) {
        const QList<QStringView> fields = line.split(u',');
        if (fields.size() < 2)
            continue;

        const ChannelValue ch1 = parseChannelField(fields.at(0));
        const ChannelValue ch2 = parseChannelField(fields.at(1));
        m_strCh1Value = ch1.text;
        m_strCh2Value = ch2.text;

        setCheckAlarmSet1(ch1.value);
        setCheckAlarmSet2(ch2.value);

        if (m_timeData[NEWEST] == time) {
            m_ch1Data[NEWEST] = ch1.value;
            m_ch2Data[NEWEST] = ch2.value;
        } else {
            shiftIn(m_timeData, time);
            shiftIn(m_ch1Data, ch1.value);
            shiftIn(m_ch2Data, ch2.value);
        }

        if (m_pChartView)
            m_pChartView->updateData(m_timeData, m_ch1Data, m_ch2Data, m_strCh1Value,
                                     m_strCh2Value);
        if (m_pCh1Item)
            m_pCh1Item->setValue(m_strCh1Value);
        if (m_pCh2Item)
            m_pCh2Item->setValue(m_strCh2Value);

        if (m_pRecordQueue && !m_bRefreshPoll) {
            m_pRecordQueue->append({m_settings.deviceNumber(), ch1.value, ch2.value, pointDate});
            m_lastSavedTime = m_lastRequestTime;
        }
        m_bRefreshPoll = false;
        emit sampleDecoded(ch1.value, ch2.value, pointDate);
    }
    emit sampleReceived();
}

void ConfiguredDevice::setCheckAlarmSet1(double value)
{
    m_bAlarm1 = isOutsideAlarmRange(value, m_settings.ch1Min(), m_settings.ch1Max());
    if (m_bAlarm1)
        qCDebug(lcDevice).noquote()
            << "- ConfiguredDevice::setCheckAlarmSet1() : " + m_settings.deviceNumber();
}

void ConfiguredDevice::setCheckAlarmSet2(double value)
{
    m_bAlarm2 = isOutsideAlarmRange(value, m_settings.ch2Min(), m_settings.ch2Max());
    if (m_bAlarm2)
        qCDebug(lcDevice).noquote()
            << "- ConfiguredDevice::setCheckAlarmSet2() : " + m_settings.deviceNumber();
}

void ConfiguredDevice::checkAlarmAll()
{
    const double a = shownValue(m_strCh1Value);
    const double b = shownValue(m_strCh2Value);
    qCDebug(lcDevice) << "- ConfiguredDevice::checkAlarmAll() :" << a << b;
    setCheckAlarmSet1(a);
    setCheckAlarmSet2(b);
}

void ConfiguredDevice::insertNoValue(PendingRowQueue &rows)
{
    qCDebug(lcDevice).noquote() << "- ConfiguredDevice::insertNoValue() : " +
                                       m_settings.deviceNumber();
    // A logger that stored nothing since its last break has no line to break; a break dated
    // from anything else would stretch the recorded range back before the recording.
    if (!m_lastSavedTime.isValid())
        return;
    const qint64 lastMs = m_lastSavedTime.toMSecsSinceEpoch();
    const qint64 lastSeconds = lastMs >= 0 ? lastMs / 1000 : (lastMs - 999) / 1000;
    rows.append(
        {m_settings.deviceNumber(), NO_VALUE, NO_VALUE, static_cast<quint32>(lastSeconds + 1)});
    m_lastSavedTime = QDateTime();
}

void ConfiguredDevice::startRecording(PendingRowQueue &rows)
{
    m_pRecordQueue = &rows;
}

void ConfiguredDevice::stopRecording()
{
    m_pRecordQueue = nullptr;
}
