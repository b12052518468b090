#include "view/resizelabel.h"

#include <QFontMetricsF>
#include <QtMath>

bool fitLabelFont(QFont *font, const QString &text, int availableWidth, int availableHeight)
{
    if (text.isEmpty())
        return false;
    const QFontMetricsF metrics(*font);
    const qreal textWidth = metrics.horizontalAdvance(text);
    const qreal textHeight = metrics.height();
    if (textWidth <= 0 || textHeight <= 0)
        return false;
    const qreal widthRatio = qAbs(availableWidth / textWidth);
    const qreal heightRatio = qAbs(availableHeight / textHeight);
    const qreal scale = qMin(widthRatio, heightRatio);
    // Qt refuses a size of zero; keep the smallest positive one instead.
    if (font->pointSizeF() > 0)
        font->setPointSizeF(qMax(font->pointSizeF() * scale, 0.01));
    else
        font->setPixelSize(qMax(qRound(font->pixelSize() * scale), 1));
    return true;
}

ResizeLabel::ResizeLabel(QWidget *parent) : QLabel(parent) {}

void ResizeLabel::fitFont()
{
    QFont f = font();
    if (fitLabelFont(&f, text(), width() - 10, height() - 8))
        setFont(f);
}

void ResizeLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    fitFont();
}
