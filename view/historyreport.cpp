#include "view/historyreport.h"

#include "store/historydatabase.h"
#include "store/historyquery.h"
#include "view/historychart.h"
#include "view/historyproject.h"

#include <QDateTime>
#include <QLocale>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

namespace {

constexpr int CHART_WIDTH = 900;
constexpr int CHART_HEIGHT = 330;
const char EVENT_TABLE[] = "kestrelix_event";
constexpr int MAX_EVENTS = 500;

QPageSize paperSize()
{
    switch (QLocale().territory()) {
    case QLocale::UnitedStates:
    case QLocale::Canada:
    case QLocale::Mexico:
    case QLocale::Philippines:
    case QLocale::Chile:
    case QLocale::Colombia:
    case QLocale::Venezuela:
        return QPageSize(QPageSize::Letter);
    default:
        return QPageSize(QPageSize::A4);
    }
}

QString timeText(qint64 t)
{
    return QDateTime::fromSecsSinceEpoch(t).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

// Column of the event table whose name contains one of the words (the table belongs to the
// event log, which may name its columns its own way).
int column(const QSqlRecord &record, const QStringList &words, const QStringList &skip = {})
{
    for (int i = 0; i < record.count(); ++i) {
        const QString name = record.fieldName(i).toLower();
        bool skipped = false;
        for (const QString &s : skip)
            skipped = skipped || name.contains(s);
        if (skipped)
            continue;
        for (const QString &w : words) {
            if (name.contains(w))
                return i;
        }
    }
    return -1;
}

// Alarm events of the range as lines of text; empty when there is no event log.
QStringList alarmEvents(const HistoryReportInput &in, bool *hasLog)
{
    QStringList lines;
    *hasLog = in.database->hasTable(QLatin1String(EVENT_TABLE));
    if (!*hasLog)
        return lines;
    QSqlQuery query(in.database->database());
    if (!query.exec(QStringLiteral("select * from ") + QLatin1String(EVENT_TABLE) +
                    QStringLiteral(" order by 1")))
        return lines;
    const QSqlRecord record = query.record();
    const int timeColumn = column(
        record, {QStringLiteral("pointdate"), QStringLiteral("time"), QStringLiteral("date")},
        {QStringLiteral("ack")});
    const int serialColumn = column(record, {QStringLiteral("serial")});
    const int kindColumn = column(record, {QStringLiteral("kind"), QStringLiteral("type")});
    const int textColumn = column(record, {QStringLiteral("text"), QStringLiteral("message")});
    if (timeColumn < 0)
        return lines;
    while (query.next() && lines.size() < MAX_EVENTS) {
        const qint64 t = query.value(timeColumn).toLongLong();
        const QString serial = serialColumn >= 0 ? query.value(serialColumn).toString() : QString();
        const QString kind = kindColumn >= 0 ? query.value(kindColumn).toString() : QString();
        if (t < in.from || t > in.to || (!serial.isEmpty() && !in.serials.contains(serial)))
            continue;
        if (!kind.isEmpty() && !kind.contains(QLatin1String("alarm"), Qt::CaseInsensitive))
            continue;
        const HistoryLogger *l = in.project->logger(serial);
        lines.append(timeText(t) + QStringLiteral("  ") + (l ? l->label.name : serial) +
                     QStringLiteral("  ") + kind +
                     (textColumn >= 0 ? QStringLiteral("  ") + query.value(textColumn).toString()
                                      : QString()));
    }
    return lines;
}

class Page
{
public:
    Page(QPdfWriter *writer, QCPPainter *painter) : m_pWriter(writer), m_pPainter(painter)
    {
        m_nWidth = painter->viewport().width();
        m_nHeight = painter->viewport().height();
    }
    int width() const { return m_nWidth; }
    int lineHeight() const { return m_pPainter->fontMetrics().height(); }
    void ensure(int height)
    {
        if (m_nY + height > m_nHeight) {
            m_pWriter->newPage();
            m_nY = 0;
        }
    }
    void text(const QString &text, int pointSize, bool bold = false)
    {
        QFont font(QStringLiteral("DejaVu Sans"), pointSize);
        font.setBold(bold);
        m_pPainter->setFont(font);
        ensure(lineHeight());
        m_pPainter->drawText(QRect(0, m_nY, m_nWidth, lineHeight()), Qt::AlignLeft, text);
        m_nY += lineHeight();
    }
    void cells(const QStringList &cells, const QVector<double> &widths, bool bold)
    {
        QFont font(QStringLiteral("DejaVu Sans"), 7);
        font.setBold(bold);
        m_pPainter->setFont(font);
        ensure(lineHeight());
        double x = 0;
        for (int i = 0; i < cells.size() && i < widths.size(); ++i) {
            const int w = int(widths[i] * m_nWidth);
            m_pPainter->drawText(QRect(int(x), m_nY, w - 4, lineHeight()),
                                 Qt::AlignLeft | Qt::AlignVCenter, cells[i]);
            x += w;
        }
        m_nY += lineHeight();
    }
    void chart(HistoryChart *chart)
    {
        const int height = m_nWidth * CHART_HEIGHT / CHART_WIDTH;
        ensure(height);
        // As an image: laid out with screen font metrics, the chart drawn straight into the
        // PDF would place its labels by the wrong measure.
        m_pPainter->drawPixmap(QRect(0, m_nY, m_nWidth, height),
                               chart->toPixmap(CHART_WIDTH, CHART_HEIGHT, 3.0));
        m_nY += height + lineHeight();
    }
    void skip(int lines) { m_nY += lines * lineHeight(); }

private:
    QPdfWriter *m_pWriter;
    QCPPainter *m_pPainter;
    int m_nWidth;
    int m_nHeight;
    int m_nY = 0;
};

} // namespace

bool writeHistoryReport(const QString &path, const HistoryReportInput &in, QString *error)
{
    QPdfWriter writer(path);
    writer.setPageSize(paperSize());
    writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    writer.setResolution(300);
    writer.setTitle(QStringLiteral("History report ") + in.project->projectName);
    writer.setCreator(QStringLiteral("Velmoran Lite"));
    QCPPainter painter;
    if (!painter.begin(&writer)) {
        *error = QStringLiteral("cannot write ") + path;
        return false;
    }
    Page page(&writer, &painter);
    page.text(QStringLiteral("History report: ") + in.project->projectName, 16, true);
    page.text(QStringLiteral("Project file: ") + in.project->projectFile, 8);
    page.text(QStringLiteral("Range: ") + timeText(in.from) + QStringLiteral(" to ") +
                  timeText(in.to),
              10);
    QStringList names;
    for (const QString &serial : in.serials) {
        const HistoryLogger *l = in.project->logger(serial);
        names.append((l ? l->label.name : serial) + QStringLiteral(" (") + serial +
                     QLatin1Char(')'));
    }
    page.text(QStringLiteral("Loggers: ") + names.join(QStringLiteral(", ")), 10);
    page.skip(1);

    HistoryQuery query(in.database, in.summary);
    QVector<HistorySeries> series;
    for (int i = 0; i < in.serials.size(); ++i) {
        const HistoryLogger *l = in.project->logger(in.serials[i]);
        HistorySeries s;
        s.name = l ? l->label.name : in.serials[i];
        s.color = HistoryChart::seriesColor(i);
        s.buckets = query.buckets(in.serials[i], in.from, in.to, CHART_WIDTH - 100);
        series.append(s);
    }
    for (int ch = 0; ch < 2; ++ch) {
        HistoryChart chart(ch);
        chart.resize(CHART_WIDTH, CHART_HEIGHT);
        chart.setTimeRange(in.from, in.to);
        QVector<HistorySeries> channelSeries = series;
        for (int i = 0; i < channelSeries.size(); ++i) {
            const HistoryLogger *l = in.project->logger(in.serials[i]);
            channelSeries[i].unit = l ? l->label.unit[ch] : QString();
        }
        chart.setTitle(QStringLiteral("Channel %1").arg(ch + 1));
        chart.setSeries(channelSeries, in.project->intervalSeconds);
        chart.legend->setVisible(true);
        chart.legend->setBrush(QColor(0x30, 0x30, 0x30));
        chart.legend->setTextColor(Qt::white);
        chart.legend->setBorderPen(Qt::NoPen);
        page.text(QStringLiteral("Channel %1").arg(ch + 1), 11, true);
        page.chart(&chart);
    }

    writer.newPage();
    page = Page(&writer, &painter);
    page.text(QStringLiteral("Statistics"), 13, true);
    const QVector<double> widths{0.16, 0.1, 0.05, 0.07, 0.07, 0.07, 0.07, 0.07, 0.12, 0.12, 0.07};
    page.cells(statisticsHeader(), widths, true);
    for (const QString &serial : in.serials) {
        const HistoryLogger *l = in.project->logger(serial);
        const HistoryStatistics *s = in.statistics ? in.statistics->of(serial) : nullptr;
        if (!l || !s)
            continue;
        for (int ch = 0; ch < 2; ++ch)
            page.cells(statisticsCells(*l, ch, s->channel(ch)), widths, false);
    }
    page.skip(1);
    page.text(QStringLiteral("Alarm events"), 13, true);
    bool hasLog = false;
    const QStringList events = alarmEvents(in, &hasLog);
    if (!hasLog)
        page.text(QStringLiteral("This database keeps no event log."), 9);
    else if (events.isEmpty())
        page.text(QStringLiteral("No alarm events in this range."), 9);
    for (const QString &line : events)
        page.text(line, 8);
    painter.end();
    return true;
}
