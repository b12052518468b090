#pragma once

#include <QHash>
#include <QString>

class QIODevice;
struct HistoryRow;

// Names and units of one logger as the export shows them.
struct LoggerLabel
{
    QString name;
    QString unit[2];
};

// Samples as CSV (RFC 4180: comma separated, CRLF, fields quoted when they hold a comma, a quote
// or a line break), UTF-8, one header line, times in ISO 8601 local time with the UTC offset,
// empty fields where a channel has no value.
class HistoryCsvWriter
{
public:
    HistoryCsvWriter(QIODevice *device, const QHash<QString, LoggerLabel> &labels);

    bool writeHeader();
    bool writeRow(const HistoryRow &row);

    static QString field(const QString &text);
    static QString timeText(qint64 secondsSinceEpoch);

private:
    QIODevice *m_pDevice;
    QHash<QString, LoggerLabel> m_labels;
};
