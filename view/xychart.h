#pragma once

#include "view/charttext.h"

#include <QBrush>
#include <QColor>
#include <QPixmap>
#include <QRect>
#include <QStringList>
#include <QVector>

#include <memory>

class ChartOverlay;
class QCustomPlot;
class QPaintDevice;
class QPainter;
class QPen;

// An XY line chart painted where it is shown: a plot area at a fixed place, a date-scaled x axis,
// an automatic y axis, named line data sets with gaps at the no-value marker, and a dynamic layer
// that can be redrawn without rebuilding the chart.
//
// Colours are chart colours: 0xAARRGGBB where AA is the transparency (00 opaque, FF invisible).
class XYChart
{
public:
    struct Range
    {
        double lower = 0;
        double upper = 0;
    };

    static constexpr quint32 Transparent = 0xFF000000;
    static QColor color(quint32 chartColor);

    XYChart(int width, int height, quint32 bgColor);
    ~XYChart();
    XYChart(const XYChart &) = delete;
    XYChart &operator=(const XYChart &) = delete;

    int width() const { return m_width; }
    int height() const { return m_height; }

    void setDefaultFont(const QString &fontFile, double pointSize = 8);
    // The plot area with a vertical background gradient from gradientY1 to gradientY2 and the
    // grid colour of both axes.
    void setPlotArea(int left, int top, int width, int height, quint32 gradientTop,
                     quint32 gradientBottom, int gradientY1, int gradientY2, quint32 gridColor);
    QRect plotArea() const { return m_plotArea; }

    void setXAxisStyle(int majorTickPixels, int width, quint32 axisColor, quint32 labelColor);
    void setYAxisStyle(int width, quint32 axisColor, quint32 labelColor);
    // Date axis over chart time (UNIX seconds, shown in local time); labelFormat is a
    // QDateTime format.
    void setDateScale(double from, double to, const QString &labelFormat);
    // Moves the x axis, keeping its scale and labels.
    void setXRange(double from, double to);
    Range xAxisRange() const;
    Range yAxisRange() const;

    // The line layer: x data for all data sets; points whose x is the no-value marker are
    // left out, values that are the marker leave a gap, and so does a step in x larger than
    // maxStep (when maxStep is above 0): no line is drawn where no sample was taken.
    void addLineLayer(const double *x, int count, double maxStep = 0);
    void addDataSet(const double *values, quint32 color, const QString &name);
    bool hasLayer() const { return !m_x.isEmpty(); }
    double maxStep() const { return m_maxStep; }
    // Takes new x data and data set values (one array per data set, as many points as the
    // layer) that are the layer's own moved on by at most one point: the oldest point
    // dropped and a newest appended, or only the newest point's values changed. Only that
    // point's line changes; the rest of the data stays. Returns false, changing nothing,
    // for any other data.
    bool advanceLineLayer(const double *x, const QVector<const double *> &values);
    int dataSetCount() const { return m_dataSets.size(); }
    QString dataSetName(int dataSet) const;
    quint32 dataSetColor(int dataSet) const;
    double dataSetValue(int dataSet, int index) const;

    // Pixel <-> value mapping of the last layout.
    double nearestXValue(double pixelX) const;
    int xIndexOf(double xValue) const;
    int xCoor(double xValue) const;
    // A y pixel far outside the chart for the no-value marker.
    int yCoor(double value) const;
    QString formatXValue(double xValue, const QString &format) const;

    // The dynamic layer.
    void initDynamicLayer();
    void dynamicLine(QLine line, const QPen &pen);
    void dynamicCircle(QPoint center, int radius, quint32 color);
    void dynamicText(const TextBlock &block, QPoint pos, Qt::Alignment align);
    QStringList dynamicTexts() const;

    // Paints the chart with its dynamic layer at (0, 0) of a device of the chart's size (a
    // widget in its paint event, a pixmap). The chart is drawn straight onto the device; it is
    // kept apart from the dynamic layer only when that layer alone changes (the mouse moving over
    // a chart that has not changed since).
    void paint(QPaintDevice *device);
    // The chart painted into a new pixmap.
    QPixmap render();
    // Whether the chart covers every pixel of its area opaquely.
    bool isOpaque() const { return m_background.alpha() == 255; }

private:
    struct DataSet
    {
        QVector<double> values;
        quint32 color;
        QString name;
    };
    struct BaseLine
    {
        int width = 0;
        QColor color;
    };
    class Plot;
    void invalidate();
    void drawChart(QPaintDevice *device);
    void paintBaseLines(QPainter *painter) const;
    void updateYRange();
    double xPixel(double xValue) const;

    int m_width;
    int m_height;
    QRect m_plotArea;
    QColor m_background;
    QBrush m_plotBackground;
    bool m_plotBackgroundOpaque = false;
    BaseLine m_xBase;
    BaseLine m_yBase;
    std::unique_ptr<Plot> m_plot;
    ChartOverlay *m_overlay = nullptr;
    QVector<double> m_x;
    double m_maxStep = 0;
    QVector<DataSet> m_dataSets;
    QPixmap m_base;
    bool m_baseValid = false;
    bool m_drawnWhole = false;
};
