#include "device/configureddevice.h"
#include "device/pollinterval.h"
#include "tests/support/widgetfinder.h"
#include "view/channelchart.h"
#include "view/chartview.h"
#include "view/qchartviewer.h"
#include "view/qchartviewerlabel.h"
#include "view/resizelabel.h"
#include "view/resizelabelunit.h"
#include "view/tilestyle.h"
#include "view/valueframe.h"
#include "view/xychart.h"

#include <QtTest>
#include <QtWidgets>

#include <cmath>
#include <memory>
#include <tuple>

// The detail view and its parts: the charts, the viewer that follows the mouse, and the value
// labels whose fonts follow their size.
namespace {
constexpr double NEWEST = 1700000000.0;
constexpr int LABEL_W = 410, LABEL_H = 250;

struct Samples
{
    double time[CHART_POINTS], values[CHART_POINTS], ch2[CHART_POINTS];
    QString at(int i) const { return QString::number(values[i], 'f', 2); }
};

Samples samples(int intervalMs, int firstFilled = 0)
{
    Samples s;
    for (int i = 0; i < CHART_POINTS; ++i) {
        const bool filled = i >= firstFilled;
        s.time[i] = filled ? NEWEST - (CHART_POINTS - 1 - i) * intervalMs / 1000.0 : NO_VALUE;
        s.values[i] = filled ? 20.0 + 3.0 * std::sin(i / 15.0) : NO_VALUE;
        s.ch2[i] = 40.0 + (i % 5) * 0.5;
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

// Red pixels of the column range [x1, x2) inside the plot area.
int redPixels(const QImage &image, const QRect &plot, int x1, int x2)
{
    int count = 0;
    const auto red = [](QRgb p) { return qRed(p) > 170 && qGreen(p) < 90 && qBlue(p) < 90; };
    for (int x = qMax(x1, plot.left()); x < qMin(x2, plot.left() + plot.width()); ++x)
        for (int y = plot.top(); y < plot.top() + plot.height(); ++y)
            count += red(image.pixel(x, y)) ? 1 : 0;
    return count;
}

std::unique_ptr<XYChart> chartOf(const Samples &s, int intervalMs, int w = LABEL_W)
{
    return std::unique_ptr<XYChart>(
        buildChannelChart(w, LABEL_H, s.time, s.values, 0xFF0000, "CH1", intervalMs));
}

const auto image = [](XYChart *chart) { return chart->render().toImage(); };

void mouseMove(QWidget *w, QPoint local)
{
    QMouseEvent event(QEvent::MouseMove, local, local, w->mapToGlobal(local), Qt::NoButton,
                      Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &event);
}

// A viewer of an empty 300 x 250 chart (plot area 45, 25, 250 x 195) on a clock of its own.
struct ViewerRig
{
    qint64 now = 1000;
    Samples none = samples(5000, CHART_POINTS);
    std::unique_ptr<XYChart> chart = chartOf(none, 5000, 310);
    QChartViewer viewer;
    ViewerRig()
    {
        viewer.setClock([this] { return now; });
        viewer.setChart(chart.get());
    }
    void move(int x, qint64 at)
    {
        now = at;
        mouseMove(&viewer, QPoint(x, 60));
    }
};
} // namespace

class TestView : public QObject
{
    Q_OBJECT

private slots:
    // Every image the forms and code name, and the alarm sound under both its paths, are built
    // in; the sound's format is checked where it is parsed.
    void everyNamedResourceLoads()
    {
        QStringList missing;
        for (const QString &name :
             QStringLiteral("DashboardText DeviceCh1 DeviceCh2 DeviceConnectedSymbol "
                            "DeviceConnectingSymbol DeviceDisconnectedSymbol DeviceImg I_2 "
                            "KestrelixLogo KestrelixSymbol KestrelixSymbol2 LoadingLite "
                            "RecordButton RecordStopButton StateReady StateRecording "
                            "VelmoranLogoLite btn_addDevice btn_createProject btn_interval "
                            "btn_removeDevice icon_lan icon_usb velmoran_lite")
                 .split(' '))
            if (QImage(":/img/" + name + ".png").isNull())
                missing << name;
        for (const char *sound : {"://critical.wav", ":/critical.wav"})
            if (!QFile(sound).open(QIODevice::ReadOnly))
                missing << sound;
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(' ')));
    }

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
        s.values[CHART_POINTS - 1] = 31.5; // the newest value replaced at the same time
        QVERIFY(advanceChannelChart(chart.get(), LABEL_W, LABEL_H, s.time, s.values, 1000));
        auto rebuilt = chartOf(s, 1000);
        QCOMPARE(chart->xAxisRange().lower, rebuilt->xAxisRange().lower);
        QCOMPARE(chart->yAxisRange().upper, rebuilt->yAxisRange().upper);
        QCOMPARE(image(chart.get()), image(rebuilt.get()));

        const Samples odd = samples(1000, 10);
        QVERIFY(!advanceChannelChart(chart.get(), LABEL_W, LABEL_H, odd.time, odd.values, 1000));
        QVERIFY(!advanceChannelChart(chart.get(), LABEL_W + 20, LABEL_H, s.time, s.values, 1000));
        QVERIFY(!advanceChannelChart(chart.get(), LABEL_W, LABEL_H, s.time, s.values, 5000));
        QCOMPARE(image(chart.get()), image(rebuilt.get()));
    }

    // No pixel of the line before the first sample, over samples without value and over a pause
    // of more than 1.5 intervals; a marker value taken as a number would wreck the scale.
    void theLineHasNoPixelWhereNoValueIsAndTheTrackLineNamesItsSample()
    {
        Samples s = samples(5000, 110);
        for (int i = 150; i <= 170; ++i)
            s.values[i] = NO_VALUE;
        for (int i = 110; i <= 230; ++i)
            s.time[i] -= 145; // polling paused for 150 s
        auto chart = chartOf(s, 5000);
        QVERIFY(chart->yAxisRange().upper < 100 && chart->yAxisRange().lower > 0);
        const QImage drawn = image(chart.get());
        const QRect plot = chart->plotArea();
        const auto x = [&](int i) { return chart->xCoor(s.time[i]); };
        QCOMPARE(redPixels(drawn, plot, plot.left(), x(110) - 1), 0);
        QCOMPARE(redPixels(drawn, plot, x(150) + 2, x(170)), 0);
        QCOMPARE(redPixels(drawn, plot, x(230) + 2, x(231)), 0);
        QVERIFY(redPixels(drawn, plot, x(110) + 4, x(150) - 4) > 50);
        QVERIFY(redPixels(drawn, plot, x(231) + 4, plot.left() + plot.width()) > 20);

        // Background, the plot area's gradient, and both axes' base lines two pixels wide.
        const auto gray = [&](int x, int y) { return qGray(drawn.pixel(x, y)); };
        const int left = plot.left(), midX = left + plot.width() / 2;
        QCOMPARE(drawn.pixel(1, 1), QColor(0x595959).rgb());
        for (int y : {plot.top() + 7, plot.top() + plot.height() / 2, plot.bottom() - 7})
            QVERIFY(gray(left - 1, y) > 120 && gray(left, y) > 120 && gray(left + 1, y) < 100);
        QVERIFY(gray(midX, plot.bottom()) > 120 && gray(midX, plot.bottom() - 1) > 120);
        QVERIFY(gray(midX - 9, plot.top() + 2) + gray(midX + 9, plot.top() + 2) >
                gray(midX - 9, plot.bottom() - 2) + gray(midX + 9, plot.bottom() - 2) + 40);

        // New data is drawn in one pass with the track line, a track move over the kept chart
        // below: both show the same pixels.
        s = samples(1000);
        s.values[115] = NO_VALUE;
        chart = chartOf(s, 1000);
        const QImage bare = image(chart.get());
        drawTrackLine(chart.get(), chart->xCoor(s.time[60]), intervalText(1000));
        const QDateTime when = QDateTime::fromSecsSinceEpoch(qint64(s.time[60]));
        for (const QString &text :
             {" " + when.toString("hh:mm:ss") + " ", " " + s.at(60) + " ",
              "[ " + when.toString("yyyy-MM-dd hh:mm:ss") + " ]", " CH1:  " + s.at(60) + " ",
              QStringLiteral("View Length : 240 samples   Interval : 1 sec ")})
            QVERIFY2(chart->dynamicTexts().contains(text), qPrintable(text));
        const int trackX = chart->xCoor(s.time[115]);
        drawTrackLine(chart.get(), trackX, intervalText(1000));
        QVERIFY(chart->dynamicTexts().contains(" CH1:  N/A "));
        QVERIFY(!chart->dynamicTexts().contains(" N/A "));
        const QImage heldImage = image(chart.get());
        chart->initDynamicLayer();
        QCOMPARE(image(chart.get()), bare);

        shiftIn(s, 1, 30);
        QVERIFY(advanceChannelChart(chart.get(), LABEL_W, LABEL_H, s.time, s.values, 1000));
        drawTrackLine(chart.get(), trackX, intervalText(1000));
        const QImage moved = image(chart.get());
        drawTrackLine(chart.get(), trackX, intervalText(1000));
        QCOMPARE(image(chart.get()), moved);
        QVERIFY(moved != heldImage);

        // The viewer paints the chart into the window, in one pass after a new sample and over
        // the kept chart after a track move alone: the chart's own pixels either way.
        QChartViewer viewer;
        viewer.setChart(chart.get());
        shiftIn(s, 1, 31);
        QVERIFY(advanceChannelChart(chart.get(), LABEL_W, LABEL_H, s.time, s.values, 1000));
        drawTrackLine(chart.get(), trackX, intervalText(1000));
        viewer.updateDisplay();
        const QImage shown = viewer.grab().toImage();
        QVERIFY(shown != moved);
        QCOMPARE(image(chart.get()), shown);
        drawTrackLine(chart.get(), chart->xCoor(s.time[60]), intervalText(1000));
        viewer.updateDisplay();
        QCOMPARE(viewer.grab().toImage(), image(chart.get()));
        QVERIFY(viewer.testAttribute(Qt::WA_OpaquePaintEvent));
        viewer.setChart(nullptr);
    }

    // Requests within the hold time give one rebuild when it ends; one from inside a rebuild
    // is dropped; a chart set during a rebuild is shown once, at its end.
    void theViewerRebuildsAtMostOncePerHoldTimeAndMergesMouseMoves()
    {
        ViewerRig hold, inside;
        QSignalSpy rebuilds(&hold.viewer, &QChartViewer::viewPortChanged);
        for (int i = 0; i < 3; ++i)
            hold.viewer.updateViewPort(true, true);
        QCOMPARE(rebuilds.count(), 1);
        QTRY_COMPARE(rebuilds.count(), 2);

        auto bigger = chartOf(inside.none, 5000);
        int insideRebuilds = 0;
        QSize sizeInside;
        const QSize sizeBefore = inside.viewer.size();
        connect(&inside.viewer, &QChartViewer::viewPortChanged, this, [&] {
            ++insideRebuilds;
            inside.viewer.updateViewPort(true, true);
            inside.viewer.setChart(bigger.get());
            inside.viewer.updateDisplay();
            sizeInside = inside.viewer.size();
        });
        inside.viewer.updateViewPort(true, true);
        QCOMPARE(sizeInside, sizeBefore);
        QCOMPARE(inside.viewer.size(), QSize(LABEL_W - 10, LABEL_H));
        QTest::qWait(3 * inside.viewer.getUpdateInterval());
        QCOMPARE(insideRebuilds, 1);

        // Moves closer than 10 ms merge into the last, moves that keep coming are handled every
        // 250 ms, the position is clamped to the plot area, and leaving handles a deferred move.
        ViewerRig rig;
        QSignalSpy moves(&rig.viewer, &QChartViewer::mouseMovePlotArea);
        QSignalSpy plotLeaves(&rig.viewer, &QChartViewer::mouseLeavePlotArea);
        QSignalSpy chartLeaves(&rig.viewer, &QChartViewer::mouseLeaveChart);
        for (int i = 0; i < 3; ++i)
            rig.move(100 + 10 * i, 1000 + 2 * i);
        QCOMPARE(rig.viewer.getPlotAreaMouseX(), 100);
        QTRY_COMPARE(moves.count(), 2);
        QCOMPARE(rig.viewer.getPlotAreaMouseX(), 120);
        for (qint64 t = 1010; t < 1255; t += 5)
            rig.move(100 + int(t - 1000) / 10, t);
        QCOMPARE(moves.count(), 2);
        rig.move(200, 1255);
        QCOMPARE(moves.count(), 3);
        rig.move(299, 1400);
        QCOMPARE(rig.viewer.getPlotAreaMouseX(), 45 + 250);
        rig.move(5, 1500);
        QCOMPARE(rig.viewer.getPlotAreaMouseX(), 45);
        QCOMPARE(plotLeaves.count(), 1);

        rig.move(100, 1600);
        rig.move(140, 1602);
        QCOMPARE(moves.count(), 4);
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(&rig.viewer, &leave);
        QCoreApplication::sendEvent(&rig.viewer, &leave);
        QCOMPARE((QList<qsizetype>{moves.count(), rig.viewer.getPlotAreaMouseX(),
                                   plotLeaves.count(), chartLeaves.count()}),
                 (QList<qsizetype>{5, 140, 2, 2}));
    }

    // The text fills the limiting side less a margin (none for a unit), however small the
    // label, and a resize refits it.
    void valueLabelsFitTheirText()
    {
        for (const auto &[unit, text, size, fitted] :
             {std::tuple{false, "-1234.56", QSize(200, 300), QSizeF(190, 0)},
              std::tuple{false, "7", QSize(400, 40), QSizeF(0, 32)},
              std::tuple{true, "%RH", QSize(90, 200), QSizeF(90, 0)},
              std::tuple{false, "12.34", QSize(6, 40), QSizeF(0, 0)}}) {
            ResizeLabel number;
            ResizeLabelUnit unitLabel;
            QLabel *label = unit ? static_cast<QLabel *>(&unitLabel) : &number;
            label->setText(text);
            label->resize(size);
            label->show();
            unit ? unitLabel.fitFont() : number.fitFont();
            const QFontMetricsF metrics(label->font());
            const QSizeF real(metrics.horizontalAdvance(text), metrics.height());
            const auto near = [](qreal got, qreal want, qreal share) {
                return !want || qAbs(got - want) < want * share;
            };
            QVERIFY2(real.width() > 0 && near(real.width(), fitted.width(), 0.08) &&
                         near(real.height(), fitted.height(), 0.1),
                     text);
            const qreal before = label->font().pointSizeF();
            label->resize(size * 2);
            QVERIFY(fitted.isNull() || label->font().pointSizeF() > before * 1.5);
        }
    }

    // Frames of one size share a drawn gradient per style: a frame shows its own style's colour
    // whatever another frame drew before it, and follows its own style's changes.
    void valueFramesShowTheirOwnStyle()
    {
        ValueFrame frames[2];
        const auto hue = [](ValueFrame &frame, const char *style) {
            TileStyle::apply(&frame, style);
            const QImage drawn = frame.grab().toImage();
            return drawn.pixelColor(drawn.width() - 4, drawn.height() - 4);
        };
        for (ValueFrame &frame : frames) {
            frame.setObjectName(QStringLiteral("frame_value"));
            frame.resize(120, 60);
            frame.show();
        }
        const QColor normal = hue(frames[0], TileStyle::normal);
        const QColor alarm = hue(frames[1], TileStyle::alarm);
        QVERIFY(normal.green() > normal.red() + 40 && alarm.red() > alarm.green() + 40);
        QCOMPARE(hue(frames[0], TileStyle::alarm), alarm);
        QCOMPARE(hue(frames[1], TileStyle::normal), normal);
        // A value label on a frame paints the frame's gradient under its text.
        ResizeLabel label(&frames[1]);
        label.setStyleSheet(QStringLiteral("background-color: transparent;"));
        label.setGeometry(70, 30, 50, 30);
        label.show();
        QCOMPARE(label.grab().toImage().pixelColor(45, 25),
                 frames[1].grab().toImage().pixelColor(115, 55));
    }

    // One device's header, tiles and charts; reports of other devices change nothing, and a
    // value is refitted only when its length changes, so digits keep their size.
    void theDetailViewShowsItsDevice()
    {
        ChartView view;
        view.resize(900, 620);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        auto text = [&](const char *name) { return child<QLabel>(&view, name)->text(); };
        auto style = [&](const char *name) { return child<QFrame>(&view, name)->styleSheet(); };
        auto chart = [&](const char *name) {
            return child<QChartViewerLabel>(&view, name)->findChild<QChartViewer *>();
        };
        ConfiguredDevice usb("KX0001", LINK_SERIAL), device("024B58000001", LINK_TCP);
        usb.setDeviceName("Cold room");
        view.setDevice(&usb);
        QCOMPARE(text("label_serialnumber") + "|" + text("label_device"), "SN : KX0001|Cold room");
        QCOMPARE(child<QLabel>(&view, "label_device_type")->pixmap().toImage(),
                 QPixmap(":/img/icon_usb.png").toImage());
        QVERIFY(child<QPushButton>(&view, "btn_network")->isHidden());

        device.setDeviceInterface("127.0.0.1");
        device.setPollInterval(5000);
        device.setUnits(1, 3);
        view.setDevice(&device);
        QCOMPARE(text("label_serialnumber") + "|" + text("label_ch2_device"),
                 "MAC : 024B58000001|127.0.0.1");
        QVERIFY(!child<QPushButton>(&view, "btn_network")->isHidden());
        QSignalSpy popups(&view, &ChartView::popupNetworkSetting);
        child<QPushButton>(&view, "btn_network")->click();
        QCOMPARE(popups.count(), 1);
        view.deviceConnected("KX0002");
        QCOMPARE(style("frame_ch1_value"), QLatin1String(TileStyle::grey));
        view.deviceConnected("024B58000001");
        QCOMPARE(style("frame_ch1_value"), QLatin1String(TileStyle::normal));

        const Samples s = samples(5000);
        auto *number = child<ResizeLabel>(&view, "label_ch1_number");
        view.updateData(s.time, s.values, s.ch2, "21.50", "45.00");
        QCOMPARE(number->text(), QStringLiteral("21.50"));
        QCOMPARE(text("label_ch1_unit") + text("label_ch2_unit"), QString(QChar(0xB0)) + "C%RH");
        number->setFont(QFont(number->font().family(), 3));
        device.setAlarm2(true);
        view.updateData(s.time, s.values, s.ch2, "22.75", "95.50");
        QVERIFY(number->font().pointSizeF() == 3 && style("frame_ch2_value") == TileStyle::alarm);
        view.updateData(s.time, s.values, s.ch2, "-122.75", "95.50");
        QVERIFY(number->font().pointSizeF() > 3 * 2);
        // Values of the same size lay out nothing above their labels' hosts.
        for (int level = 0; level < 8; ++level)
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        struct : QObject
        {
            int layouts = 0;
            bool eventFilter(QObject *watched, QEvent *event) override
            {
                layouts += event->type() == QEvent::LayoutRequest &&
                           !watched->objectName().endsWith("_host");
                return false;
            }
        } counter;
        view.installEventFilter(&counter);
        for (QWidget *widget : view.findChildren<QWidget *>())
            widget->installEventFilter(&counter);
        view.updateData(s.time, s.values, s.ch2, "-123.50", "95.25");
        view.updateData(s.time, s.values, s.ch2, "-122.75", "95.50");
        QCoreApplication::processEvents();
        QCOMPARE(counter.layouts, 0);

        // Both charts end at the newest sample and span 240 intervals.
        QTRY_COMPARE(chart("label_ch1_chart")->getChart()->xAxisRange().upper, NEWEST);
        QTRY_COMPARE(chart("label_ch2_chart")->getChart()->xAxisRange().upper, NEWEST);
        XYChart *ch1 = chart("label_ch1_chart")->getChart();
        QCOMPARE(ch1->xAxisRange().lower, NEWEST - 1200);
        QVERIFY(ch1->dynamicTexts().contains(" CH1:  " + s.at(CHART_POINTS - 1) + " "));
        mouseMove(chart("label_ch1_chart"), QPoint(ch1->xCoor(s.time[101]), 60));
        QVERIFY(ch1->dynamicTexts().contains(" CH1:  " + s.at(101) + " "));
        QVERIFY(chart("label_ch2_chart")->getChart()->dynamicTexts().contains(" CH2:  42.00 "));
        auto *label = child<QChartViewerLabel>(&view, "label_ch1_chart");
        QCOMPARE(ch1->plotArea(), QRect(45, 25, label->width() - 60, label->height() - 55));
        view.resize(1100, 700);
        QTRY_COMPARE(chart("label_ch1_chart")->size(), label->size() - QSize(10, 0));

        view.deviceDisconnected("KX0002");
        QCOMPARE(text("label_ch1_number"), QStringLiteral("-122.75"));
        view.deviceDisconnected("024B58000001");
        QCOMPARE(text("label_ch1_number") + text("label_ch2_unit"), QString());
        QCOMPARE(style("frame_ch2_value"), QLatin1String(TileStyle::grey));
        view.clearView();
        QCOMPARE(view.device(), nullptr);
        QVERIFY(child<QPushButton>(&view, "btn_network")->isHidden());
        QTRY_VERIFY(!chart("label_ch1_chart")->getChart()->hasLayer());
    }
};

QTEST_MAIN(TestView)
#include "tst_view.moc"
