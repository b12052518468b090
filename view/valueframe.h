#pragma once

#include "view/flatframe.h"

#include <QPixmap>
#include <QRgb>
#include <QSize>
#include <QString>

class QStyle;

// The coloured frame behind a channel's value (tiles and detail view). Its style sheet's
// gradient is drawn once per style and size into a pixmap shared by the frames that look the
// same; a repaint copies from it.
// Values change every second on every tile, and the transparent labels on the frame make Qt
// repaint the frame under them each time: computing the gradient anew per repaint (and
// resolving the style sheet's brushes) was the largest part of a dashboard's repaint. The value
// and unit labels on it (FrameLabel) copy their part of the pixmap themselves.
class ValueFrame : public FlatFrame
{
    Q_OBJECT

public:
    explicit ValueFrame(QWidget *parent = nullptr);

    // Paints the gradient of the frame a label lies on under the label's area (FrameLabel).
    static void paintUnder(QWidget *label, const QRect &area);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    // Only shown frames hold a pixmap; the shared ones stay in Qt's pixmap cache.
    void hideEvent(QHideEvent *event) override;

private:
    void renderBackground();
    // Paints the part of the gradient under area of target: the frame or a label on it.
    void paintBackground(QWidget *target, const QRect &area);

    QPixmap m_background;
    // What the kept pixmap was drawn for, and its key in the shared cache: a page shown again
    // looks its frames up without formatting their keys anew.
    struct KeyParts
    {
        QString name;
        QString style;
        QSize size;
        qreal ratio = 0;
        QRgb fill = 0;
        const QStyle *appStyle = nullptr;
        bool operator==(const KeyParts &other) const
        {
            return name == other.name && style == other.style && size == other.size &&
                   ratio == other.ratio && fill == other.fill && appStyle == other.appStyle;
        }
    };
    KeyParts m_keyParts;
    QString m_strKey;
    bool m_bStale = true;
};
