#pragma once

#include <QLabel>
#include <QMouseEvent>
#include <QWheelEvent>

#include <functional>
#include <memory>

class XYChart;

// Shows one chart and turns mouse activity into chart-level signals. Chart rebuilds are
// requested through updateViewPort() and answered with viewPortChanged(); bursts of requests
// and of mouse moves are throttled, and displays asked for inside one cycle are merged.
// The chart is painted straight into the window in the viewer's paint event: a chart image of
// its own would be megabytes written and copied again with every sample, and new memory the
// first time a wide chart is shown.
class QChartViewer : public QLabel
{
    Q_OBJECT

public:
    // Milliseconds of a monotonic clock; replaceable so tests can step time.
    using Clock = std::function<qint64()>;

    explicit QChartViewer(QWidget *parent = nullptr);
    ~QChartViewer() override;

    // The chart is not owned: whoever hands over a new chart deletes the previous one.
    void setChart(XYChart *chart);
    XYChart *getChart() const { return m_currentChart; }

    void updateViewPort(bool needUpdateChart, bool needUpdateImageMap);
    void updateDisplay();
    void setUpdateInterval(int ms) { m_updateInterval = ms; }
    int getUpdateInterval() const { return m_updateInterval; }

    bool isMouseOnPlotArea() const;
    int getPlotAreaMouseX() const;
    int getPlotAreaMouseY() const;

    void setClock(Clock clock);

signals:
    void viewPortChanged();
    void clicked(QMouseEvent *event);
    void mouseMove(QMouseEvent *event);
    void mouseWheel(QWheelEvent *event);
    void mouseMoveChart(QMouseEvent *event);
    void mouseLeaveChart(QEvent *event);
    void mouseMovePlotArea(QMouseEvent *event);
    void mouseLeavePlotArea(QEvent *event);

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void timerEvent(QTimerEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    enum UpdateState
    {
        Idle,
        Updating,
        DisplayPending
    };

    bool beginCycle();
    void endCycle(bool outermost);
    void handleMouseMove(QMouseEvent *event);
    void commitDeferredMouseMove();
    void dropDeferredMouseMove();
    void displayChart();
    bool inExtendedPlotArea(QPoint pos) const;

    XYChart *m_currentChart = nullptr;
    // What the shown image was rendered with: the view-port manager's idea of the chart.
    QRect m_plotArea;

    UpdateState m_updateState = Idle;
    bool m_needUpdateChart = false;
    bool m_needUpdateImageMap = false;
    bool m_isInViewPortChangedEvent = false;

    bool m_holdTimerActive = false;
    int m_holdTimerId = 0;
    int m_updateInterval = 20;

    QPoint m_chartMousePos;
    bool m_isMouseOnChart = false;
    bool m_isInPlotArea = false;
    qint64 m_lastMouseMove = 0;
    std::unique_ptr<QMouseEvent> m_delayedMouseEvent;
    int m_delayedMouseEventTimerId = 0;
    Clock m_clock;
};
