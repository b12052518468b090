#pragma once

#include "view/framelabel.h"

#include <QFont>
#include <QLabel>
#include <QSize>
#include <QString>

// What a label's font was last fitted to. Fitting the same text to the same size again would
// set the font it already has, and every setFont() on a styled label resolves its style sheet
// and lays the tile out again: switching to a dashboard refits 64 labels.
class FittedFont
{
public:
    // Fits the label's font to its text, less the margins; nothing when nothing changed.
    void fit(QLabel *label, int marginWidth, int marginHeight);

private:
    QString m_strText;
    QSize m_size;
    QFont m_font;
    bool m_bValid = false;
};

// A value label whose font follows its size: the text fills the label, less a small margin.
class ResizeLabel : public FrameLabel
{
    Q_OBJECT

public:
    explicit ResizeLabel(QWidget *parent = nullptr);

    // Callers refit after a text change only when the length changed, so the digits of a
    // value keep their size from sample to sample.
    void fitFont();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    FittedFont m_fitted;
};

// Scales font to make text fill (availableWidth x availableHeight); the magnitudes of the
// ratios are used, so a label smaller than its margins still gets a positive size.
// Returns false (font untouched) for an empty text.
bool fitLabelFont(QFont *font, const QString &text, int availableWidth, int availableHeight);
