#pragma once

#include <QSpinBox>

// One octet of an IPv4 address. Typing "." asks to move on to the next octet; the spin box
// itself never accepts the period, so the number stays clean.
class IpaddrSpinBox : public QSpinBox
{
    Q_OBJECT

public:
    explicit IpaddrSpinBox(QWidget *parent = nullptr);

signals:
    void nextStep();

protected:
    void keyReleaseEvent(QKeyEvent *event) override;
};
