#include "view/historychart.h"

#include "view/chartoverlay.h"

#include <QDateTime>
#include <QTimer>

#include <cmath>

namespace {

const QColor BACKGROUND(0x30, 0x30, 0x30);
const QColor FOREGROUND(0xE6, 0xE6, 0xE6);
const QColor GRID(0x50, 0x50, 0x50);
const QString TRACK_LAYER = QStringLiteral("track");
constexpr int SETTLE_MS = 150;
// Zooming in stops at a minute across the chart.
constexpr double MIN_SPAN = 60;

void styleAxis(QCPAxis *axis)
{
    axis->setBasePen(QPen(FOREGROUND));
    axis->setTickPen(QPen(FOREGROUND));
    axis->setSubTickPen(QPen(FOREGROUND));
    axis->setTickLabelColor(FOREGROUND);
    axis->setLabelColor(FOREGROUND);
    axis->grid()->setPen(QPen(GRID, 1, Qt::DotLine));
}

TextBlock textBlock(const QVector<TextRun> &runs)
{
    TextBlock b;
    b.font = chartFont(QStringLiteral("arialbd.ttf"), 8);
    b.color = FOREGROUND;
    b.runs = runs;
    return b;
}

} // namespace

HistoryChart::HistoryChart(int channel, QWidget *parent) : QCustomPlot(parent), m_nChannel(channel)
{
    setBackground(BACKGROUND);
    axisRect()->setBackground(QColor(0x3A, 0x3A, 0x3A));
    styleAxis(xAxis);
    styleAxis(yAxis);
    auto ticker = QSharedPointer<QCPAxisTickerDateTime>::create();
    ticker->setDateTimeFormat(QStringLiteral("yyyy-MM-dd\nhh:mm"));
    ticker->setTickCount(6);
    xAxis->setTicker(ticker);
    setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    axisRect()->setRangeDrag(Qt::Horizontal);
    axisRect()->setRangeZoom(Qt::Horizontal);
    setMinimumHeight(160);

    addLayer(TRACK_LAYER, layer(QStringLiteral("overlay")), QCustomPlot::limAbove);
    layer(TRACK_LAYER)->setMode(QCPLayer::lmBuffered);
    m_pOverlay = new ChartOverlay(this, layer(TRACK_LAYER));

    m_pMessage = new QCPItemText(this);
    m_pMessage->position->setType(QCPItemPosition::ptAxisRectRatio);
    m_pMessage->position->setCoords(0.5, 0.5);
    m_pMessage->setColor(FOREGROUND);
    m_pMessage->setFont(chartFont(QStringLiteral("arial.ttf"), 11));
    m_pMessage->setVisible(false);

    m_pSettle = new QTimer(this);
    m_pSettle->setSingleShot(true);
    m_pSettle->setInterval(SETTLE_MS);
    connect(m_pSettle, &QTimer::timeout, this, [this] {
        const QCPRange r = xAxis->range();
        emit rangeRequested(qint64(std::floor(r.lower)), qint64(std::ceil(r.upper)));
    });
    connect(xAxis, qOverload<const QCPRange &>(&QCPAxis::rangeChanged), this,
            &HistoryChart::onRangeChanged);
}

QColor HistoryChart::seriesColor(int index)
{
    static const QColor colors[] = {QColor(0x4F, 0xC3, 0xF7), QColor(0xFF, 0xB7, 0x4D),
                                    QColor(0x81, 0xC7, 0x84), QColor(0xE5, 0x73, 0x73),
                                    QColor(0xBA, 0x68, 0xC8), QColor(0xFF, 0xF1, 0x76),
                                    QColor(0x4D, 0xB6, 0xAC), QColor(0xF0, 0x62, 0x92)};
    return colors[index % 8];
}

void HistoryChart::onRangeChanged(const QCPRange &range)
{
    if (m_bSettingRange)
        return;
    if (range.size() < MIN_SPAN) {
        const double middle = range.center();
        m_bSettingRange = true;
        xAxis->setRange(middle - MIN_SPAN / 2, middle + MIN_SPAN / 2);
        m_bSettingRange = false;
    }
    updateTickFormat();
    m_pSettle->start();
}

void HistoryChart::updateTickFormat()
{
    const double span = xAxis->range().size();
    auto ticker = qSharedPointerCast<QCPAxisTickerDateTime>(xAxis->ticker());
    ticker->setDateTimeFormat(span <= 2 * 3600          ? QStringLiteral("hh:mm:ss")
                              : span <= 3 * 86400       ? QStringLiteral("MM-dd\nhh:mm")
                              : span <= 2 * 365 * 86400 ? QStringLiteral("yyyy-MM-dd")
                                                        : QStringLiteral("yyyy-MM"));
}

void HistoryChart::setTimeRange(qint64 from, qint64 to)
{
    m_bSettingRange = true;
    xAxis->setRange(double(from), double(qMax(to, from + 1)));
    m_bSettingRange = false;
    updateTickFormat();
    m_pSettle->stop();
}

void HistoryChart::setTitle(const QString &title)
{
    yAxis->setLabel(title);
}

void HistoryChart::setMessage(const QString &text)
{
    m_pMessage->setText(text);
    m_pMessage->setVisible(!text.isEmpty());
}

int HistoryChart::plotColumns() const
{
    const int width = axisRect()->width();
    return width > 10 ? width : qMax(100, this->width() - 80);
}

void HistoryChart::setSeries(const QVector<HistorySeries> &series, qint64 intervalSeconds)
{
    m_series = series;
    clearGraphs();
    bool haveRange = false;
    QCPRange values;
    for (const HistorySeries &s : series) {
        QCPGraph *graph = addGraph();
        // A cosmetic one-pixel pen: wider pens stroke a dense zigzag many times slower.
        graph->setPen(QPen(s.color, 1));
        graph->setName(s.name);
        const QVector<HistoryPoint> points = historyLine(s.buckets, m_nChannel, intervalSeconds);
        QVector<QCPGraphData> data;
        data.reserve(points.size());
        for (const HistoryPoint &p : points) {
            data.append(QCPGraphData(p.time, p.value));
            if (std::isnan(p.value))
                continue;
            if (!haveRange)
                values = QCPRange(p.value, p.value);
            values.expand(p.value);
            haveRange = true;
        }
        // Sparse lines get dots, so that a lone sample between two gaps is seen.
        if (data.size() < plotColumns() / 4)
            graph->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, 4));
        graph->data()->set(data, true);
    }
    if (haveRange) {
        const double pad = qMax(0.5, values.size() * 0.08);
        yAxis->setRange(values.lower - pad, values.upper + pad);
    }
    m_pOverlay->clear();
    layer(TRACK_LAYER)->replot();
    replot();
}

QStringList HistoryChart::trackAt(int x)
{
    m_pOverlay->clear();
    const QRect plot = axisRect()->rect();
    if (x < plot.left() || x > plot.right() || m_series.isEmpty()) {
        layer(TRACK_LAYER)->replot();
        return {};
    }
    const double time = xAxis->pixelToCoord(x);
    QPen dash(FOREGROUND, 1);
    dash.setDashPattern({1, 5});
    m_pOverlay->addLine(QLine(x, plot.top(), x, plot.bottom()), dash);
    m_pOverlay->addText(textBlock({{QLatin1Char(' ') +
                                        QDateTime::fromSecsSinceEpoch(qint64(time))
                                            .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) +
                                        QLatin1Char(' '),
                                    QColor(), QColor(0x20, 0x20, 0x20), QColor()}}),
                        QPoint(x, plot.bottom() - 2), Qt::AlignHCenter | Qt::AlignBottom);
    QVector<TextRun> legend;
    for (const HistorySeries &s : m_series) {
        // The bucket nearest in time to the mouse.
        const HistoryBucket *nearest = nullptr;
        double distance = 0;
        for (const HistoryBucket &b : s.buckets) {
            if (b.valueCount[m_nChannel] == 0)
                continue;
            const double d = time < b.firstTime  ? b.firstTime - time
                             : time > b.lastTime ? time - b.lastTime
                                                 : 0;
            if (!nearest || d < distance) {
                nearest = &b;
                distance = d;
            }
        }
        QString text = QStringLiteral("N/A");
        if (nearest && distance <= qMax<double>(60, xAxis->range().size() / plotColumns() * 2)) {
            const double lo = nearest->minimum[m_nChannel];
            const double hi = nearest->maximum[m_nChannel];
            text = lo == hi ? QString::number(lo, 'f', 2)
                            : QString::number(lo, 'f', 2) + QStringLiteral("..") +
                                  QString::number(hi, 'f', 2);
            const int y = int(yAxis->coordToPixel(hi));
            m_pOverlay->addCircle(QPoint(x, y), 3, s.color);
        }
        legend.append(
            {QLatin1Char(' ') + s.name + QStringLiteral(": "), QColor(), QColor(), s.color});
        legend.append(
            {text + QLatin1Char(' ') + s.unit + QLatin1Char(' '), QColor(), QColor(), QColor()});
    }
    m_pOverlay->addText(textBlock(legend), QPoint(plot.left() + 4, plot.top() + 2),
                        Qt::AlignLeft | Qt::AlignTop);
    layer(TRACK_LAYER)->replot();
    return m_pOverlay->texts();
}

void HistoryChart::mouseMoveEvent(QMouseEvent *event)
{
    QCustomPlot::mouseMoveEvent(event);
    trackAt(int(event->position().x()));
}

void HistoryChart::leaveEvent(QEvent *event)
{
    QCustomPlot::leaveEvent(event);
    m_pOverlay->clear();
    layer(TRACK_LAYER)->replot();
}
