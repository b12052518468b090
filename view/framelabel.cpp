#include "view/framelabel.h"

#include "view/valueframe.h"

#include <QEvent>
#include <QPaintEvent>

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

void FrameLabel::paintEvent(QPaintEvent *event)
{
    if (testAttribute(Qt::WA_OpaquePaintEvent))
        ValueFrame::paintUnder(this, event->rect());
    QLabel::paintEvent(event);
}
