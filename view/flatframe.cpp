#include "view/flatframe.h"

FlatFrame::FlatFrame(QWidget *parent) : QFrame(parent) {}

void FlatFrame::paintEvent(QPaintEvent *event)
{
    // The styled background is drawn before the paint event; without a shape there is no more.
    if (frameShape() != QFrame::NoFrame)
        QFrame::paintEvent(event);
}
