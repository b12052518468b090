#pragma once

#include <QWidget>

class QLabel;

// Holds a label whose size follows its text in the label's place in its parent's box layout,
// and passes a new text on to the layouts only when the label's size hints changed. Qt lays out
// a label's parent, and from there every layout up to the window, after each setText(): the
// detail view's values change with every sample, nearly always to a text of the same size.
// The layout sees the label's own hints and size policy, so it places it as before.
class LabelHost : public QWidget
{
    Q_OBJECT

public:
    // Puts a host in place of the label's item in its parent's box layout; nothing for a label
    // that is not in one.
    static LabelHost *install(QLabel *label);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

protected:
    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    explicit LabelHost(QLabel *label, QWidget *parent);
    void checkHints();

    QLabel *m_pLabel;
    // What the layout was last told.
    mutable QSize m_hint;
    mutable QSize m_minimumHint;
};
