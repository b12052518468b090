#pragma once

#include <QWidgetItem>

class QLabel;

// The layout's place for a label whose size the layout alone decides (size policy Ignored both
// ways, so its text never changes the layout). The label is kept at a fixed size, the size the
// layout gives it: Qt re-lays out a label's parent, and from there every layout up to the
// window, after each setText() of a label that may change size. With 32 value labels updated
// every second that was a relayout of the whole window per batch of tiles.
class LabelSlot : public QWidgetItem
{
public:
    // Puts the label's slot in place of its item in its parent's box layout; does nothing for
    // a label that is not in one or whose size policy is not Ignored both ways.
    static void install(QLabel *label);

    QSize sizeHint() const override;
    QSize minimumSize() const override;
    QSize maximumSize() const override;
    void setGeometry(const QRect &rect) override;

private:
    explicit LabelSlot(QLabel *label);
};
