#include "view/resizelabelunit.h"

#include "view/resizelabel.h"

ResizeLabelUnit::ResizeLabelUnit(QWidget *parent) : QLabel(parent) {}

void ResizeLabelUnit::fitFont()
{
    QFont f = font();
    if (fitLabelFont(&f, text(), width(), height()))
        setFont(f);
}

void ResizeLabelUnit::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    fitFont();
}
