#pragma once

#include "view/charttext.h"

#include <qcustomplot.h>

// The chart's dynamic layer: a list of lines, dots and texts drawn over the finished chart.
// It is cleared and refilled on every mouse move; the chart below is not rebuilt for that.
class ChartOverlay : public QCPLayerable
{
    Q_OBJECT

public:
    ChartOverlay(QCustomPlot *plot, QCPLayer *layer);

    void clear();
    void addLine(QLine line, const QPen &pen);
    void addCircle(QPoint center, int radius, const QColor &color);
    void addText(const TextBlock &block, QPoint pos, Qt::Alignment align);

    QStringList texts() const;
    void paint(QPainter *painter) const;

protected:
    void applyDefaultAntialiasingHint(QCPPainter *painter) const override;
    void draw(QCPPainter *painter) override;

private:
    struct Line
    {
        QLine line;
        QPen pen;
    };
    struct Circle
    {
        QPoint center;
        int radius;
        QColor color;
    };
    struct Text
    {
        TextBlock block;
        QPoint pos;
        Qt::Alignment align;
    };
    QVector<Line> m_lines;
    QVector<Circle> m_circles;
    QVector<Text> m_texts;
};
