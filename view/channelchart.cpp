#include "view/channelchart.h"

#include "device/devicetypes.h"
#include "view/xychart.h"

#include <QPen>

namespace {

constexpr quint32 BACKGROUND = 0x595959;
constexpr quint32 PLOT_TOP = 0x595959;
constexpr quint32 PLOT_BOTTOM = 0x303030;
constexpr quint32 GRID = 0x80303030;
constexpr quint32 AXIS = 0x80C0C0C0;
constexpr quint32 AXIS_LABEL = 0x80F4F4F4;
constexpr quint32 TRACK_LINE = 0x80F4F4F4;
constexpr quint32 X_LABEL_BACKGROUND = 0x373737;
constexpr quint32 X_LABEL_TEXT = 0xE6E6E6;
constexpr double TEXT_SIZE = 8;

TextBlock block(const QString &fontFile, QVector<TextRun> runs)
{
    TextBlock b;
    b.font = chartFont(fontFile, TEXT_SIZE);
    b.color = Qt::white;
    b.runs = std::move(runs);
    return b;
}

double maxStepOf(int intervalMs)
{
    return 1.5 * intervalMs / 1000.0;
}

int spanOf(int intervalMs)
{
    return (intervalMs * CHART_POINTS) / 1000;
}

} // namespace

XYChart *buildChannelChart(int labelWidth, int labelHeight, const double *time,
                           const double *values, quint32 color, const QString &name, int intervalMs)
{
    const int width = labelWidth - 10;
    auto *chart = new XYChart(width, labelHeight, BACKGROUND);
    chart->setDefaultFont(QStringLiteral("arial.ttf"));
    chart->setPlotArea(45, 25, width - 50, labelHeight - 55, PLOT_TOP, PLOT_BOTTOM, 25,
                       chart->height() - 15, GRID);
    chart->setXAxisStyle(75, 2, AXIS, AXIS_LABEL);
    chart->setYAxisStyle(2, AXIS, AXIS_LABEL);

    const double newest = time[CHART_POINTS - 1];
    if (newest != NO_VALUE) {
        const int span = spanOf(intervalMs);
        chart->setDateScale(newest - span, newest, QStringLiteral("hh:mm:ss"));
        // Samples further apart than one and a half intervals had polling paused or the
        // logger silent between them: a line across would show values nobody measured.
        chart->addLineLayer(time, CHART_POINTS, maxStepOf(intervalMs));
        chart->addDataSet(values, color, name);
    }
    return chart;
}

bool advanceChannelChart(XYChart *chart, int labelWidth, int labelHeight, const double *time,
                         const double *values, int intervalMs)
{
    const double newest = time[CHART_POINTS - 1];
    if (chart->width() != qMax(1, labelWidth - 10) || chart->height() != qMax(1, labelHeight) ||
        newest == NO_VALUE || !chart->hasLayer() || chart->maxStep() != maxStepOf(intervalMs) ||
        !chart->advanceLineLayer(time, {values}))
        return false;
    chart->setXRange(newest - spanOf(intervalMs), newest);
    return true;
}

void drawTrackLine(XYChart *chart, int mouseX, const QString &intervalText)
{
    chart->initDynamicLayer();
    const QRect plot = chart->plotArea();
    const int plotLeft = plot.left();
    const int plotTop = plot.top();
    const int plotRight = plot.left() + plot.width();
    const int plotBottom = plot.top() + plot.height();

    const double xValue = chart->nearestXValue(mouseX);
    const int xCoor = chart->xCoor(xValue);

    QPen dash(XYChart::color(TRACK_LINE), 1);
    dash.setDashPattern({1, 7});
    chart->dynamicLine(QLine(xCoor, plotTop, xCoor, plotBottom), dash);

    const TextBlock xLabel =
        block(QStringLiteral("arialbd.ttf"),
              {{QLatin1Char(' ') + chart->formatXValue(xValue, QStringLiteral("hh:mm:ss")) +
                    QLatin1Char(' '),
                XYChart::color(X_LABEL_TEXT), XYChart::color(X_LABEL_BACKGROUND), QColor()}});
    const int xLabelWidth = xLabel.width();
    const int xLabelLeft = qMax(0, qMin(xCoor - xLabelWidth / 2, chart->width() - xLabelWidth));
    chart->dynamicText(xLabel, QPoint(xLabelLeft, plotBottom + 6), Qt::AlignLeft | Qt::AlignTop);

    QVector<TextRun> legend;
    const int xIndex = chart->xIndexOf(xValue);
    for (int i = 0; i < chart->dataSetCount(); ++i) {
        const quint32 color = chart->dataSetColor(i);
        const QString name = chart->dataSetName(i);
        if (name.isEmpty() || color == XYChart::Transparent)
            continue;
        const double value = chart->dataSetValue(i, xIndex);
        const QString valueText =
            value == NO_VALUE ? QStringLiteral("N/A") : QString::number(value, 'f', 2);
        const QColor qColor = XYChart::color(color);
        const TextRun valueRun{QLatin1Char(' ') + valueText + QLatin1Char(' '), QColor(), qColor,
                               QColor()};
        // Data sets drawn later lie on top, so the legend names them first.
        legend.prepend(valueRun);
        legend.prepend(
            {QLatin1Char(' ') + name + QStringLiteral(": "), QColor(), QColor(), qColor});

        const int yCoor = chart->yCoor(value);
        if (yCoor >= plotTop && yCoor <= plotBottom) {
            chart->dynamicCircle(QPoint(xCoor, yCoor), 4, color);
            const TextBlock label = block(QStringLiteral("arialbd.ttf"), {valueRun});
            if (xCoor <= (plotLeft + plotRight) / 2)
                chart->dynamicText(label, QPoint(xCoor + 5, yCoor),
                                   Qt::AlignLeft | Qt::AlignVCenter);
            else
                chart->dynamicText(label, QPoint(xCoor - 5, yCoor),
                                   Qt::AlignRight | Qt::AlignVCenter);
        }
    }
    chart->dynamicText(block(QStringLiteral("arialbd.ttf"), legend),
                       QPoint(plotLeft + 5, plotTop - 3), Qt::AlignLeft | Qt::AlignBottom);

    const QString date = chart->formatXValue(xValue, QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    chart->dynamicText(
        block(QStringLiteral("arial.ttf"),
              {{QStringLiteral("[ ") + date + QStringLiteral(" ]"), QColor(), QColor(), QColor()}}),
        QPoint(plotLeft + 100, plotTop - 3), Qt::AlignLeft | Qt::AlignBottom);

    chart->dynamicText(block(QStringLiteral("arial.ttf"),
                             {{QStringLiteral("View Length : ") + QString::number(CHART_POINTS) +
                                   QStringLiteral(" samples"),
                               QColor(), QColor(), QColor()},
                              {QStringLiteral("   Interval : ") + intervalText + QLatin1Char(' '),
                               QColor(), QColor(), QColor()}}),
                       QPoint(plotRight - 240, plotTop - 3), Qt::AlignLeft | Qt::AlignBottom);
}
