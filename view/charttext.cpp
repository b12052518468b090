#include "view/charttext.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QVarLengthArray>

namespace {

constexpr int ICON_WIDTH = 12;
constexpr int ICON_GAP = 2;

QString chartFontFamily()
{
    static const QString family = QFontDatabase::families().contains(QStringLiteral("Arial"))
                                      ? QStringLiteral("Arial")
                                      : QStringLiteral("Liberation Sans");
    return family;
}

int runWidth(const QFontMetrics &metrics, const TextRun &run)
{
    int w = metrics.horizontalAdvance(run.text);
    if (run.icon.isValid())
        w += ICON_WIDTH + ICON_GAP;
    return w;
}

} // namespace

QFont chartFont(const QString &fontFile, double pointSize)
{
    QFont font(chartFontFamily());
    // Chart sizes are points on a 96 dpi raster, whatever the screen says.
    font.setPixelSize(qMax(1, qRound(pointSize * 96.0 / 72.0)));
    font.setBold(fontFile.startsWith(QLatin1String("arialbd"), Qt::CaseInsensitive));
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QString TextBlock::plainText() const
{
    QString text;
    for (const TextRun &run : runs)
        text += run.text;
    return text;
}

int TextBlock::width() const
{
    const QFontMetrics metrics(font);
    int w = 0;
    for (const TextRun &run : runs)
        w += runWidth(metrics, run);
    return w;
}

int TextBlock::height() const
{
    return QFontMetrics(font).height();
}

void TextBlock::draw(QPainter *painter, QPoint pos, Qt::Alignment align) const
{
    const QFontMetrics metrics(font);
    // Measuring shapes the text: each run is measured once, for the block's width and its place.
    QVarLengthArray<int, 8> advances;
    int w = 0;
    for (const TextRun &run : runs) {
        advances.append(metrics.horizontalAdvance(run.text));
        w += advances.last() + (run.icon.isValid() ? ICON_WIDTH + ICON_GAP : 0);
    }
    const int h = metrics.height();
    int x = pos.x();
    if (align & Qt::AlignRight)
        x -= w;
    else if (align & Qt::AlignHCenter)
        x -= w / 2;
    int y = pos.y();
    if (align & Qt::AlignBottom)
        y -= h;
    else if (align & Qt::AlignVCenter)
        y -= h / 2;

    painter->save();
    painter->setFont(font);
    for (int i = 0; i < runs.size(); ++i) {
        const TextRun &run = runs[i];
        if (run.icon.isValid()) {
            painter->fillRect(QRect(x, y + h / 2 - 1, ICON_WIDTH, 3), run.icon);
            x += ICON_WIDTH + ICON_GAP;
        }
        const int advance = advances[i];
        if (run.background.isValid())
            painter->fillRect(QRect(x, y, advance, h), run.background);
        painter->setPen(run.color.isValid() ? run.color : color);
        painter->drawText(QPoint(x, y + metrics.ascent()), run.text);
        x += advance;
    }
    painter->restore();
}
