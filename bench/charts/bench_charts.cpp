// Times what the detail view does per sample (both channel charts rebuilt, or moved on by one
// point as the detail view does) and per mouse move (redraw the track overlay of one chart),
// off-screen. Times are the thread's CPU time, so other load on the machine does not count.
// --idle MS sleeps before each moved-on sample: in the program the GUI thread idles between
// samples, and on a virtual machine the first draw after an idle spell costs far more than one
// drawn right after the last.
#include "device/devicetypes.h"
#include "device/pollinterval.h"
#include "view/channelchart.h"
#include "view/qchartviewer.h"
#include "view/xychart.h"

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

// The chart label's size; --size WxH sets another (the detail view in a 1600 px wide window
// has labels of about 1400 x 330).
int LABEL_W = 700;
int LABEL_H = 260;
constexpr int INTERVAL = 5000;

struct Channel
{
    QChartViewer *viewer;
    const double *values;
    quint32 color;
    const char *name;
};

double threadMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

void rebuild(const Channel &c, const double *time)
{
    XYChart *chart = buildChannelChart(LABEL_W, LABEL_H, time, c.values, c.color, c.name, INTERVAL);
    const int x = c.viewer->isMouseOnPlotArea()
                      ? c.viewer->getPlotAreaMouseX()
                      : chart->plotArea().left() + chart->plotArea().width();
    drawTrackLine(chart, x, intervalText(INTERVAL));
    delete c.viewer->getChart();
    c.viewer->setChart(chart);
}

// What the detail view does per sample: the shown chart moved on, the track line redrawn.
void advance(const Channel &c, const double *time)
{
    XYChart *chart = c.viewer->getChart();
    if (!chart || !advanceChannelChart(chart, LABEL_W, LABEL_H, time, c.values, INTERVAL)) {
        rebuild(c, time);
        return;
    }
    drawTrackLine(chart, chart->plotArea().left() + chart->plotArea().width(),
                  intervalText(INTERVAL));
    c.viewer->updateDisplay();
}

void step(double *time, double *ch1, double *ch2, int i)
{
    std::rotate(time, time + 1, time + CHART_POINTS);
    time[CHART_POINTS - 1] = time[CHART_POINTS - 2] + INTERVAL / 1000.0;
    std::rotate(ch1, ch1 + 1, ch1 + CHART_POINTS);
    ch1[CHART_POINTS - 1] = 22.0 + 2.0 * std::sin((CHART_POINTS + i) / 12.0);
    std::rotate(ch2, ch2 + 1, ch2 + CHART_POINTS);
    ch2[CHART_POINTS - 1] = 45.0 + 5.0 * std::cos((CHART_POINTS + i) / 20.0);
}

// What the window's repaint does after a sample: each viewer paints its chart. A pixmap the
// size of the chart stands in for the window.
void paintViewers(QChartViewer &viewer1, QChartViewer &viewer2, QPixmap *window)
{
    for (QChartViewer *viewer : {&viewer1, &viewer2}) {
        if (window->size() != viewer->size())
            *window = QPixmap(viewer->size());
        viewer->render(window);
    }
}

void report(const char *what, std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    const double median = times[times.size() / 2];
    const double p99 = times[std::min(times.size() - 1, times.size() * 99 / 100)];
    std::printf("%-46s median %7.3f ms  p99 %7.3f ms  worst %7.3f ms  (n=%zu)\n", what, median, p99,
                times.back(), times.size());
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    int iterations = 500;
    QString saveDir;
    int idleMs = 0;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--idle") && i + 1 < args.size()) {
            idleMs = qMax(0, args[++i].toInt());
        } else if (args[i] == QLatin1String("--save") && i + 1 < args.size()) {
            saveDir = args[++i];
        } else if (args[i] == QLatin1String("--size") && i + 1 < args.size()) {
            const QStringList size = args[++i].split(QLatin1Char('x'));
            LABEL_W = qMax(100, size.value(0).toInt());
            LABEL_H = qMax(100, size.value(1).toInt());
        } else {
            iterations = qMax(1, args[i].toInt());
        }
    }

    double time[CHART_POINTS];
    double ch1[CHART_POINTS];
    double ch2[CHART_POINTS];
    const double newest = 1700000000.0;
    for (int i = 0; i < CHART_POINTS; ++i) {
        time[i] = newest - (CHART_POINTS - 1 - i) * INTERVAL / 1000.0;
        ch1[i] = 22.0 + 2.0 * std::sin(i / 12.0);
        ch2[i] = (i >= 150 && i < 170) ? NO_VALUE : 45.0 + 5.0 * std::cos(i / 20.0);
    }

    qint64 now = 0;
    QChartViewer viewer1;
    QChartViewer viewer2;
    for (QChartViewer *v : {&viewer1, &viewer2}) {
        v->setUpdateInterval(0); // every request rebuilds: the cost per sample is measured
        v->setClock([&now] { return now; });
    }
    const Channel c1{&viewer1, ch1, 0xFF0000, "CH1"};
    const Channel c2{&viewer2, ch2, 0x00CC00, "CH2"};
    bool advancing = false;
    QObject::connect(&viewer1, &QChartViewer::viewPortChanged,
                     [&] { advancing ? advance(c1, time) : rebuild(c1, time); });
    QObject::connect(&viewer2, &QChartViewer::viewPortChanged,
                     [&] { advancing ? advance(c2, time) : rebuild(c2, time); });
    QObject::connect(&viewer1, &QChartViewer::mouseMovePlotArea, [&] {
        drawTrackLine(viewer1.getChart(), viewer1.getPlotAreaMouseX(), intervalText(INTERVAL));
        viewer1.updateDisplay();
    });

    QPixmap window;
    std::vector<double> sampleTimes;
    for (int i = 0; i < iterations + 10; ++i) {
        std::rotate(time, time + 1, time + CHART_POINTS);
        time[CHART_POINTS - 1] = time[CHART_POINTS - 2] + INTERVAL / 1000.0;
        const double start = threadMs();
        viewer1.updateViewPort(true, true);
        viewer2.updateViewPort(true, true);
        paintViewers(viewer1, viewer2, &window);
        if (i >= 10)
            sampleTimes.push_back(threadMs() - start);
    }

    advancing = true;
    std::vector<double> advanceTimes;
    for (int i = 0; i < iterations + 10; ++i) {
        step(time, ch1, ch2, i);
        if (idleMs > 0)
            QThread::msleep(idleMs);
        const double start = threadMs();
        viewer1.updateViewPort(true, true);
        viewer2.updateViewPort(true, true);
        paintViewers(viewer1, viewer2, &window);
        if (i >= 10)
            advanceTimes.push_back(threadMs() - start);
    }

    std::vector<double> moveTimes;
    const QRect plot = viewer1.getChart()->plotArea();
    for (int i = 0; i < iterations + 10; ++i) {
        now += 20;
        const QPointF pos(plot.left() + (i * 7) % plot.width(), plot.top() + 30);
        QMouseEvent move(QEvent::MouseMove, pos, pos, pos, Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        const double start = threadMs();
        QCoreApplication::sendEvent(&viewer1, &move);
        if (window.size() != viewer1.size())
            window = QPixmap(viewer1.size());
        viewer1.render(&window);
        if (i >= 10)
            moveTimes.push_back(threadMs() - start);
    }

    std::printf("chart %dx%d, %d points, interval %d ms, idle %d ms before each moved-on sample\n",
                LABEL_W - 10, LABEL_H, CHART_POINTS, INTERVAL, idleMs);
    report("sample: rebuild + render + show, both charts", sampleTimes);
    report("sample: move on + render + show, both charts", advanceTimes);
    report("mouse move: redraw overlay + show, one chart", moveTimes);

    if (!saveDir.isEmpty()) {
        QDir().mkpath(saveDir);
        viewer1.grab().save(saveDir + QStringLiteral("/chart1.png"));
        viewer2.grab().save(saveDir + QStringLiteral("/chart2.png"));
    }
    delete viewer1.getChart();
    delete viewer2.getChart();
    return 0;
}
