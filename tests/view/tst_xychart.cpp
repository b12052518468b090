#include "device/devicetypes.h"
#include "device/pollinterval.h"
#include "view/channelchart.h"
#include "view/xychart.h"

#include <QDateTime>
#include <QImage>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

constexpr double NEWEST = 1700000000.0;
constexpr int LABEL_W = 410;
constexpr int LABEL_H = 250;

struct Samples
{
    double time[CHART_POINTS];
    double values[CHART_POINTS];
};

Samples samples(int intervalMs, int firstFilled = 0)
{
    Samples s;
    for (int i = 0; i < CHART_POINTS; ++i) {
        const bool filled = i >= firstFilled;
        s.time[i] = filled ? NEWEST - (CHART_POINTS - 1 - i) * intervalMs / 1000.0 : NO_VALUE;
        s.values[i] = filled ? 20.0 + 3.0 * std::sin(i / 15.0) : NO_VALUE;
    }
    return s;
}

bool isRed(QRgb p)
{
    return qRed(p) > 170 && qGreen(p) < 90 && qBlue(p) < 90;
}

// Red pixels of the column range [x1, x2) inside the plot area.
int redPixels(const QImage &image, const QRect &plot, int x1, int x2)
{
    int count = 0;
    for (int x = qMax(x1, plot.left()); x < qMin(x2, plot.left() + plot.width()); ++x)
        for (int y = plot.top(); y < plot.top() + plot.height(); ++y)
            count += isRed(image.pixel(x, y)) ? 1 : 0;
    return count;
}

std::unique_ptr<XYChart> chartOf(const Samples &s, int intervalMs)
{
    return std::unique_ptr<XYChart>(
        buildChannelChart(LABEL_W, LABEL_H, s.time, s.values, 0xFF0000, "CH1", intervalMs));
}

} // namespace

class TestXYChart : public QObject
{
    Q_OBJECT

private slots:
    // A chart moved on sample by sample shows exactly what one built from the final buffers
    // shows: the same 240-point window, gaps and scales.
    void advancingByOneSampleMatchesARebuild_data()
    {
        QTest::addColumn<int>("firstFilled");
        QTest::addColumn<int>("steps");
        QTest::addColumn<bool>("pause");
        QTest::addColumn<bool>("missing");
        QTest::newRow("full window, 300 samples") << 0 << 300 << false << false;
        QTest::newRow("filling up") << 200 << 20 << false << false;
        QTest::newRow("a pause and a missing value") << 0 << 30 << true << true;
    }

    void advancingByOneSampleMatchesARebuild()
    {
        QFETCH(int, firstFilled);
        QFETCH(int, steps);
        QFETCH(bool, pause);
        QFETCH(bool, missing);
        Samples s = samples(1000, firstFilled);
        auto chart = chartOf(s, 1000);
        for (int step = 1; step <= steps; ++step) {
            std::copy(s.time + 1, s.time + CHART_POINTS, s.time);
            std::copy(s.values + 1, s.values + CHART_POINTS, s.values);
            s.time[CHART_POINTS - 1] = s.time[CHART_POINTS - 2] + (pause && step == 5 ? 60 : 1);
            s.values[CHART_POINTS - 1] =
                missing && step == 9 ? NO_VALUE : 20.0 + 5.0 * std::cos(step / 7.0);
            QVERIFY(advanceChannelChart(chart.get(), LABEL_W, LABEL_H, s.time, s.values, 1000));
        }
        // The newest value replaced at the same time.
        s.values[CHART_POINTS - 1] = 31.5;
        QVERIFY(advanceChannelChart(chart.get(), LABEL_W, LABEL_H, s.time, s.values, 1000));

        auto rebuilt = chartOf(s, 1000);
        QCOMPARE(chart->xAxisRange().lower, rebuilt->xAxisRange().lower);
        QCOMPARE(chart->yAxisRange().upper, rebuilt->yAxisRange().upper);
        QCOMPARE(chart->dataSetValue(0, 0), s.values[0]);
        QCOMPARE(chart->dataSetValue(0, CHART_POINTS - 1), 31.5);
        QCOMPARE(chart->render().toImage(), rebuilt->render().toImage());
    }

    void otherSamplesOrAnotherSizeAreNotAdvanced()
    {
        Samples s = samples(1000);
        auto chart = chartOf(s, 1000);
        const Samples other = samples(1000, 10);
        QVERIFY(
            !advanceChannelChart(chart.get(), LABEL_W, LABEL_H, other.time, other.values, 1000));
        QVERIFY(!advanceChannelChart(chart.get(), LABEL_W + 20, LABEL_H, s.time, s.values, 1000));
        QVERIFY(!advanceChannelChart(chart.get(), LABEL_W, LABEL_H, s.time, s.values, 5000));
        QCOMPARE(chart->render().toImage(), chartOf(s, 1000)->render().toImage());
    }
    void chartTakesTheLabelSizeLessTheRightStrip()
    {
        const Samples s = samples(5000);
        auto chart = chartOf(s, 5000);
        QCOMPARE(chart->width(), LABEL_W - 10);
        QCOMPARE(chart->height(), LABEL_H);
        QCOMPARE(chart->plotArea(), QRect(45, 25, LABEL_W - 60, LABEL_H - 55));
        const QImage image = chart->render().toImage();
        QCOMPARE(image.size(), QSize(LABEL_W - 10, LABEL_H));
        QCOMPARE(QColor(image.pixel(2, 2)), QColor(0x59, 0x59, 0x59));
    }

    void channelLineIsDrawnInItsColour()
    {
        const Samples s = samples(5000);
        auto chart = chartOf(s, 5000);
        const QImage image = chart->render().toImage();
        const QRect plot = chart->plotArea();
        QVERIFY(redPixels(image, plot, plot.left(), plot.left() + plot.width()) > 300);
        QVERIFY(chart->yAxisRange().lower < 17.0 && chart->yAxisRange().upper > 23.0);
    }

    void missingValueLeavesAGapInTheLine_data()
    {
        QTest::addColumn<bool>("paused");
        QTest::newRow("samples without value") << false;
        QTest::newRow("no samples for longer than 1.5 intervals") << true;
    }

    void missingValueLeavesAGapInTheLine()
    {
        QFETCH(bool, paused);
        Samples s = samples(5000);
        if (paused) {
            // Polling paused for 150 s between samples 100 and 101.
            for (int i = 0; i <= 100; ++i)
                s.time[i] -= 145;
        } else {
            for (int i = 100; i <= 130; ++i)
                s.values[i] = NO_VALUE;
        }
        auto chart = chartOf(s, 5000);
        // Far off the data, so a marker value taken as a number would wreck the scale.
        QVERIFY(chart->yAxisRange().upper < 100);
        const QImage image = chart->render().toImage();
        const QRect plot = chart->plotArea();
        const int gapStart = chart->xCoor(s.time[100]) + 2;
        const int gapEnd = chart->xCoor(s.time[paused ? 101 : 130]);
        QCOMPARE(redPixels(image, plot, gapStart, gapEnd), 0);
        QVERIFY(redPixels(image, plot, plot.left(), gapStart - 4) > 50);
        QVERIFY(redPixels(image, plot, gapEnd + 4, plot.left() + plot.width()) > 50);
    }

    void nothingIsDrawnBeforeTheFirstSample()
    {
        const Samples s = samples(5000, 200);
        auto chart = chartOf(s, 5000);
        const QImage image = chart->render().toImage();
        const QRect plot = chart->plotArea();
        const int first = chart->xCoor(s.time[200]);
        QCOMPARE(redPixels(image, plot, plot.left(), first - 1), 0);
        QVERIFY(redPixels(image, plot, first, plot.left() + plot.width()) > 20);
    }

    void emptyChartHasNoLineAndAnEmptyLegend()
    {
        const Samples s = samples(5000, CHART_POINTS);
        auto chart = chartOf(s, 5000);
        QVERIFY(!chart->hasLayer());
        const QRect plot = chart->plotArea();
        drawTrackLine(chart.get(), plot.left() + plot.width(), intervalText(5000));
        const QImage image = chart->render().toImage();
        QCOMPARE(redPixels(image, plot, 0, image.width()), 0);
        const QStringList texts = chart->dynamicTexts();
        QVERIFY(texts.contains(QString()));
        QVERIFY(texts.contains("View Length : 240 samples   Interval : 5 sec "));
    }

    void trackLineNamesTheSampleAndItsValue()
    {
        const Samples s = samples(5000);
        auto chart = chartOf(s, 5000);
        drawTrackLine(chart.get(), chart->xCoor(s.time[60]), intervalText(5000));
        const QDateTime when = QDateTime::fromSecsSinceEpoch(qint64(s.time[60]));
        const QString value = QString::number(s.values[60], 'f', 2);
        const QStringList texts = chart->dynamicTexts();
        QVERIFY(texts.contains(" " + when.toString("hh:mm:ss") + " "));
        QVERIFY(texts.contains("[ " + when.toString("yyyy-MM-dd hh:mm:ss") + " ]"));
        QVERIFY(texts.contains(" CH1:  " + value + " "));
        QVERIFY(texts.contains(" " + value + " "));
    }

    void trackLineOnAGapShowsNotAvailableAndNoValueLabel()
    {
        Samples s = samples(5000);
        for (int i = 100; i <= 130; ++i)
            s.values[i] = NO_VALUE;
        auto chart = chartOf(s, 5000);
        drawTrackLine(chart.get(), chart->xCoor(s.time[115]), intervalText(5000));
        const QStringList texts = chart->dynamicTexts();
        QVERIFY(texts.contains(" CH1:  N/A "));
        QVERIFY(!texts.contains(" N/A "));
    }

    void valueLabelSitsRightOfTheDotOnTheLeftHalfAndLeftOfItOnTheRightHalf()
    {
        const Samples s = samples(5000);
        for (int index : {40, 200}) {
            auto chart = chartOf(s, 5000);
            const QImage base = chart->render().toImage();
            const int x = chart->xCoor(s.time[index]);
            const int y = chart->yCoor(s.values[index]);
            drawTrackLine(chart.get(), x, intervalText(5000));
            const QImage withTrack = chart->render().toImage();
            int left = 0;
            int right = 0;
            for (int dy = -4; dy <= 4; ++dy) {
                for (int dx = 8; dx < 40; ++dx) {
                    auto added = [&](int px) {
                        return isRed(withTrack.pixel(px, y + dy)) && !isRed(base.pixel(px, y + dy));
                    };
                    left += added(x - dx) ? 1 : 0;
                    right += added(x + dx) ? 1 : 0;
                }
            }
            if (index == 40) {
                QVERIFY2(right > 50 && left == 0,
                         qPrintable(QString("%1 %2").arg(left).arg(right)));
            } else {
                QVERIFY2(left > 50 && right == 0,
                         qPrintable(QString("%1 %2").arg(left).arg(right)));
            }
        }
    }

    void redrawingTheTrackLineLeavesTheChartBelowUnchanged()
    {
        const Samples s = samples(5000);
        auto chart = chartOf(s, 5000);
        const QImage before = chart->render().toImage();
        drawTrackLine(chart.get(), chart->xCoor(s.time[120]), intervalText(5000));
        QVERIFY(chart->render().toImage() != before);
        chart->initDynamicLayer();
        QCOMPARE(chart->render().toImage(), before);
    }

    // New data is drawn in one pass with the track line, a track move over the kept chart
    // below: both show the same pixels, and an image still held is never drawn over.
    void oneDrawAndTrackMoveShowTheSame()
    {
        Samples s = samples(1000);
        auto chart = chartOf(s, 1000);
        const int trackX = chart->xCoor(s.time[200]);
        drawTrackLine(chart.get(), trackX, intervalText(1000));
        const QPixmap held = chart->render();
        const QImage heldImage = held.toImage();
        drawTrackLine(chart.get(), trackX, intervalText(1000));
        QCOMPARE(chart->render().toImage(), heldImage);

        std::copy(s.time + 1, s.time + CHART_POINTS, s.time);
        std::copy(s.values + 1, s.values + CHART_POINTS, s.values);
        s.time[CHART_POINTS - 1] = s.time[CHART_POINTS - 2] + 1;
        s.values[CHART_POINTS - 1] = 30;
        QVERIFY(advanceChannelChart(chart.get(), LABEL_W, LABEL_H, s.time, s.values, 1000));
        drawTrackLine(chart.get(), trackX, intervalText(1000));
        const QImage moved = chart->render().toImage();
        drawTrackLine(chart.get(), trackX, intervalText(1000));
        QCOMPARE(chart->render().toImage(), moved);
        QVERIFY(moved != heldImage);
        QCOMPARE(held.toImage(), heldImage);
    }
};

QTEST_MAIN(TestXYChart)
#include "tst_xychart.moc"
