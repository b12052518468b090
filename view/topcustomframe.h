#pragma once

#include <QFrame>
#include <QPoint>

// The main window's top bar: reports presses, moves and double clicks, so the frameless
// window can be dragged and maximised from it. Points are global screen positions.
class TopCustomFrame : public QFrame
{
    Q_OBJECT

public:
    explicit TopCustomFrame(QWidget *parent = nullptr);

signals:
    void customClick(QPoint globalPos);
    void customMove(QPoint globalPos);
    void customDoubleClick();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};
