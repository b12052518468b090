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

void FittedFont::fit(QLabel *label, int marginWidth, int marginHeight)
{
    const QString text = label->text();
    const QSize size = label->size();
    if (m_bValid && text == m_strText && size == m_size && label->font() == m_font)
        return;
    QFont f = label->font();
    if (!fitLabelFont(&f, text, size.width() - marginWidth, size.height() - marginHeight))
        return;
    label->setFont(f);
    m_strText = text;
    m_size = size;
    m_font = label->font();
    m_bValid = true;
}

ResizeLabel::ResizeLabel(QWidget *parent) : FrameLabel(parent) {}

void ResizeLabel::fitFont()
{
    m_fitted.fit(this, 10, 8);
}

void ResizeLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    fitFont();
}
