#include "store/eventcsvwriter.h"

#include "device/devicetypes.h"
#include "store/historycsvwriter.h"

#include <QIODevice>

#include <algorithm>

namespace {
QString numberText(double value)
{
    return value == NO_VALUE ? QString() : QString::number(value, 'g', 15);
}
} // namespace

EventCsvWriter::EventCsvWriter(QIODevice *device, const QHash<QString, QString> &names)
    : m_pDevice(device), m_names(names)
{
}

bool EventCsvWriter::writeHeader()
{
    return m_pDevice->write("time,serial number,logger name,channel,kind,value,lower limit,"
                            "upper limit,text,acknowledged at,acknowledged by\r\n") > 0;
}

bool EventCsvWriter::writeRecord(const EventRecord &record)
{
    const EventRow &row = record.row;
    const QStringList fields = {HistoryCsvWriter::timeText(row.pointDate),
                                HistoryCsvWriter::field(row.serialNo),
                                HistoryCsvWriter::field(m_names.value(row.serialNo)),
                                QString::number(row.channel),
                                HistoryCsvWriter::field(row.kind),
                                numberText(row.value),
                                numberText(row.lowerLimit),
                                numberText(row.upperLimit),
                                HistoryCsvWriter::field(row.text),
                                record.ackDate > 0 ? HistoryCsvWriter::timeText(record.ackDate)
                                                   : QString(),
                                HistoryCsvWriter::field(record.ackBy)};
    return m_pDevice->write((fields.join(QLatin1Char(',')) + QStringLiteral("\r\n")).toUtf8()) >= 0;
}

bool EventCsvWriter::writeAll(const QSqlDatabase &db, const EventFilter &filter, int *written)
{
    constexpr int PAGE = 1000;
    if (!writeHeader())
        return false;
    // Pages come newest first; the file reads oldest first, so they are written from the end.
    const int total = EventTable::count(db, filter);
    int count = 0;
    for (int end = total; end > 0; end -= PAGE) {
        const int offset = std::max(0, end - PAGE);
        QList<EventRecord> page = EventTable::read(db, filter, end - offset, offset);
        std::reverse(page.begin(), page.end());
        for (const EventRecord &record : std::as_const(page)) {
            if (!writeRecord(record))
                return false;
            ++count;
        }
    }
    if (written)
        *written = count;
    return true;
}
