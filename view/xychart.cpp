#include "view/xychart.h"

#include "device/devicetypes.h"
#include "view/chartoverlay.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QHash>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

const QString TRACK_LAYER = QStringLiteral("track");

// Far outside any plot area, so range checks against the plot reject it.
constexpr int OFF_CHART = -1000000;

bool isNoValue(double v)
{
    return std::isnan(v) || v >= NO_VALUE;
}

void styleAxis(QCPAxis *axis, const QColor &axisColor, const QColor &labelColor)
{
    // The base line is painted by the chart (paintBaseLines()).
    axis->setBasePen(Qt::NoPen);
    axis->setTickPen(QPen(axisColor, 1));
    axis->setSubTickPen(QPen(axisColor, 1));
    axis->setTickLength(0, 4);
    axis->setSubTickLength(0, 2);
    axis->setTickLabelColor(labelColor);
}

// QCustomPlot keeps the rendered tick labels of an axis in a cache of 16, fewer than a wide
// time axis shows: each render would then push out the labels it needs next and draw them all
// anew. The cache is not public, so it is reached through the classes that hold it.
struct AxisAccess : QCPAxis
{
    static QCPAxisPainterPrivate *painter(QCPAxis *axis)
    {
        return axis->*(&AxisAccess::mAxisPainter);
    }
};

struct LabelCacheAccess : QCPAxisPainterPrivate
{
    static void setSize(QCPAxisPainterPrivate *painter, int labels)
    {
        (painter->*(&LabelCacheAccess::mLabelCache)).setMaxCost(labels);
    }
};

constexpr int TICK_LABEL_CACHE = 96;

// Qt's raster engine hands a fill of more than 95 rows to the global thread pool and waits for
// it. Waking a pool thread costs the GUI thread more than painting a chart's few hundred rows
// itself, so the tall pieces the chart paints go in bands below that.
constexpr int FILL_BAND_ROWS = 95;

void fillInBands(QPainter *painter, const QRectF &rect, const QBrush &brush)
{
    for (double y = rect.top(); y < rect.bottom(); y += FILL_BAND_ROWS)
        painter->fillRect(
            QRectF(rect.left(), y, rect.width(), qMin<double>(FILL_BAND_ROWS, rect.bottom() - y)),
            brush);
}

// The time axis moves on by one sample at a time, so nearly every tick it shows was shown by the
// render before: each tick's date and time is formatted once, not with every sample.
class CachedDateTimeTicker : public QCPAxisTickerDateTime
{
protected:
    QString getTickLabel(double tick, const QLocale &locale, QChar formatChar,
                         int precision) override
    {
        const auto known = m_labels.constFind(tick);
        if (known != m_labels.cend())
            return *known;
        if (m_labels.size() >= MAX_LABELS)
            m_labels.clear();
        const QString label =
            QCPAxisTickerDateTime::getTickLabel(tick, locale, formatChar, precision);
        m_labels.insert(tick, label);
        return label;
    }

private:
    static constexpr int MAX_LABELS = 256;
    QHash<double, QString> m_labels;
};

} // namespace

// Draws the whole chart into a pixmap the chart keeps, so a new sample allocates nothing and the
// axes reuse their rendered tick labels (toPixmap() turns that cache off).
class XYChart::Plot : public QCustomPlot
{
public:
    void drawOn(QCPPainter *painter) { draw(painter); }
};

QColor XYChart::color(quint32 chartColor)
{
    QColor c = QColor::fromRgb(chartColor & 0xFFFFFF);
    c.setAlpha(255 - int(chartColor >> 24));
    return c;
}

XYChart::XYChart(int width, int height, quint32 bgColor)
    : m_width(qMax(1, width)), m_height(qMax(1, height)), m_plotArea(0, 0, m_width, m_height),
      m_background(color(bgColor)), m_plot(std::make_unique<Plot>())
{
    // The plot widget is never shown: it queues a first replot into on-screen buffers when
    // constructed, which would only cost time here.
    QCoreApplication::removePostedEvents(m_plot.get(), QEvent::MetaCall);
    // Adding a layer sets up QCustomPlot's paint buffers at the viewport's size, a few
    // megabytes of pixmaps filled at once for a wide chart. The chart draws into its own
    // pixmaps and never uses them, so they are set up while the viewport is one pixel.
    m_plot->setViewport(QRect(0, 0, 1, 1));
    m_plot->addLayer(TRACK_LAYER, m_plot->layer(QStringLiteral("overlay")), QCustomPlot::limAbove);
    m_plot->setViewport(QRect(0, 0, m_width, m_height));
    // The chart has no legend: an entry per line would only be measured with every draw.
    m_plot->setAutoAddPlottableToLegend(false);
    QCPLayer *track = m_plot->layer(TRACK_LAYER);
    track->setMode(QCPLayer::lmBuffered);
    m_overlay = new ChartOverlay(m_plot.get(), track);
    for (QCPAxis *axis : {m_plot->xAxis, m_plot->yAxis})
        LabelCacheAccess::setSize(AxisAccess::painter(axis), TICK_LABEL_CACHE);
    m_plot->axisRect()->setAutoMargins(QCP::msNone);
    m_plot->axisRect()->setMargins(QMargins(0, 0, 0, 0));
    setDefaultFont(QStringLiteral("arial.ttf"));
}

XYChart::~XYChart() = default;

void XYChart::setDefaultFont(const QString &fontFile, double pointSize)
{
    const QFont font = chartFont(fontFile, pointSize);
    m_plot->setFont(font);
    for (QCPAxis *axis : {m_plot->xAxis, m_plot->yAxis}) {
        axis->setTickLabelFont(font);
        axis->setLabelFont(font);
    }
    invalidate();
}

void XYChart::setPlotArea(int left, int top, int width, int height, quint32 gradientTop,
                          quint32 gradientBottom, int gradientY1, int gradientY2, quint32 gridColor)
{
    m_plotArea = QRect(left, top, qMax(1, width), qMax(1, height));
    QCPAxisRect *rect = m_plot->axisRect();
    rect->setMargins(QMargins(left, top, qMax(0, m_width - left - m_plotArea.width()),
                              qMax(0, m_height - top - m_plotArea.height())));
    QLinearGradient gradient(0, gradientY1, 0, gradientY2);
    gradient.setColorAt(0, color(gradientTop));
    gradient.setColorAt(1, color(gradientBottom));
    m_plotBackground = QBrush(gradient);
    m_plotBackgroundOpaque =
        color(gradientTop).alpha() == 255 && color(gradientBottom).alpha() == 255;
    rect->setBackground(Qt::NoBrush);
    const QPen gridPen(color(gridColor), 1, Qt::SolidLine);
    for (QCPAxis *axis : {m_plot->xAxis, m_plot->yAxis}) {
        axis->grid()->setPen(gridPen);
        axis->grid()->setZeroLinePen(gridPen);
    }
    invalidate();
}

void XYChart::setXAxisStyle(int majorTickPixels, int width, quint32 axisColor, quint32 labelColor)
{
    styleAxis(m_plot->xAxis, color(axisColor), color(labelColor));
    m_xBase = {width, color(axisColor)};
    m_plot->xAxis->ticker()->setTickCount(qMax(2, m_plotArea.width() / qMax(1, majorTickPixels)));
    invalidate();
}

void XYChart::setYAxisStyle(int width, quint32 axisColor, quint32 labelColor)
{
    styleAxis(m_plot->yAxis, color(axisColor), color(labelColor));
    m_yBase = {width, color(axisColor)};
    invalidate();
}

void XYChart::setDateScale(double from, double to, const QString &labelFormat)
{
    auto ticker = QSharedPointer<CachedDateTimeTicker>::create();
    ticker->setDateTimeFormat(labelFormat);
    ticker->setTickCount(m_plot->xAxis->ticker()->tickCount());
    m_plot->xAxis->setTicker(ticker);
    m_plot->xAxis->setRange(from, to);
    invalidate();
}

void XYChart::setXRange(double from, double to)
{
    m_plot->xAxis->setRange(from, to);
    invalidate();
}

XYChart::Range XYChart::xAxisRange() const
{
    const QCPRange r = m_plot->xAxis->range();
    return {r.lower, r.upper};
}

XYChart::Range XYChart::yAxisRange() const
{
    const QCPRange r = m_plot->yAxis->range();
    return {r.lower, r.upper};
}

void XYChart::addLineLayer(const double *x, int count, double maxStep)
{
    m_x = QVector<double>(x, x + count);
    m_maxStep = maxStep;
    invalidate();
}

void XYChart::addDataSet(const double *values, quint32 color, const QString &name)
{
    DataSet set{QVector<double>(values, values + m_x.size()), color, name};
    QVector<double> keys;
    QVector<double> data;
    keys.reserve(m_x.size());
    data.reserve(m_x.size());
    for (int i = 0; i < m_x.size(); ++i) {
        if (isNoValue(m_x[i]))
            continue;
        if (m_maxStep > 0 && !keys.isEmpty() && m_x[i] - keys.last() > m_maxStep) {
            keys.append((keys.last() + m_x[i]) / 2);
            data.append(std::numeric_limits<double>::quiet_NaN());
        }
        keys.append(m_x[i]);
        data.append(isNoValue(set.values[i]) ? std::numeric_limits<double>::quiet_NaN()
                                             : set.values[i]);
    }
    QCPGraph *graph = m_plot->addGraph(m_plot->xAxis, m_plot->yAxis);
    graph->setPen(QPen(XYChart::color(color), 1));
    graph->setName(name);
    graph->setData(keys, data);
    m_dataSets.append(set);
    updateYRange();
    invalidate();
}

bool XYChart::advanceLineLayer(const double *x, const QVector<const double *> &values)
{
    const int n = m_x.size();
    if (n < 2 || values.size() != m_dataSets.size())
        return false;
    const auto same = [](const double *a, const double *b, int count) {
        return std::equal(a, a + count, b);
    };
    bool shifted = false;
    if (same(x, m_x.constData(), n))
        shifted = false;
    else if (same(x, m_x.constData() + 1, n - 1))
        shifted = true;
    else
        return false;
    const int kept = shifted ? 1 : 0;
    for (int d = 0; d < m_dataSets.size(); ++d) {
        if (!same(values[d], m_dataSets[d].values.constData() + kept, n - 1))
            return false;
    }

    const double newest = x[n - 1];
    if (isNoValue(newest))
        return false;
    if (!shifted) {
        bool changed = false;
        for (int d = 0; d < m_dataSets.size(); ++d)
            changed = changed || values[d][n - 1] != m_dataSets[d].values[n - 1];
        if (!changed)
            return true;
    }
    if (shifted) {
        m_x.removeFirst();
        m_x.append(newest);
    }
    // The first sample still in the window: older line points, and the gap marker before it,
    // go.
    const auto firstKey =
        std::find_if(m_x.cbegin(), m_x.cend(), [](double v) { return !isNoValue(v); });
    const double previous = m_x[n - 2];
    const bool gap =
        shifted && m_maxStep > 0 && !isNoValue(previous) && newest - previous > m_maxStep;
    for (int d = 0; d < m_dataSets.size(); ++d) {
        DataSet &set = m_dataSets[d];
        const double value = values[d][n - 1];
        QSharedPointer<QCPGraphDataContainer> data = m_plot->graph(d)->data();
        if (shifted) {
            set.values.removeFirst();
            set.values.append(value);
            data->removeBefore(*firstKey);
            if (gap)
                data->add(QCPGraphData((previous + newest) / 2,
                                       std::numeric_limits<double>::quiet_NaN()));
        } else {
            set.values.last() = value;
            data->remove(newest);
        }
        data->add(QCPGraphData(newest, isNoValue(value) ? std::numeric_limits<double>::quiet_NaN()
                                                        : value));
    }
    updateYRange();
    invalidate();
    return true;
}

void XYChart::updateYRange()
{
    double low = std::numeric_limits<double>::max();
    double high = std::numeric_limits<double>::lowest();
    for (const DataSet &set : qAsConst(m_dataSets)) {
        for (int i = 0; i < set.values.size(); ++i) {
            if (isNoValue(m_x[i]) || isNoValue(set.values[i]))
                continue;
            low = qMin(low, set.values[i]);
            high = qMax(high, set.values[i]);
        }
    }
    if (low > high)
        return;
    const double span = high - low;
    const double pad = span > 0 ? span * 0.05 : qMax(1.0, qAbs(low) * 0.05);
    m_plot->yAxis->setRange(low - pad, high + pad);
}

QString XYChart::dataSetName(int dataSet) const
{
    return m_dataSets.value(dataSet).name;
}

quint32 XYChart::dataSetColor(int dataSet) const
{
    return dataSet >= 0 && dataSet < m_dataSets.size() ? m_dataSets[dataSet].color : Transparent;
}

double XYChart::dataSetValue(int dataSet, int index) const
{
    if (dataSet < 0 || dataSet >= m_dataSets.size() || index < 0 ||
        index >= m_dataSets[dataSet].values.size())
        return NO_VALUE;
    return m_dataSets[dataSet].values[index];
}

double XYChart::nearestXValue(double pixelX) const
{
    bool found = false;
    double best = 0;
    double bestDistance = 0;
    for (double x : m_x) {
        if (isNoValue(x))
            continue;
        const double distance = qAbs(xPixel(x) - pixelX);
        if (!found || distance < bestDistance) {
            found = true;
            best = x;
            bestDistance = distance;
        }
    }
    if (found)
        return best;
    const QCPRange r = m_plot->xAxis->range();
    return r.lower + (pixelX - m_plotArea.left()) / m_plotArea.width() * r.size();
}

int XYChart::xIndexOf(double xValue) const
{
    return m_x.indexOf(xValue);
}

double XYChart::xPixel(double xValue) const
{
    const QCPRange r = m_plot->xAxis->range();
    return m_plotArea.left() + (xValue - r.lower) / r.size() * m_plotArea.width();
}

int XYChart::xCoor(double xValue) const
{
    if (isNoValue(xValue) || m_plot->xAxis->range().size() == 0)
        return OFF_CHART;
    return qRound(xPixel(xValue));
}

int XYChart::yCoor(double value) const
{
    const QCPRange r = m_plot->yAxis->range();
    if (isNoValue(value) || r.size() == 0)
        return OFF_CHART;
    return qRound(m_plotArea.bottom() - (value - r.lower) / r.size() * m_plotArea.height());
}

QString XYChart::formatXValue(double xValue, const QString &format) const
{
    return QDateTime::fromMSecsSinceEpoch(qRound64(xValue * 1000.0)).toString(format);
}

void XYChart::initDynamicLayer()
{
    m_overlay->clear();
}

void XYChart::dynamicLine(QLine line, const QPen &pen)
{
    m_overlay->addLine(line, pen);
}

void XYChart::dynamicCircle(QPoint center, int radius, quint32 chartColor)
{
    m_overlay->addCircle(center, radius, color(chartColor));
}

void XYChart::dynamicText(const TextBlock &block, QPoint pos, Qt::Alignment align)
{
    m_overlay->addText(block, pos, align);
}

QStringList XYChart::dynamicTexts() const
{
    return m_overlay->texts();
}

void XYChart::invalidate()
{
    m_baseValid = false;
    m_drawnWhole = false;
}

void XYChart::paint(QPaintDevice *device)
{
    QCPLayer *track = m_plot->layer(TRACK_LAYER);
    track->setVisible(false);
    if (!m_baseValid && !m_drawnWhole) {
        drawChart(device);
        m_drawnWhole = true;
    } else {
        if (!m_baseValid) {
            if (m_base.size() != QSize(m_width, m_height))
                m_base = QPixmap(m_width, m_height);
            drawChart(&m_base);
            m_baseValid = true;
        }
        QPainter copy(device);
        copy.setCompositionMode(QPainter::CompositionMode_Source);
        copy.drawPixmap(0, 0, m_base);
    }
    track->setVisible(true);
    QPainter painter(device);
    m_overlay->paint(&painter);
}

QPixmap XYChart::render()
{
    QPixmap image(m_width, m_height);
    paint(&image);
    return image;
}

void XYChart::drawChart(QPaintDevice *device)
{
    // Each pixel is written once: the part an opaque plot area covers is not filled first.
    const QRect whole(0, 0, m_width, m_height);
    const QRect plot = m_plotArea;
    const bool plotCovers =
        m_plotBackgroundOpaque && m_background.alpha() == 255 && whole.contains(plot);
    QCPPainter painter(device);
    if (plotCovers) {
        const QRect margins[] = {
            QRect(0, 0, m_width, plot.top()), QRect(0, plot.top(), plot.left(), plot.height()),
            QRect(plot.right() + 1, plot.top(), m_width - plot.right() - 1, plot.height()),
            QRect(0, plot.bottom() + 1, m_width, m_height - plot.bottom() - 1)};
        for (const QRect &margin : margins) {
            if (!margin.isEmpty())
                painter.fillRect(margin, m_background);
        }
    } else {
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        fillInBands(&painter, whole, m_background);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    fillInBands(&painter, plot, m_plotBackground);
    m_plot->drawOn(&painter);
    paintBaseLines(&painter);
}

// What QCustomPlot draws for the bottom and left axes' base lines: a line of the axis width with
// square ends along the plot area's bottom and left edges.
void XYChart::paintBaseLines(QPainter *painter) const
{
    const QPointF origin(m_plotArea.left(), m_plotArea.top() + m_plotArea.height() - 1);
    if (m_xBase.width > 0 && m_xBase.color.alpha() > 0) {
        const double half = m_xBase.width / 2.0;
        painter->fillRect(QRectF(origin.x() - half, origin.y() - half,
                                 m_plotArea.width() + m_xBase.width, m_xBase.width),
                          m_xBase.color);
    }
    if (m_yBase.width > 0 && m_yBase.color.alpha() > 0) {
        const double half = m_yBase.width / 2.0;
        fillInBands(painter,
                    QRectF(origin.x() - half, origin.y() - m_plotArea.height() - half,
                           m_yBase.width, m_plotArea.height() + m_yBase.width),
                    m_yBase.color);
    }
}
