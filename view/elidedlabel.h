#pragma once

#include <QLabel>

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
};
