#pragma once

#include "view/framelabel.h"
#include "view/resizelabel.h"

#include <QLabel>

// The unit next to a value: scales its font like ResizeLabel, but without margins.
class ResizeLabelUnit : public FrameLabel
{
    Q_OBJECT

public:
    explicit ResizeLabelUnit(QWidget *parent = nullptr);

    void fitFont();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    FittedFont m_fitted;
};
