#include "view/chartoverlay.h"

ChartOverlay::ChartOverlay(QCustomPlot *plot, QCPLayer *layer) : QCPLayerable(plot, layer->name())
{
    setLayer(layer);
}

void ChartOverlay::clear()
{
    m_lines.clear();
    m_circles.clear();
    m_texts.clear();
}

void ChartOverlay::addLine(QLine line, const QPen &pen)
{
    m_lines.append({line, pen});
}

void ChartOverlay::addCircle(QPoint center, int radius, const QColor &color)
{
    m_circles.append({center, radius, color});
}

void ChartOverlay::addText(const TextBlock &block, QPoint pos, Qt::Alignment align)
{
    m_texts.append({block, pos, align});
}

QStringList ChartOverlay::texts() const
{
    QStringList list;
    for (const Text &t : m_texts)
        list.append(t.block.plainText());
    return list;
}

void ChartOverlay::paint(QPainter *painter) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    for (const Line &l : m_lines) {
        painter->setPen(l.pen);
        painter->drawLine(l.line);
    }
    painter->setRenderHint(QPainter::Antialiasing, true);
    for (const Circle &c : m_circles) {
        painter->setPen(c.color);
        painter->setBrush(c.color);
        painter->drawEllipse(c.center, c.radius, c.radius);
    }
    painter->setRenderHint(QPainter::TextAntialiasing, true);
    for (const Text &t : m_texts)
        t.block.draw(painter, t.pos, t.align);
    painter->restore();
}

void ChartOverlay::applyDefaultAntialiasingHint(QCPPainter *painter) const
{
    applyAntialiasingHint(painter, true, QCP::aeOther);
}

void ChartOverlay::draw(QCPPainter *painter)
{
    paint(painter);
}
