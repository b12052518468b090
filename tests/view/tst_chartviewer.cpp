#include "device/devicetypes.h"
#include "view/channelchart.h"
#include "view/qchartviewer.h"
#include "view/xychart.h"

#include <QMouseEvent>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

// A chart of 300 x 200 pixels with its plot area at 45, 25, 250 x 145.
XYChart *emptyChart(int labelWidth = 310, int labelHeight = 200)
{
    double none[CHART_POINTS];
    std::fill(std::begin(none), std::end(none), NO_VALUE);
    return buildChannelChart(labelWidth, labelHeight, none, none, 0xFF0000, "CH1", 5000);
}

} // namespace

class TestChartViewer : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QChartViewer> m_viewer;
    std::unique_ptr<XYChart> m_chart;
    qint64 m_now = 0;

    void move(int x, int y, qint64 at)
    {
        m_now = at;
        const QPointF pos(x, y);
        QMouseEvent event(QEvent::MouseMove, pos, pos, m_viewer->mapToGlobal(pos), Qt::NoButton,
                          Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_viewer.get(), &event);
    }

private slots:
    void init()
    {
        m_now = 1000;
        m_viewer = std::make_unique<QChartViewer>();
        m_viewer->setClock([this] { return m_now; });
        m_chart.reset(emptyChart());
        m_viewer->setChart(m_chart.get());
    }

    void cleanup()
    {
        m_viewer.reset();
        m_chart.reset();
    }

    void viewerTakesTheSizeOfItsChart()
    {
        QCOMPARE(m_viewer->size(), QSize(300, 200));
        QCOMPARE(m_viewer->pixmap().size(), QSize(300, 200));
    }

    void twoRequestsInQuickSuccessionGiveOneRebuildNowAndOneWhenTheHoldTimeEnds()
    {
        QSignalSpy rebuilds(m_viewer.get(), &QChartViewer::viewPortChanged);
        m_viewer->updateViewPort(true, true);
        QCOMPARE(rebuilds.count(), 1);
        m_viewer->updateViewPort(true, true);
        m_viewer->updateViewPort(true, true);
        QCOMPARE(rebuilds.count(), 1);
        QTRY_COMPARE(rebuilds.count(), 2);
    }

    void requestFromInsideTheRebuildIsIgnored()
    {
        int rebuilds = 0;
        connect(m_viewer.get(), &QChartViewer::viewPortChanged, this, [&] {
            ++rebuilds;
            m_viewer->updateViewPort(true, true);
        });
        m_viewer->updateViewPort(true, true);
        QCOMPARE(rebuilds, 1);
        // Nothing was left pending for the hold timer either.
        QSignalSpy more(m_viewer.get(), &QChartViewer::viewPortChanged);
        QTest::qWait(3 * m_viewer->getUpdateInterval());
        QCOMPARE(more.count(), 0);
    }

    void chartSetDuringARebuildIsDisplayedOnceAtItsEnd()
    {
        std::unique_ptr<XYChart> bigger(emptyChart(410, 250));
        qint64 keyInside = 0;
        const qint64 keyBefore = m_viewer->pixmap().cacheKey();
        connect(m_viewer.get(), &QChartViewer::viewPortChanged, this, [&] {
            m_viewer->setChart(bigger.get());
            m_viewer->updateDisplay();
            keyInside = m_viewer->pixmap().cacheKey();
        });
        m_viewer->updateViewPort(true, true);
        QCOMPARE(keyInside, keyBefore);
        QCOMPARE(m_viewer->pixmap().size(), QSize(400, 250));
        QCOMPARE(m_viewer->size(), QSize(400, 250));
    }

    void movesCloserThan10MillisecondsAreMergedIntoTheLastOne()
    {
        QSignalSpy plotMoves(m_viewer.get(), &QChartViewer::mouseMovePlotArea);
        move(100, 50, 1000);
        QCOMPARE(plotMoves.count(), 1);
        move(110, 50, 1003);
        move(120, 50, 1005);
        QCOMPARE(plotMoves.count(), 1);
        QCOMPARE(m_viewer->getPlotAreaMouseX(), 100);
        QTRY_COMPARE(plotMoves.count(), 2);
        QCOMPARE(m_viewer->getPlotAreaMouseX(), 120);
        move(130, 50, 1020);
        QCOMPARE(plotMoves.count(), 3);
    }

    void movesThatKeepComingAreHandledAtLeastEvery250Milliseconds()
    {
        QSignalSpy plotMoves(m_viewer.get(), &QChartViewer::mouseMovePlotArea);
        move(100, 50, 1000);
        for (qint64 t = 1005; t < 1250; t += 5)
            move(100 + int(t - 1000) / 10, 60, t);
        QCOMPARE(plotMoves.count(), 1);
        move(200, 60, 1250);
        QCOMPARE(plotMoves.count(), 2);
        QCOMPARE(m_viewer->getPlotAreaMouseX(), 200);
    }

    void plotAreaMouseXIsClampedToThePlotArea()
    {
        move(5, 60, 1000);
        QCOMPARE(m_viewer->getPlotAreaMouseX(), 45);
        move(299, 60, 1100);
        QCOMPARE(m_viewer->getPlotAreaMouseX(), 45 + 250);
        move(150, 60, 1200);
        QCOMPARE(m_viewer->getPlotAreaMouseX(), 150);
    }

    void leavingThePlotAreaForTheAxisLabelsIsReportedOnce()
    {
        QSignalSpy plotMoves(m_viewer.get(), &QChartViewer::mouseMovePlotArea);
        QSignalSpy plotLeaves(m_viewer.get(), &QChartViewer::mouseLeavePlotArea);
        move(100, 60, 1000);
        QVERIFY(m_viewer->isMouseOnPlotArea());
        move(20, 60, 1100);
        move(15, 80, 1200);
        QCOMPARE(plotLeaves.count(), 1);
        QVERIFY(!m_viewer->isMouseOnPlotArea());
        QCOMPARE(plotMoves.count(), 1);
        move(100, 60, 1300);
        QCOMPARE(plotMoves.count(), 2);
        QCOMPARE(plotLeaves.count(), 1);
    }

    void leavingTheWidgetFromThePlotAreaReportsBothLeaves()
    {
        QSignalSpy plotLeaves(m_viewer.get(), &QChartViewer::mouseLeavePlotArea);
        QSignalSpy chartLeaves(m_viewer.get(), &QChartViewer::mouseLeaveChart);
        move(100, 60, 1000);
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(m_viewer.get(), &leave);
        QCOMPARE(plotLeaves.count(), 1);
        QCOMPARE(chartLeaves.count(), 1);
        QVERIFY(!m_viewer->isMouseOnPlotArea());
        QCoreApplication::sendEvent(m_viewer.get(), &leave);
        QCOMPARE(plotLeaves.count(), 1);
        QCOMPARE(chartLeaves.count(), 2);
    }

    void leavingTheWidgetHandlesTheDeferredMoveFirst()
    {
        QSignalSpy plotMoves(m_viewer.get(), &QChartViewer::mouseMovePlotArea);
        move(100, 60, 1000);
        move(140, 60, 1002);
        QCOMPARE(plotMoves.count(), 1);
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(m_viewer.get(), &leave);
        QCOMPARE(plotMoves.count(), 2);
        QCOMPARE(m_viewer->getPlotAreaMouseX(), 140);
    }
};

QTEST_MAIN(TestChartViewer)
#include "tst_chartviewer.moc"
