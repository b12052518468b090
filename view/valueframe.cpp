#include "view/valueframe.h"

#include <QApplication>
#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmapCache>
#include <QStyle>
#include <QStyleOption>

ValueFrame::ValueFrame(QWidget *parent) : FlatFrame(parent)
{
    // The kept pixmap covers the whole frame with an opaque gradient: Qt need not draw the
    // styled background, nor what lies under the frame.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ValueFrame::paintUnder(QWidget *label, const QRect &area)
{
    if (auto *frame = qobject_cast<ValueFrame *>(label->parentWidget()))
        frame->paintBackground(label, area);
}

void ValueFrame::paintBackground(QWidget *target, const QRect &area)
{
    renderBackground();
    const qreal ratio = m_background.devicePixelRatio();
    QPainter painter(target);
    painter.drawPixmap(
        area, m_background,
        QRectF(QPointF(target->mapTo(this, area.topLeft())) * ratio, QSizeF(area.size()) * ratio));
}

void ValueFrame::renderBackground()
{
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (!m_bStale && m_background.size() == pixels && m_keyParts.style == styleSheet())
        return;
    m_bStale = false;
    // The tiles of a dashboard share a handful of styles and one size: a page shown again
    // takes the gradients already drawn instead of drawing thirty-two anew in its first paint.
    // A widget with a style sheet of its own has a style object of its own: the key names the
    // application's style, which draws them all.
    const QColor fill = palette().color(backgroundRole());
    const KeyParts parts{objectName(), styleSheet(), pixels,
                         ratio,        fill.rgba(),  QApplication::style()};
    if (m_strKey.isEmpty() || !(parts == m_keyParts)) {
        m_keyParts = parts;
        m_strKey = QStringLiteral("ValueFrame %1 %2 %3x%4 %5 %6 %7")
                       .arg(parts.name, parts.style)
                       .arg(pixels.width())
                       .arg(pixels.height())
                       .arg(ratio)
                       .arg(parts.fill)
                       .arg(quintptr(parts.appStyle));
    }
    const QString &key = m_strKey;
    if (QPixmapCache::find(key, &m_background))
        return;
    m_background = QPixmap(pixels);
    m_background.setDevicePixelRatio(ratio);
    // What Qt itself draws as the background of a styled widget.
    m_background.fill(fill);
    {
        QPainter painter(&m_background);
        QStyleOption option;
        option.initFrom(this);
        style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    }
    QPixmapCache::insert(key, m_background);
}

void ValueFrame::paintEvent(QPaintEvent *event)
{
    paintBackground(this, event->rect());
    FlatFrame::paintEvent(event);
}

void ValueFrame::hideEvent(QHideEvent *event)
{
    m_background = QPixmap();
    m_bStale = true;
    FlatFrame::hideEvent(event);
}

void ValueFrame::changeEvent(QEvent *event)
{
    // A style sheet set here or on a parent, a palette or a style: the gradient may differ.
    switch (event->type()) {
    case QEvent::StyleChange:
    case QEvent::PaletteChange:
        m_bStale = true;
        break;
    default:
        break;
    }
    FlatFrame::changeEvent(event);
}
