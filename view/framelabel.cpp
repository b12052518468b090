#include "view/framelabel.h"

#include "view/valueframe.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QTextDocument>

FrameLabel::FrameLabel(QWidget *parent) : QLabel(parent)
{
    followParent();
}

void FrameLabel::followParent()
{
    setAttribute(Qt::WA_OpaquePaintEvent, qobject_cast<ValueFrame *>(parentWidget()) != nullptr);
}

bool FrameLabel::event(QEvent *event)
{
    const bool handled = QLabel::event(event);
    // Polishing with a style sheet clears the attribute again.
    switch (event->type()) {
    case QEvent::Polish:
    case QEvent::StyleChange:
    case QEvent::ParentChange:
        followParent();
        break;
    default:
        break;
    }
    return handled;
}

bool FrameLabel::isPlainText() const
{
    const Qt::TextInteractionFlags selectable =
        Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard | Qt::TextEditable;
    return frameShape() == QFrame::NoFrame && pixmap().isNull() && margin() == 0 && indent() <= 0 &&
           !wordWrap() && !buddy() && !(textInteractionFlags() & selectable) &&
           (textFormat() == Qt::PlainText ||
            (textFormat() == Qt::AutoText && !Qt::mightBeRichText(text())));
}

void FrameLabel::paintEvent(QPaintEvent *event)
{
    if (testAttribute(Qt::WA_OpaquePaintEvent))
        ValueFrame::paintUnder(this, event->rect());
    if (!isPlainText()) {
        QLabel::paintEvent(event);
        return;
    }
    // The text as QLabel draws plain text, without the frame it draws first even when it has
    // none: with a style sheet that sets up a palette in every paint, and values are painted
    // every second.
    QPainter painter(this);
    const bool rightToLeft = text().isRightToLeft();
    const int flags =
        int(QStyle::visualAlignment(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight, alignment())) |
        (rightToLeft ? Qt::TextForceRightToLeft : Qt::TextForceLeftToRight);
    style()->drawItemText(&painter, contentsRect(), flags, palette(), isEnabled(), text(),
                          foregroundRole());
}
