#include "view/elidedlabel.h"

#include <QPainter>
#include <QStyle>

ElidedLabel::ElidedLabel(QWidget *parent) : QLabel(parent) {}

// Tiles set their name with every new value: an unchanged name must not send a tool tip
// change through the widget's event handling each time.
void ElidedLabel::setText(const QString &text)
{
    if (text == QLabel::text() && toolTip() == text)
        return;
    QLabel::setText(text);
    setToolTip(text);
}

QString ElidedLabel::shownText() const
{
    const int width = contentsRect().width();
    if (width != m_nShownWidth || text() != m_strShownOf || font() != m_shownFont) {
        m_strShown = fontMetrics().elidedText(text(), Qt::ElideRight, width);
        m_strShownOf = text();
        m_nShownWidth = width;
        m_shownFont = font();
    }
    return m_strShown;
}

// The whole name is the preferred width; any less is allowed.
QSize ElidedLabel::minimumSizeHint() const
{
    return QSize(0, QLabel::minimumSizeHint().height());
}

void ElidedLabel::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    // Without a frame shape QFrame draws nothing, yet with a style sheet it sets up a palette
    // for it in every paint.
    if (frameShape() != QFrame::NoFrame)
        drawFrame(&painter);
    style()->drawItemText(&painter, contentsRect(), int(alignment()), palette(), isEnabled(),
                          shownText(), foregroundRole());
}
