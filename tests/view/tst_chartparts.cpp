#include "device/devicetypes.h"
#include "device/pollinterval.h"
#include "view/channelchart.h"
#include "view/qchartviewer.h"
#include "view/qchartviewerlabel.h"
#include "view/resizelabel.h"
#include "view/resizelabelunit.h"
#include "view/topcustomframe.h"
#include "view/xychart.h"

#include <QDateTime>
#include <QFontMetricsF>
#include <QImage>
#include <QMouseEvent>
#include <QtTest>

#include <cmath>
#include <memory>

// The pieces of the detail view's charts: the chart itself, the viewer that shows it and
// follows the mouse, and the labels whose fonts follow their size.
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

void shiftIn(Samples &s, double seconds, double value)
{
    std::copy(s.time + 1, s.time + CHART_POINTS, s.time);
    std::copy(s.values + 1, s.values + CHART_POINTS, s.values);
    s.time[CHART_POINTS - 1] = s.time[CHART_POINTS - 2] + seconds;
    s.values[CHART_POINTS - 1] = value;
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

std::unique_ptr<XYChart> chartOf(const Samples &s, int intervalMs, int w = LABEL_W, int h = LABEL_H)
{
    return std::unique_ptr<XYChart>(
        buildChannelChart(w, h, s.time, s.values, 0xFF0000, "CH1", intervalMs));
}

QImage image(XYChart *chart)
{
    return chart->render().toImage();
}

void sendMouse(QWidget *w, QEvent::Type type, QPoint local, Qt::MouseButton button = Qt::NoButton)
{
    const QPointF global = w->mapToGlobal(QPointF(local));
    QMouseEvent event(type, QPointF(local), QPointF(local), global, button, button, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

// A viewer of an empty 300 x 200 chart (plot area at 45, 25, 250 x 145) on a clock of its own.
struct ViewerRig
{
    qint64 now = 1000;
    Samples none = samples(5000, CHART_POINTS);
    std::unique_ptr<XYChart> chart = chartOf(none, 5000, 310, 200);
    QChartViewer viewer;
    ViewerRig()
    {
        viewer.setClock([this] { return now; });
        viewer.setChart(chart.get());
    }
    void move(int x, int y, qint64 at)
    {
        now = at;
        sendMouse(&viewer, QEvent::MouseMove, QPoint(x, y));
    }
    void leave()
    {
        QEvent event(QEvent::Leave);
        QCoreApplication::sendEvent(&viewer, &event);
    }
};

QSizeF textSize(const QLabel &label)
{
    const QFontMetricsF metrics(label.font());
    return {metrics.horizontalAdvance(label.text()), metrics.height()};
}

} // namespace

class TestChartParts : public QObject
{
    Q_OBJECT

private slots:
    // A chart moved on sample by sample shows exactly what one built from the final buffers
    // shows; samples that are not its own moved on, another size or interval are refused.
    void advancingByOneSampleMatchesARebuild_data()
    {
        QTest::addColumn<int>("firstFilled");
        QTest::addColumn<int>("steps");
        QTest::addColumn<bool>("gaps");
        QTest::newRow("full window, 300 samples") << 0 << 300 << false;
        QTest::newRow("filling up") << 200 << 20 << false;
        QTest::newRow("a pause and a missing value") << 0 << 30 << true;
    }

    void advancingByOneSampleMatchesARebuild()
    {
        QFETCH(int, firstFilled);
        QFETCH(int, steps);
        QFETCH(bool, gaps);
        Samples s = samples(1000, firstFilled);
        auto chart = chartOf(s, 1000);
        for (int step = 1; step <= steps; ++step) {
            shiftIn(s, gaps && step == 5 ? 60 : 1,
                    gaps && step == 9 ? NO_VALUE : 20.0 + 5.0 * std::cos(step / 7.0));
            QVERIFY(advanceChannelChart(chart.get(), LABEL_W, LABEL_H, s.time, s.values, 1000));
        }
        // The newest value replaced at the same time.
        s.values[CHART_POINTS - 1] = 31.5;
        QVERIFY(advanceChannelChart(chart.get(), LABEL_W, LABEL_H, s.time, s.values, 1000));

        auto rebuilt = chartOf(s, 1000);
        QCOMPARE(chart->xAxisRange().lower, rebuilt->xAxisRange().lower);
        QCOMPARE(chart->yAxisRange().upper, rebuilt->yAxisRange().upper);
        QCOMPARE(chart->dataSetValue(0, CHART_POINTS - 1), 31.5);
        QCOMPARE(image(chart.get()), image(rebuilt.get()));

        const Samples other = samples(1000, 10);
        QVERIFY(
            !advanceChannelChart(chart.get(), LABEL_W, LABEL_H, other.time, other.values, 1000));
        QVERIFY(!advanceChannelChart(chart.get(), LABEL_W + 20, LABEL_H, s.time, s.values, 1000));
        QVERIFY(!advanceChannelChart(chart.get(), LABEL_W, LABEL_H, s.time, s.values, 5000));
        QCOMPARE(image(chart.get()), image(rebuilt.get()));
    }

    void theLineHasNoPixelWhereNoValueIs_data()
    {
        QTest::addColumn<int>("firstFilled");
        QTest::addColumn<bool>("paused");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::newRow("samples without value") << 0 << false << 100 << 130;
        QTest::newRow("no samples for longer than 1.5 intervals") << 0 << true << 100 << 101;
        QTest::newRow("before the first sample") << 200 << false << -1 << 200;
    }

    void theLineHasNoPixelWhereNoValueIs()
    {
        QFETCH(int, firstFilled);
        QFETCH(bool, paused);
        QFETCH(int, from);
        QFETCH(int, to);
        Samples s = samples(5000, firstFilled);
        for (int i = 0; i <= 100 && paused; ++i)
            s.time[i] -= 145;
        for (int i = from; i <= to && !paused && from >= 0; ++i)
            s.values[i] = NO_VALUE;
        auto chart = chartOf(s, 5000);
        // Far off the data, so a marker value taken as a number would wreck the scale.
        QVERIFY(chart->yAxisRange().upper < 100 && chart->yAxisRange().lower > 0);
        const QImage drawn = image(chart.get());
        const QRect plot = chart->plotArea();
        const int gapStart = from < 0 ? plot.left() : chart->xCoor(s.time[from]) + 2;
        const int gapEnd = chart->xCoor(s.time[to]) - (from < 0 ? 1 : 0);
        QCOMPARE(redPixels(drawn, plot, gapStart, gapEnd), 0);
        QVERIFY(from < 0 || redPixels(drawn, plot, plot.left(), gapStart - 4) > 50);
        QVERIFY(redPixels(drawn, plot, gapEnd + 4, plot.left() + plot.width()) > 20);
    }

    void trackLineNamesTheSampleAndItsValueOrNotAvailable()
    {
        Samples s = samples(5000);
        for (int i = 100; i <= 130; ++i)
            s.values[i] = NO_VALUE;
        auto chart = chartOf(s, 5000);
        drawTrackLine(chart.get(), chart->xCoor(s.time[60]), intervalText(5000));
        const QDateTime when = QDateTime::fromSecsSinceEpoch(qint64(s.time[60]));
        const QString value = QString::number(s.values[60], 'f', 2);
        QStringList texts = chart->dynamicTexts();
        QVERIFY(texts.contains(" " + when.toString("hh:mm:ss") + " "));
        QVERIFY(texts.contains("[ " + when.toString("yyyy-MM-dd hh:mm:ss") + " ]"));
        QVERIFY(texts.contains(" CH1:  " + value + " "));
        QVERIFY(texts.contains(" " + value + " "));
        QVERIFY(texts.contains("View Length : 240 samples   Interval : 5 sec "));

        drawTrackLine(chart.get(), chart->xCoor(s.time[115]), intervalText(5000));
        texts = chart->dynamicTexts();
        QVERIFY(texts.contains(" CH1:  N/A "));
        QVERIFY(!texts.contains(" N/A "));

        auto empty = chartOf(samples(5000, CHART_POINTS), 5000);
        QVERIFY(!empty->hasLayer());
        const QRect plot = empty->plotArea();
        drawTrackLine(empty.get(), plot.left() + plot.width(), intervalText(5000));
        QCOMPARE(redPixels(image(empty.get()), plot, 0, LABEL_W), 0);
        QVERIFY(empty->dynamicTexts().contains(QString()));
    }

    void valueLabelSitsRightOfTheDotOnTheLeftHalfAndLeftOfItOnTheRightHalf()
    {
        const Samples s = samples(5000);
        for (int index : {40, 200}) {
            auto chart = chartOf(s, 5000);
            const QImage base = image(chart.get());
            const int x = chart->xCoor(s.time[index]);
            const int y = chart->yCoor(s.values[index]);
            drawTrackLine(chart.get(), x, intervalText(5000));
            const QImage withTrack = image(chart.get());
            auto added = [&](int px, int py) {
                return isRed(withTrack.pixel(px, py)) && !isRed(base.pixel(px, py)) ? 1 : 0;
            };
            int left = 0, right = 0;
            for (int dy = -4; dy <= 4; ++dy) {
                for (int dx = 8; dx < 40; ++dx) {
                    left += added(x - dx, y + dy);
                    right += added(x + dx, y + dy);
                }
            }
            const int toward = index == 40 ? right : left;
            const int away = index == 40 ? left : right;
            QVERIFY2(toward > 50 && away == 0, qPrintable(QString("%1 %2").arg(left).arg(right)));
        }
    }

    // New data is drawn in one pass with the track line, a track move over the kept chart
    // below: both show the same pixels, and an image still held is never drawn over.
    void oneDrawAndTrackMoveShowTheSame()
    {
        Samples s = samples(1000);
        auto chart = chartOf(s, 1000);
        const QImage bare = image(chart.get());
        const int trackX = chart->xCoor(s.time[200]);
        drawTrackLine(chart.get(), trackX, intervalText(1000));
        const QPixmap held = chart->render();
        const QImage heldImage = held.toImage();
        QVERIFY(heldImage != bare);
        drawTrackLine(chart.get(), trackX, intervalText(1000));
        QCOMPARE(image(chart.get()), heldImage);
        chart->initDynamicLayer();
        QCOMPARE(image(chart.get()), bare);

        shiftIn(s, 1, 30);
        QVERIFY(advanceChannelChart(chart.get(), LABEL_W, LABEL_H, s.time, s.values, 1000));
        drawTrackLine(chart.get(), trackX, intervalText(1000));
        const QImage moved = image(chart.get());
        drawTrackLine(chart.get(), trackX, intervalText(1000));
        QCOMPARE(image(chart.get()), moved);
        QVERIFY(moved != heldImage);
        QCOMPARE(held.toImage(), heldImage);
    }

    // Requests within the hold time give one rebuild when it ends; one from inside a rebuild
    // is dropped; a chart set during a rebuild is shown once, at its end.
    void viewerRebuildsAtMostOncePerHoldTime()
    {
        ViewerRig rig;
        QCOMPARE(rig.viewer.size(), QSize(300, 200));
        QSignalSpy rebuilds(&rig.viewer, &QChartViewer::viewPortChanged);
        rig.viewer.updateViewPort(true, true);
        rig.viewer.updateViewPort(true, true);
        rig.viewer.updateViewPort(true, true);
        QCOMPARE(rebuilds.count(), 1);
        QTRY_COMPARE(rebuilds.count(), 2);

        ViewerRig inside;
        auto bigger = chartOf(inside.none, 5000);
        int insideRebuilds = 0;
        qint64 keyInside = 0;
        const qint64 keyBefore = inside.viewer.pixmap().cacheKey();
        connect(&inside.viewer, &QChartViewer::viewPortChanged, this, [&] {
            ++insideRebuilds;
            inside.viewer.updateViewPort(true, true);
            inside.viewer.setChart(bigger.get());
            inside.viewer.updateDisplay();
            keyInside = inside.viewer.pixmap().cacheKey();
        });
        inside.viewer.updateViewPort(true, true);
        QCOMPARE(keyInside, keyBefore);
        QCOMPARE(inside.viewer.pixmap().size(), QSize(LABEL_W - 10, LABEL_H));
        QCOMPARE(inside.viewer.size(), QSize(LABEL_W - 10, LABEL_H));
        QTest::qWait(3 * inside.viewer.getUpdateInterval());
        QCOMPARE(insideRebuilds, 1);
    }

    // Moves closer than 10 ms merge into the last; moves that keep coming are handled at least
    // every 250 ms; the position is clamped to the plot area.
    void viewerMergesMouseMoves()
    {
        ViewerRig rig;
        QSignalSpy plotMoves(&rig.viewer, &QChartViewer::mouseMovePlotArea);
        rig.move(100, 50, 1000);
        rig.move(110, 50, 1003);
        rig.move(120, 50, 1005);
        QCOMPARE(plotMoves.count(), 1);
        QCOMPARE(rig.viewer.getPlotAreaMouseX(), 100);
        QTRY_COMPARE(plotMoves.count(), 2);
        QCOMPARE(rig.viewer.getPlotAreaMouseX(), 120);
        rig.move(130, 50, 1020);
        QCOMPARE(plotMoves.count(), 3);

        for (qint64 t = 1025; t < 1270; t += 5)
            rig.move(100 + int(t - 1000) / 10, 60, t);
        QCOMPARE(plotMoves.count(), 3);
        rig.move(200, 60, 1270);
        QCOMPARE(plotMoves.count(), 4);
        QCOMPARE(rig.viewer.getPlotAreaMouseX(), 200);
        rig.move(299, 60, 1400);
        QCOMPARE(rig.viewer.getPlotAreaMouseX(), 45 + 250);
        rig.move(5, 60, 1500);
        QCOMPARE(rig.viewer.getPlotAreaMouseX(), 45);
    }

    void viewerReportsLeavingOnceAndHandlesTheDeferredMoveFirst()
    {
        ViewerRig rig;
        QSignalSpy plotMoves(&rig.viewer, &QChartViewer::mouseMovePlotArea);
        QSignalSpy plotLeaves(&rig.viewer, &QChartViewer::mouseLeavePlotArea);
        QSignalSpy chartLeaves(&rig.viewer, &QChartViewer::mouseLeaveChart);
        rig.move(100, 60, 1000);
        QVERIFY(rig.viewer.isMouseOnPlotArea());
        rig.move(20, 60, 1100);
        rig.move(15, 80, 1200);
        QCOMPARE(plotLeaves.count(), 1);
        QVERIFY(!rig.viewer.isMouseOnPlotArea());
        rig.move(100, 60, 1300);
        rig.move(140, 60, 1302);
        QCOMPARE(plotMoves.count(), 2);
        rig.leave();
        QCOMPARE(plotMoves.count(), 3);
        QCOMPARE(rig.viewer.getPlotAreaMouseX(), 140);
        QCOMPARE(plotLeaves.count(), 2);
        QCOMPARE(chartLeaves.count(), 1);
        rig.leave();
        QCOMPARE(plotLeaves.count(), 2);
        QCOMPARE(chartLeaves.count(), 2);
    }

    void valueLabelsFitTheirTextToTheLimitingSide_data()
    {
        QTest::addColumn<bool>("unit");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<double>("width");
        QTest::addColumn<double>("height");
        QTest::newRow("wide text in a tall label")
            << false << "-1234.56" << QSize(200, 300) << 190.0 << 0.0;
        QTest::newRow("short text in a flat label")
            << false << "7" << QSize(400, 40) << 0.0 << 32.0;
        QTest::newRow("unit label, no margin") << true << "%RH" << QSize(90, 200) << 90.0 << 0.0;
    }

    void valueLabelsFitTheirTextToTheLimitingSide()
    {
        QFETCH(bool, unit);
        QFETCH(QString, text);
        QFETCH(QSize, size);
        QFETCH(double, width);
        QFETCH(double, height);
        std::unique_ptr<QLabel> label(unit ? static_cast<QLabel *>(new ResizeLabelUnit)
                                           : new ResizeLabel);
        label->setText(text);
        label->resize(size);
        label->show();
        unit ? static_cast<ResizeLabelUnit *>(label.get())->fitFont()
             : static_cast<ResizeLabel *>(label.get())->fitFont();
        const QSizeF fitted = textSize(*label);
        const QString why = QStringLiteral("%1 x %2").arg(fitted.width()).arg(fitted.height());
        // The other side keeps its margin.
        QVERIFY2(width == 0 ? fitted.width() < size.width() - 8
                            : fitted.height() < size.height() - 8,
                 qPrintable(why));
        QVERIFY2(width == 0 || qAbs(fitted.width() - width) < width * 0.08, qPrintable(why));
        QVERIFY2(height == 0 || qAbs(fitted.height() - height) < height * 0.1, qPrintable(why));
    }

    void valueLabelRefitsOnResizeAndKeepsAnEmptyOnesFont()
    {
        ResizeLabel label;
        label.resize(100, 40);
        label.show();
        const QFont before = label.font();
        label.resize(300, 120);
        label.fitFont();
        QCOMPARE(label.font(), before);

        label.setText(QStringLiteral("21.50"));
        label.resize(120, 60);
        const qreal small = label.font().pointSizeF();
        label.resize(240, 120);
        QVERIFY(label.font().pointSizeF() > small * 1.5);

        label.setFixedSize(6, 40);
        label.fitFont();
        QVERIFY(label.font().pointSizeF() > 0);
        QVERIFY(textSize(label).width() > 0);
    }

    void chartLabelReportsEachResizeOnce()
    {
        QChartViewerLabel label;
        label.show();
        QSignalSpy spy(&label, &QChartViewerLabel::refreshChart);
        label.resize(310, 200);
        QCOMPARE(spy.count(), 1);
        label.resize(320, 210);
        QCOMPARE(spy.count(), 2);
    }

    void pressAndDragOnTheTitleBarReportGlobalPositions()
    {
        QWidget window;
        window.move(50, 70);
        auto *frame = new TopCustomFrame(&window);
        frame->setGeometry(10, 5, 400, 30);
        window.show();
        QSignalSpy clicks(frame, &TopCustomFrame::customClick);
        QSignalSpy moves(frame, &TopCustomFrame::customMove);
        QSignalSpy doubleClicks(frame, &TopCustomFrame::customDoubleClick);
        sendMouse(frame, QEvent::MouseButtonPress, QPoint(20, 10), Qt::LeftButton);
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(clicks.at(0).at(0).toPoint(), frame->mapToGlobal(QPoint(20, 10)));
        QVERIFY(frame->mapToGlobal(QPoint(20, 10)) != QPoint(20, 10));
        QCOMPARE(moves.count(), 0);
        QCOMPARE(doubleClicks.count(), 0);
        sendMouse(frame, QEvent::MouseMove, QPoint(40, 12), Qt::LeftButton);
        QCOMPARE(moves.count(), 1);
        QCOMPARE(moves.at(0).at(0).toPoint(), frame->mapToGlobal(QPoint(40, 12)));
    }
};

QTEST_MAIN(TestChartParts)
#include "tst_chartparts.moc"
