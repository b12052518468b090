#include "view/topcustomframe.h"

#include <QMouseEvent>

TopCustomFrame::TopCustomFrame(QWidget *parent) : QFrame(parent) {}

void TopCustomFrame::mousePressEvent(QMouseEvent *event)
{
    emit customClick(event->globalPosition().toPoint());
}

void TopCustomFrame::mouseMoveEvent(QMouseEvent *event)
{
    emit customMove(event->globalPosition().toPoint());
}

void TopCustomFrame::mouseDoubleClickEvent(QMouseEvent *event)
{
    Q_UNUSED(event);
    emit customDoubleClick();
}
