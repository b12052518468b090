// Times what the detail view does per sample (rebuild and show both channel charts) and per
// mouse move (redraw the track overlay of one chart), off-screen.
#include "device/devicetypes.h"
#include "device/pollinterval.h"
#include "view/channelchart.h"
#include "view/qchartviewer.h"
#include "view/xychart.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMouseEvent>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int LABEL_W = 700;
constexpr int LABEL_H = 260;
constexpr int INTERVAL = 5000;

struct Channel
{
    QChartViewer *viewer;
    const double *values;
    quint32 color;
    const char *name;
};

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
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--save") && i + 1 < args.size())
            saveDir = args[++i];
        else
            iterations = qMax(1, args[i].toInt());
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
    QObject::connect(&viewer1, &QChartViewer::viewPortChanged, [&] { rebuild(c1, time); });
    QObject::connect(&viewer2, &QChartViewer::viewPortChanged, [&] { rebuild(c2, time); });
    QObject::connect(&viewer1, &QChartViewer::mouseMovePlotArea, [&] {
        drawTrackLine(viewer1.getChart(), viewer1.getPlotAreaMouseX(), intervalText(INTERVAL));
        viewer1.updateDisplay();
    });

    QElapsedTimer timer;
    std::vector<double> sampleTimes;
    for (int i = 0; i < iterations + 10; ++i) {
        std::rotate(time, time + 1, time + CHART_POINTS);
        time[CHART_POINTS - 1] = time[CHART_POINTS - 2] + INTERVAL / 1000.0;
        timer.start();
        viewer1.updateViewPort(true, true);
        viewer2.updateViewPort(true, true);
        if (i >= 10)
            sampleTimes.push_back(timer.nsecsElapsed() / 1e6);
    }

    std::vector<double> moveTimes;
    const QRect plot = viewer1.getChart()->plotArea();
    for (int i = 0; i < iterations + 10; ++i) {
        now += 20;
        const QPointF pos(plot.left() + (i * 7) % plot.width(), plot.top() + 30);
        QMouseEvent move(QEvent::MouseMove, pos, pos, pos, Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        timer.start();
        QCoreApplication::sendEvent(&viewer1, &move);
        if (i >= 10)
            moveTimes.push_back(timer.nsecsElapsed() / 1e6);
    }

    std::printf("chart %dx%d, %d points, interval %d ms\n", LABEL_W - 10, LABEL_H, CHART_POINTS,
                INTERVAL);
    report("sample: rebuild + render + show, both charts", sampleTimes);
    report("mouse move: redraw overlay + show, one chart", moveTimes);

    if (!saveDir.isEmpty()) {
        QDir().mkpath(saveDir);
        viewer1.pixmap().save(saveDir + QStringLiteral("/chart1.png"));
        viewer2.pixmap().save(saveDir + QStringLiteral("/chart2.png"));
    }
    delete viewer1.getChart();
    delete viewer2.getChart();
    return 0;
}
