#pragma once

#include <QString>
#include <QStringList>

class HistoryDatabase;
class HistoryStatisticsSet;
class HistorySummary;
struct HistoryProject;

// What a history report shows.
struct HistoryReportInput
{
    const HistoryProject *project = nullptr;
    HistoryDatabase *database = nullptr;
    HistorySummary *summary = nullptr;
    const HistoryStatisticsSet *statistics = nullptr;
    QStringList serials;
    qint64 from = 0;
    qint64 to = 0;
};

// A PDF of the range: project and loggers, the range, both channel charts, the statistics
// table and, where the database keeps an event log, its alarm events in the range. Paper is
// Letter where the locale uses it, A4 elsewhere. Needs a QApplication (the charts are widgets).
bool writeHistoryReport(const QString &path, const HistoryReportInput &input, QString *error);
