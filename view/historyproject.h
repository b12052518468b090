#pragma once

#include "store/historycsvwriter.h"
#include "store/historyrowreader.h"
#include "store/historystatistics.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// One logger of a project as the history shows it.
struct HistoryLogger
{
    QString serial;
    LoggerLabel label;
    QString channelName[2];
    ChannelSetup setup[2];
};

// What looking back needs from a project file: its name, database, interval and loggers.
struct HistoryProject
{
    QString projectFile;
    QString projectName;
    QString databasePath;
    qint64 intervalSeconds = 10;
    QList<HistoryLogger> loggers;

    // false when the file is missing or unreadable, or names no database.
    bool load(const QString &path);
    const HistoryLogger *logger(const QString &serial) const;
    QHash<QString, LoggerLabel> labels() const;
};

struct HistoryRow;

// Statistics of several loggers, fed the rows of one scan.
class HistoryStatisticsSet
{
public:
    void reset(const HistoryProject &project, const QStringList &serials,
               double activationEnergyKJ);
    bool consume(const QVector<HistoryRow> &rows);
    const HistoryStatistics *of(const QString &serial) const;

private:
    QHash<QString, HistoryStatistics> m_statistics;
};

// The cells of one statistics row: logger, channel, unit, samples, minimum, maximum, mean,
// missing intervals, time above, time below, mean kinetic temperature.
QStringList statisticsHeader();
QStringList statisticsCells(const HistoryLogger &logger, int channel, const ChannelStatistics &s);
QString durationText(qint64 seconds);
