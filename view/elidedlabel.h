#pragma once

#include <QFont>
#include <QLabel>
#include <QString>

// A one-line name that never asks for more width than it gets: what does not fit ends in
// "…", and the whole name is the tool tip. text() stays the whole name.
class ElidedLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    void setText(const QString &text);
    // The text as painted at the current width.
    QString shownText() const;

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // The elided text of the last paint and what it was elided for: eliding shapes the text,
    // and a tile's name is painted again with every page shown.
    mutable QString m_strShown;
    mutable QString m_strShownOf;
    mutable int m_nShownWidth = -1;
    mutable QFont m_shownFont;
};
