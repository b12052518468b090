#pragma once

#include <QFrame>

// A frame with no frame shape, only a styled background: QFrame would still set up a palette
// for its frame in every paint when a style sheet applies, and a dashboard page repaints
// dozens of these at once.
class FlatFrame : public QFrame
{
    Q_OBJECT

public:
    explicit FlatFrame(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
