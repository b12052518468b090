#include "view/historyproject.h"

#include "project/projectfile.h"
#include "view/unittext.h"

#include <QFileInfo>

namespace {

ChannelSetup channelSetup(float lower, float upper, int unit)
{
    ChannelSetup s;
    s.lower = double(lower);
    s.upper = double(upper);
    s.temperatureScale = unit == 1 || unit == 2 ? unit : 0;
    return s;
}

} // namespace

bool HistoryProject::load(const QString &path)
{
    ProjectInfo info;
    if (!QFileInfo(path).isReadable() || !ProjectFile::readInfo(path, &info) ||
        info.databaseName.isEmpty())
        return false;
    projectFile = path;
    projectName = info.projectName.isEmpty() ? ProjectFile::baseName(path) : info.projectName;
    databasePath = ProjectFile::storeLocation(path);
    intervalSeconds = info.dataInterval > 0 ? qMax(1, info.dataInterval / 1000) : 10;
    QList<DeviceRecord> records;
    ProjectFile::parseDeviceList(ProjectFile::readDeviceList(path), &records);
    loggers.clear();
    for (const DeviceRecord &r : records) {
        if (r.deviceNumber.isEmpty() || logger(r.deviceNumber))
            continue;
        HistoryLogger l;
        l.serial = r.deviceNumber;
        l.label.name = r.deviceName.isEmpty() ? r.deviceNumber : r.deviceName;
        l.label.unit[0] = unitText(r.ch1Unit, r.ch1Custom);
        l.label.unit[1] = unitText(r.ch2Unit, r.ch2Custom);
        l.channelName[0] = r.ch1Name.isEmpty() ? QStringLiteral("Channel 1") : r.ch1Name;
        l.channelName[1] = r.ch2Name.isEmpty() ? QStringLiteral("Channel 2") : r.ch2Name;
        l.setup[0] = channelSetup(r.ch1Min, r.ch1Max, r.ch1Unit);
        l.setup[1] = channelSetup(r.ch2Min, r.ch2Max, r.ch2Unit);
        loggers.append(l);
    }
    return true;
}

const HistoryLogger *HistoryProject::logger(const QString &serial) const
{
    for (const HistoryLogger &l : loggers) {
        if (l.serial == serial)
            return &l;
    }
    return nullptr;
}

QHash<QString, LoggerLabel> HistoryProject::labels() const
{
    QHash<QString, LoggerLabel> map;
    for (const HistoryLogger &l : loggers)
        map.insert(l.serial, l.label);
    return map;
}

void HistoryStatisticsSet::reset(const HistoryProject &project, const QStringList &serials,
                                 double activationEnergyKJ)
{
    m_statistics.clear();
    for (const QString &serial : serials) {
        const HistoryLogger *l = project.logger(serial);
        const ChannelSetup none;
        m_statistics.insert(serial,
                            HistoryStatistics(project.intervalSeconds, l ? l->setup[0] : none,
                                              l ? l->setup[1] : none, activationEnergyKJ));
    }
}

bool HistoryStatisticsSet::consume(const QVector<HistoryRow> &rows)
{
    for (const HistoryRow &row : rows) {
        auto found = m_statistics.find(row.serial);
        if (found != m_statistics.end())
            found->add(row.time, row.value[0], row.value[1]);
    }
    return true;
}

const HistoryStatistics *HistoryStatisticsSet::of(const QString &serial) const
{
    auto found = m_statistics.constFind(serial);
    return found == m_statistics.constEnd() ? nullptr : &found.value();
}

QStringList statisticsHeader()
{
    return {QStringLiteral("Logger"),      QStringLiteral("Channel"), QStringLiteral("Unit"),
            QStringLiteral("Samples"),     QStringLiteral("Minimum"), QStringLiteral("Maximum"),
            QStringLiteral("Mean"),        QStringLiteral("Missing"), QStringLiteral("Above upper"),
            QStringLiteral("Below lower"), QStringLiteral("MKT")};
}

QString durationText(qint64 seconds)
{
    const qint64 days = seconds / 86400;
    const QString clock = QStringLiteral("%1:%2:%3")
                              .arg((seconds / 3600) % 24, 2, 10, QLatin1Char('0'))
                              .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
                              .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return days > 0 ? QStringLiteral("%1d %2").arg(days).arg(clock) : clock;
}

QStringList statisticsCells(const HistoryLogger &logger, int channel, const ChannelStatistics &s)
{
    const auto number = [&s](double v) {
        return s.count > 0 ? QString::number(v, 'f', 2) : QStringLiteral("-");
    };
    const ChannelSetup &setup = logger.setup[channel];
    const bool limits = setup.lower != setup.upper;
    return {logger.label.name,
            logger.channelName[channel],
            logger.label.unit[channel],
            QString::number(s.count),
            number(s.minimum),
            number(s.maximum),
            number(s.mean),
            QString::number(s.missingIntervals),
            limits ? durationText(s.secondsAbove) : QStringLiteral("-"),
            limits ? durationText(s.secondsBelow) : QStringLiteral("-"),
            s.hasMkt ? QString::number(s.meanKineticTemperature, 'f', 2) : QStringLiteral("-")};
}
