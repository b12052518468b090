#pragma once

#include <QLabel>

// A value label whose font follows its size: the text fills the label, less a small margin.
class ResizeLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ResizeLabel(QWidget *parent = nullptr);

    // Callers refit after a text change only when the length changed, so the digits of a
    // value keep their size from sample to sample.
    void fitFont();

protected:
    void resizeEvent(QResizeEvent *event) override;
};

// Scales font to make text fill (availableWidth x availableHeight); the magnitudes of the
// ratios are used, so a label smaller than its margins still gets a positive size.
// Returns false (font untouched) for an empty text.
bool fitLabelFont(QFont *font, const QString &text, int availableWidth, int availableHeight);
