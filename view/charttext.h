#pragma once

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QString>
#include <QVector>

class QPainter;

// One piece of overlay text: plain, on a coloured background, or led by a legend icon.
struct TextRun
{
    QString text;
    QColor color;      // invalid: the block's colour
    QColor background; // invalid: none
    QColor icon;       // valid: a legend icon in this colour before the text
};

// A line of overlay text made of runs, measured and drawn as one piece.
struct TextBlock
{
    QFont font;
    QColor color = Qt::white;
    QVector<TextRun> runs;

    QString plainText() const;
    int width() const;
    int height() const;
    // Draws the block so that its bounding box sits at pos according to align
    // (left/right/hcenter, top/bottom/vcenter).
    void draw(QPainter *painter, QPoint pos, Qt::Alignment align) const;
};

// The chart fonts: "arial.ttf" and "arialbd.ttf" in points; Arial where installed, otherwise a
// metric-compatible sans.
QFont chartFont(const QString &fontFile, double pointSize);
