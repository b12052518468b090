#include "view/qchartviewer.h"

#include "view/xychart.h"

#include <QElapsedTimer>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QTimerEvent>
#include <QWheelEvent>

namespace {

constexpr qint64 MOUSE_MOVE_MIN_GAP = 10;
constexpr qint64 MOUSE_MOVE_MAX_DEFER = 250;

} // namespace

QChartViewer::QChartViewer(QWidget *parent) : QLabel(parent)
{
    setMouseTracking(true);
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    m_clock = [timer] { return timer->elapsed(); };
}

QChartViewer::~QChartViewer() = default;

void QChartViewer::setClock(Clock clock)
{
    m_clock = std::move(clock);
}

void QChartViewer::setChart(XYChart *chart)
{
    m_currentChart = chart;
    updateDisplay();
}

// A cycle merges every display requested inside it into one render at its end.
bool QChartViewer::beginCycle()
{
    if (m_updateState != Idle)
        return false;
    m_updateState = Updating;
    return true;
}

void QChartViewer::endCycle(bool outermost)
{
    if (!outermost)
        return;
    const bool pending = m_updateState == DisplayPending;
    m_updateState = Idle;
    if (pending)
        displayChart();
}

void QChartViewer::updateViewPort(bool needUpdateChart, bool needUpdateImageMap)
{
    // The handler rebuilds the chart; a request it makes would only rebuild it again.
    if (m_isInViewPortChangedEvent)
        return;
    m_needUpdateImageMap = needUpdateImageMap;
    m_needUpdateChart = m_needUpdateChart || needUpdateChart;
    if (m_holdTimerActive)
        return;

    const bool outermost = beginCycle();
    m_isInViewPortChangedEvent = true;
    emit viewPortChanged();
    m_isInViewPortChangedEvent = false;
    endCycle(outermost);

    m_needUpdateChart = false;
    m_needUpdateImageMap = false;
    if (m_updateInterval > 0) {
        m_holdTimerActive = true;
        m_holdTimerId = startTimer(m_updateInterval);
    }
}

void QChartViewer::updateDisplay()
{
    if (m_updateState != Idle) {
        m_updateState = DisplayPending;
        return;
    }
    displayChart();
}

void QChartViewer::displayChart()
{
    if (!m_currentChart) {
        setAttribute(Qt::WA_OpaquePaintEvent, false);
        m_plotArea = QRect();
        update();
        return;
    }
    setFixedSize(m_currentChart->width(), m_currentChart->height());
    setAttribute(Qt::WA_OpaquePaintEvent, m_currentChart->isOpaque());
    m_plotArea = m_currentChart->plotArea();
    update();
}

void QChartViewer::paintEvent(QPaintEvent *event)
{
    if (m_currentChart)
        m_currentChart->paint(this);
    else
        QLabel::paintEvent(event);
}

bool QChartViewer::inExtendedPlotArea(QPoint pos) const
{
    // The right and bottom edge lines belong to the plot area as well.
    return m_plotArea.isValid() && m_plotArea.adjusted(0, 0, 1, 1).contains(pos);
}

bool QChartViewer::isMouseOnPlotArea() const
{
    return m_isMouseOnChart && inExtendedPlotArea(m_chartMousePos);
}

int QChartViewer::getPlotAreaMouseX() const
{
    return qBound(m_plotArea.left(), m_chartMousePos.x(), m_plotArea.left() + m_plotArea.width());
}

int QChartViewer::getPlotAreaMouseY() const
{
    return qBound(m_plotArea.top(), m_chartMousePos.y(), m_plotArea.top() + m_plotArea.height());
}

void QChartViewer::mouseMoveEvent(QMouseEvent *event)
{
    m_isMouseOnChart = true;
    emit mouseMove(event);

    const qint64 elapsed = m_clock() - m_lastMouseMove;
    if (!m_delayedMouseEvent) {
        if (elapsed >= MOUSE_MOVE_MIN_GAP) {
            handleMouseMove(event);
        } else {
            m_delayedMouseEvent.reset(event->clone());
            m_delayedMouseEventTimerId = startTimer(1);
        }
    } else if (elapsed >= MOUSE_MOVE_MAX_DEFER) {
        handleMouseMove(event);
    } else {
        m_delayedMouseEvent.reset(event->clone());
    }
}

void QChartViewer::handleMouseMove(QMouseEvent *event)
{
    const bool outermost = beginCycle();
    m_chartMousePos = event->position().toPoint();

    emit mouseMoveChart(event);
    if (inExtendedPlotArea(m_chartMousePos)) {
        m_isInPlotArea = true;
        emit mouseMovePlotArea(event);
    } else if (m_isInPlotArea) {
        m_isInPlotArea = false;
        emit mouseLeavePlotArea(event);
    }

    dropDeferredMouseMove();
    endCycle(outermost);
    m_lastMouseMove = m_clock();
}

void QChartViewer::dropDeferredMouseMove()
{
    if (m_delayedMouseEventTimerId) {
        killTimer(m_delayedMouseEventTimerId);
        m_delayedMouseEventTimerId = 0;
    }
    m_delayedMouseEvent.reset();
}

void QChartViewer::commitDeferredMouseMove()
{
    if (!m_delayedMouseEvent)
        return;
    // Taken out first: handling drops the deferred move, which is the event being handled.
    std::unique_ptr<QMouseEvent> event = std::move(m_delayedMouseEvent);
    handleMouseMove(event.get());
}

void QChartViewer::mousePressEvent(QMouseEvent *event)
{
    Q_UNUSED(event);
    commitDeferredMouseMove();
}

void QChartViewer::mouseReleaseEvent(QMouseEvent *event)
{
    commitDeferredMouseMove();
    emit clicked(event);
}

void QChartViewer::wheelEvent(QWheelEvent *event)
{
    commitDeferredMouseMove();
    if (isSignalConnected(QMetaMethod::fromSignal(&QChartViewer::mouseWheel)))
        emit mouseWheel(event);
    else
        event->ignore();
}

void QChartViewer::leaveEvent(QEvent *event)
{
    commitDeferredMouseMove();
    m_isMouseOnChart = false;
    if (m_isInPlotArea) {
        m_isInPlotArea = false;
        emit mouseLeavePlotArea(event);
    }
    emit mouseLeaveChart(event);
}

void QChartViewer::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_holdTimerId) {
        killTimer(m_holdTimerId);
        m_holdTimerId = 0;
        m_holdTimerActive = false;
        if (m_needUpdateChart || m_needUpdateImageMap)
            updateViewPort(m_needUpdateChart, m_needUpdateImageMap);
    } else if (event->timerId() == m_delayedMouseEventTimerId) {
        commitDeferredMouseMove();
    } else {
        QLabel::timerEvent(event);
    }
}
