#include "view/resizelabelunit.h"

#include "view/resizelabel.h"

ResizeLabelUnit::ResizeLabelUnit(QWidget *parent) : FrameLabel(parent) {}

void ResizeLabelUnit::fitFont()
{
    m_fitted.fit(this, 0, 0);
}

void ResizeLabelUnit::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    fitFont();
}
