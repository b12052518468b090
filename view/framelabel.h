#pragma once

#include <QLabel>

// A label drawn on a value frame: the value and its unit. On a frame it paints the frame's
// gradient under itself and so paints opaquely: Qt then repaints neither the frame under a
// label whose text changed nor the label a second time with the frame in a page's first paint.
// Elsewhere it is a plain label.
class FrameLabel : public QLabel
{
    Q_OBJECT

public:
    explicit FrameLabel(QWidget *parent = nullptr);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void followParent();
    // What QLabel would paint is plain text alone, with no frame.
    bool isPlainText() const;
};
