#include "store/historycsvwriter.h"

#include "store/historyrowreader.h"

#include <QDateTime>
#include <QIODevice>

#include <cmath>

HistoryCsvWriter::HistoryCsvWriter(QIODevice *device, const QHash<QString, LoggerLabel> &labels)
    : m_pDevice(device), m_labels(labels)
{
}

QString HistoryCsvWriter::field(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString HistoryCsvWriter::timeText(qint64 secondsSinceEpoch)
{
    const QDateTime local = QDateTime::fromSecsSinceEpoch(secondsSinceEpoch);
    // Qt writes "Z" for a zero offset only in UTC; local time always carries its offset.
    const int offset = local.offsetFromUtc();
    const QString sign = offset < 0 ? QStringLiteral("-") : QStringLiteral("+");
    const int minutes = std::abs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + sign +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

bool HistoryCsvWriter::writeHeader()
{
    return m_pDevice->write("time,serial number,logger name,channel 1 value,channel 1 unit,"
                            "channel 2 value,channel 2 unit\r\n") > 0;
}

bool HistoryCsvWriter::writeRow(const HistoryRow &row)
{
    const LoggerLabel label = m_labels.value(row.serial);
    QString line = timeText(row.time) + QLatin1Char(',') + field(row.serial) + QLatin1Char(',') +
                   field(label.name);
    for (int ch = 0; ch < 2; ++ch) {
        line += QLatin1Char(',');
        if (!std::isnan(row.value[ch]))
            line += QString::number(row.value[ch], 'g', 15);
        line += QLatin1Char(',') + field(label.unit[ch]);
    }
    line += QStringLiteral("\r\n");
    return m_pDevice->write(line.toUtf8()) >= 0;
}
