#include "device/alarmeventlog.h"

#include "device/configureddevice.h"
#include "store/logcategories.h"
#include "store/pendingeventqueue.h"

#include <QDateTime>
#include <QSet>

#include <cmath>

namespace {

quint32 now()
{
    return quint32(QDateTime::currentSecsSinceEpoch());
}

QString displayName(const ConfiguredDevice *device)
{
    return device->deviceName().isEmpty() ? device->deviceNumber() : device->deviceName();
}

EventRow makeRow(quint32 pointDate, const QString &serial, int channel, const QString &kind,
                 const QString &text = QString())
{
    EventRow row;
    row.pointDate = pointDate;
    row.serialNo = serial;
    row.channel = channel;
    row.kind = kind;
    row.value = NO_VALUE;
    row.lowerLimit = NO_VALUE;
    row.upperLimit = NO_VALUE;
    row.text = text;
    return row;
}

QString numberText(double value)
{
    return value == NO_VALUE ? QStringLiteral("-") : QString::number(value, 'f', 2);
}

// How far a value lies outside its range.
double excursion(double value, float lower, float upper)
{
    if (value < double(lower))
        return double(lower) - value;
    return value - double(upper);
}

} // namespace

AlarmEventLog::AlarmEventLog(QObject *parent) : QObject(parent) {}

void AlarmEventLog::attach(const QList<ConfiguredDevice *> &devices)
{
    detach();
    for (ConfiguredDevice *device : devices) {
        if (!device || m_tracked.contains(device))
            continue;
        Tracked &tracked = m_tracked[device];
        tracked.serial = device->deviceNumber();
        tracked.name = displayName(device);
        device->alarmRange(tracked.limits);
        tracked.connections << connect(device, &ConfiguredDevice::sampleDecoded, this,
                                       [this, device](double ch1, double ch2, quint32 pointDate) {
                                           onSample(device, ch1, ch2, pointDate);
                                       });
        tracked.connections << connect(device, &ConfiguredDevice::connectionLost, this,
                                       [this, device] { onLost(device); });
        tracked.connections << connect(device, &QObject::destroyed, this,
                                       [this, device] { m_tracked.remove(device); });
    }
}

void AlarmEventLog::detach()
{
    for (auto it = m_tracked.begin(); it != m_tracked.end(); ++it) {
        for (const QMetaObject::Connection &connection : std::as_const(it->connections))
            disconnect(connection);
        for (int index = 0; index < 2; ++index) {
            if (it->channel[index].active)
                closeAlarm(*it, index, NO_VALUE, now(), false);
        }
    }
    m_tracked.clear();
}

void AlarmEventLog::logDeviceChanges(const QList<ConfiguredDevice *> &before,
                                     const QList<ConfiguredDevice *> &after)
{
    QSet<QString> kept;
    for (const ConfiguredDevice *device : after) {
        if (device)
            kept.insert(device->deviceNumber());
    }
    QSet<QString> previous;
    for (const ConfiguredDevice *device : before) {
        if (!device)
            continue;
        previous.insert(device->deviceNumber());
        if (!kept.contains(device->deviceNumber()))
            log(makeRow(now(), device->deviceNumber(), 0, EventKind::loggerRemoved,
                        displayName(device)));
    }
    for (const ConfiguredDevice *device : after) {
        if (device && !previous.contains(device->deviceNumber()))
            log(makeRow(now(), device->deviceNumber(), 0, EventKind::loggerAdded,
                        displayName(device)));
    }
}

void AlarmEventLog::logRecording(bool started)
{
    log(makeRow(now(), QString(), 0,
                started ? EventKind::recordingStarted : EventKind::recordingStopped));
}

void AlarmEventLog::checkLimits()
{
    for (auto it = m_tracked.begin(); it != m_tracked.end(); ++it) {
        float limits[4];
        it.key()->alarmRange(limits);
        for (int index = 0; index < 2; ++index) {
            const float oldLower = it->limits[2 * index];
            const float oldUpper = it->limits[2 * index + 1];
            const float lower = limits[2 * index];
            const float upper = limits[2 * index + 1];
            if (oldLower == lower && oldUpper == upper)
                continue;
            EventRow row = makeRow(now(), it->serial, index + 1, EventKind::limitsChanged,
                                   QStringLiteral("%1 .. %2 -> %3 .. %4")
                                       .arg(numberText(oldLower), numberText(oldUpper),
                                            numberText(lower), numberText(upper)));
            row.lowerLimit = lower;
            row.upperLimit = upper;
            log(row);
            it->limits[2 * index] = lower;
            it->limits[2 * index + 1] = upper;
        }
    }
}

bool AlarmEventLog::wantsSound(bool limitAlarm) const
{
    if (m_bSilenced)
        return false;
    return limitAlarm || (m_bCommunicationLossSound && lostCount() > 0);
}

int AlarmEventLog::lostCount() const
{
    int count = 0;
    for (const Tracked &tracked : m_tracked)
        count += tracked.lost ? 1 : 0;
    return count;
}

void AlarmEventLog::onSample(ConfiguredDevice *device, double ch1, double ch2, quint32 pointDate)
{
    auto found = m_tracked.find(device);
    if (found == m_tracked.end())
        return;
    Tracked &tracked = found.value();
    if (tracked.lost) {
        tracked.lost = false;
        log(makeRow(pointDate, tracked.serial, 0, EventKind::communicationRestored, tracked.name));
    }
    trackChannel(device, tracked, 0, ch1, pointDate);
    trackChannel(device, tracked, 1, ch2, pointDate);
}

void AlarmEventLog::trackChannel(ConfiguredDevice *device, Tracked &tracked, int index,
                                 double value, quint32 pointDate)
{
    Channel &channel = tracked.channel[index];
    const bool alarm = index == 0 ? device->alarm1() : device->alarm2();
    if (alarm && !channel.active) {
        channel.active = true;
        channel.lower = index == 0 ? device->settings().ch1Min() : device->settings().ch2Min();
        channel.upper = index == 0 ? device->settings().ch1Max() : device->settings().ch2Max();
        channel.peak = value;
        channel.peakTime = pointDate;
        log(alarmRow(tracked, index, EventKind::alarmStarted, value, pointDate));
    } else if (alarm) {
        if (excursion(value, channel.lower, channel.upper) >
            excursion(channel.peak, channel.lower, channel.upper)) {
            channel.peak = value;
            channel.peakTime = pointDate;
        }
    } else if (channel.active) {
        closeAlarm(tracked, index, value, pointDate, true);
    }
}

// An entry of one channel's alarm: its value against the limits the alarm started with.
EventRow AlarmEventLog::alarmRow(const Tracked &tracked, int index, const QString &kind,
                                 double value, quint32 pointDate)
{
    const Channel &channel = tracked.channel[index];
    EventRow row = makeRow(pointDate, tracked.serial, index + 1, kind, tracked.name);
    row.value = value;
    row.lowerLimit = channel.lower;
    row.upperLimit = channel.upper;
    return row;
}

void AlarmEventLog::closeAlarm(Tracked &tracked, int index, double value, quint32 pointDate,
                               bool ended)
{
    Channel &channel = tracked.channel[index];
    channel.active = false;
    log(alarmRow(tracked, index, EventKind::alarmPeak, channel.peak, channel.peakTime));
    if (ended)
        log(alarmRow(tracked, index, EventKind::alarmEnded, value, pointDate));
}

void AlarmEventLog::onLost(ConfiguredDevice *device)
{
    auto found = m_tracked.find(device);
    if (found == m_tracked.end() || found->lost)
        return;
    found->lost = true;
    log(makeRow(now(), found->serial, 0, EventKind::communicationLost, found->name));
    // Every reader of the samples sees the gap, not a line drawn across it.
    if (device->isRecording() && m_pRowQueue)
        device->insertNoValue(*m_pRowQueue);
}

QString AlarmEventLog::lineText(const EventRow &row)
{
    QString line = QDateTime::fromSecsSinceEpoch(row.pointDate).toString(Qt::ISODate) +
                   QLatin1Char(' ') + row.kind;
    if (!row.serialNo.isEmpty())
        line += QStringLiteral(" serial=") + row.serialNo;
    if (row.channel > 0)
        line += QStringLiteral(" channel=%1").arg(row.channel);
    if (row.value != NO_VALUE)
        line += QStringLiteral(" value=") + numberText(row.value);
    if (row.lowerLimit != NO_VALUE || row.upperLimit != NO_VALUE)
        line += QStringLiteral(" limits=%1..%2")
                    .arg(numberText(row.lowerLimit), numberText(row.upperLimit));
    if (!row.text.isEmpty())
        line += QStringLiteral(" \"") + row.text + QLatin1Char('"');
    return line;
}

void AlarmEventLog::log(const EventRow &row)
{
    if (row.kind == EventKind::alarmStarted || row.kind == EventKind::communicationLost)
        m_bSilenced = false;
    if (m_pQueue)
        m_pQueue->append(row);
    const QString line = lineText(row);
    if (row.kind == EventKind::recordingStarted || row.kind == EventKind::recordingStopped ||
        row.kind == EventKind::loggerAdded || row.kind == EventKind::loggerRemoved ||
        row.kind == EventKind::limitsChanged)
        qCDebug(lcEvents).noquote() << "AlarmEventLog :" << line;
    else
        qCInfo(lcEvents).noquote() << "AlarmEventLog :" << line;
    emit eventLogged(line);
}
