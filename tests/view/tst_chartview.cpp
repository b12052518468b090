#include "device/configureddevice.h"
#include "device/pollinterval.h"
#include "tests/support/widgetfinder.h"
#include "view/chartview.h"
#include "view/qchartviewer.h"
#include "view/qchartviewerlabel.h"
#include "view/resizelabel.h"
#include "view/tilestyle.h"
#include "view/xychart.h"

#include <QFrame>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

constexpr double NEWEST = 1700000000.0;

struct Buffers
{
    double time[CHART_POINTS];
    double ch1[CHART_POINTS];
    double ch2[CHART_POINTS];
};

Buffers buffers(int intervalMs)
{
    Buffers b;
    for (int i = 0; i < CHART_POINTS; ++i) {
        b.time[i] = NEWEST - (CHART_POINTS - 1 - i) * intervalMs / 1000.0;
        b.ch1[i] = 20.0 + (i % 10) * 0.1;
        b.ch2[i] = 40.0 + (i % 5) * 0.5;
    }
    return b;
}

std::unique_ptr<ConfiguredDevice> makeDevice(bool usb)
{
    auto device = std::make_unique<ConfiguredDevice>(usb ? "KX0001" : "024B58000001",
                                                     usb ? LINK_SERIAL : LINK_TCP);
    if (usb)
        device->setDeviceName("Cold room");
    device->setDeviceInterface(usb ? "/dev/ttyACM0" : "127.0.0.1");
    device->setPollInterval(5000);
    device->setUnits(1, 3);
    return device;
}

} // namespace

class TestChartView : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ChartView> m_view;

    template <typename T> T *child(const char *name) const
    {
        return ::child<T>(m_view.get(), name);
    }
    QString text(const char *name) const { return child<QLabel>(name)->text(); }
    QString style(const char *name) const { return child<QFrame>(name)->styleSheet(); }
    QChartViewer *viewer(const char *chartLabel) const
    {
        return child<QChartViewerLabel>(chartLabel)->findChild<QChartViewer *>();
    }
    XYChart *chart(const char *chartLabel) const { return viewer(chartLabel)->getChart(); }

private slots:
    void init()
    {
        m_view = std::make_unique<ChartView>();
        m_view->resize(900, 620);
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
    }

    void cleanup() { m_view.reset(); }

    // A network logger is named by its address and has the network button.
    void theHeaderShowsTheLinkOfTheDevice_data()
    {
        QTest::addColumn<bool>("usb");
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("icon");
        QTest::addColumn<QString>("name");
        QTest::newRow("usb") << true << "SN : KX0001"
                             << ":/img/icon_usb.png"
                             << "Cold room";
        QTest::newRow("network") << false << "MAC : 024B58000001"
                                 << ":/img/icon_lan.png"
                                 << "127.0.0.1";
    }

    void theHeaderShowsTheLinkOfTheDevice()
    {
        QFETCH(bool, usb);
        QFETCH(QString, serial);
        QFETCH(QString, icon);
        QFETCH(QString, name);
        auto device = makeDevice(usb);
        const Buffers b = buffers(5000);
        device->setChartData(b.time, b.ch1, b.ch2);
        m_view->setDevice(device.get());
        QCOMPARE(text("label_serialnumber"), serial);
        QCOMPARE(child<QLabel>("label_device_type")->pixmap().toImage(), QPixmap(icon).toImage());
        QCOMPARE(text("label_device"), name);
        QCOMPARE(text("label_ch2_device"), name);
        QCOMPARE(text("label_ch1_desc"), QStringLiteral("CH1"));
        auto *network = child<QPushButton>("btn_network");
        QCOMPARE(network->isHidden(), usb);
        QSignalSpy popups(m_view.get(), &ChartView::popupNetworkSetting);
        if (!usb) {
            network->click();
            QCOMPARE(popups.count(), 1);
        }

        // Cleared, the view forgets the device and its charts.
        QTRY_VERIFY(chart("label_ch1_chart")->hasLayer());
        m_view->clearView();
        QVERIFY(network->isHidden());
        QCOMPARE(m_view->device(), nullptr);
        QCOMPARE(text("label_ch1_desc"), QString());
        QTRY_VERIFY(!chart("label_ch1_chart")->hasLayer());
        m_view->updateData(b.time, b.ch1, b.ch2, "1.00", "2.00");
        QCOMPARE(text("label_ch1_number"), QString());
    }

    // Reports of other devices change nothing; a value is refitted only when its length
    // changes, so digits keep their size from sample to sample.
    void theValueTilesFollowTheirOwnDevice()
    {
        auto device = makeDevice(true);
        m_view->setDevice(device.get());
        QCOMPARE(style("frame_ch1_value"), QLatin1String(TileStyle::grey));
        m_view->deviceConnected(QStringLiteral("KX0002"));
        QCOMPARE(style("frame_ch1_value"), QLatin1String(TileStyle::grey));
        device->deviceConnected();
        m_view->deviceConnected(QStringLiteral("KX0001"));
        QCOMPARE(style("frame_ch1_value"), QLatin1String(TileStyle::normal));

        const Buffers b = buffers(5000);
        auto *number = child<ResizeLabel>("label_ch1_number");
        m_view->updateData(b.time, b.ch1, b.ch2, "21.50", "45.00");
        QCOMPARE(number->text(), QStringLiteral("21.50"));
        QCOMPARE(text("label_ch1_unit"), QString(QChar(0x00B0)) + "C");
        QCOMPARE(text("label_ch2_unit"), QStringLiteral("%RH"));
        QFont marked = number->font();
        marked.setPointSizeF(3.25);
        number->setFont(marked);
        m_view->updateData(b.time, b.ch1, b.ch2, "22.75", "45.50");
        QCOMPARE(number->font().pointSizeF(), 3.25);
        m_view->updateData(b.time, b.ch1, b.ch2, "-122.75", "45.50");
        QVERIFY(number->font().pointSizeF() > 3.25 * 2);

        device->setAlarm2(true);
        m_view->updateData(b.time, b.ch1, b.ch2, "21.50", "95.00");
        QCOMPARE(style("frame_ch1_value"), QLatin1String(TileStyle::normal));
        QCOMPARE(style("frame_ch2_value"), QLatin1String(TileStyle::alarm));

        m_view->deviceDisconnected(QStringLiteral("KX0002"));
        QCOMPARE(text("label_ch1_number"), QStringLiteral("21.50"));
        m_view->deviceDisconnected(QStringLiteral("KX0001"));
        QCOMPARE(text("label_ch1_number"), QString());
        QCOMPARE(text("label_ch2_unit"), QString());
        QCOMPARE(style("frame_ch2_value"), QLatin1String(TileStyle::grey));
    }

    void chartsEndAtTheNewestSampleAndSpanTheViewLength()
    {
        auto device = makeDevice(true);
        m_view->setDevice(device.get());
        const Buffers b = buffers(5000);
        m_view->updateData(b.time, b.ch1, b.ch2, "20.90", "42.00");
        QTRY_VERIFY(chart("label_ch1_chart")->hasLayer() && chart("label_ch2_chart")->hasLayer());
        for (const char *label : {"label_ch1_chart", "label_ch2_chart"}) {
            QCOMPARE(chart(label)->xAxisRange().upper, NEWEST);
            QCOMPARE(chart(label)->xAxisRange().lower, NEWEST - 1200);
            QVERIFY(chart(label)->dynamicTexts().contains(
                "View Length : 240 samples   Interval : 5 sec "));
        }
        QCOMPARE(chart("label_ch1_chart")->dataSetColor(0), 0xFF0000u);
        QCOMPARE(chart("label_ch2_chart")->dataSetColor(0), 0x00CC00u);
        QCOMPARE(chart("label_ch2_chart")->dataSetName(0), QStringLiteral("CH2"));

        device->setPollInterval(2000);
        const Buffers b2 = buffers(2000);
        m_view->updateData(b2.time, b2.ch1, b2.ch2, "20.90", "42.00");
        QTRY_COMPARE(chart("label_ch1_chart")->xAxisRange().lower, NEWEST - 480);
        QTRY_COMPARE(chart("label_ch2_chart")->xAxisRange().lower, NEWEST - 480);
        QVERIFY(chart("label_ch1_chart")
                    ->dynamicTexts()
                    .contains("View Length : 240 samples   Interval :  "));

        // The track line sits on the newest sample until the mouse moves over a chart.
        QChartViewer *v = viewer("label_ch1_chart");
        QVERIFY(v->getChart()->dynamicTexts().contains(" CH1:  20.90 "));
        const QPointF pos(v->getChart()->xCoor(b2.time[101]), 60);
        QMouseEvent move(QEvent::MouseMove, pos, pos, v->mapToGlobal(pos), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(v, &move);
        QVERIFY(v->getChart()->dynamicTexts().contains(" CH1:  20.10 "));
        QVERIFY(chart("label_ch2_chart")->dynamicTexts().contains(" CH2:  42.00 "));
    }

    void chartFollowsTheSizeOfItsLabel()
    {
        auto *label = child<QChartViewerLabel>("label_ch1_chart");
        for (const QSize size : {QSize(900, 620), QSize(1100, 700)}) {
            m_view->resize(size);
            QTRY_COMPARE(chart("label_ch1_chart")->width(), label->width() - 10);
            QCOMPARE(chart("label_ch1_chart")->height(), label->height());
            QCOMPARE(chart("label_ch1_chart")->plotArea(),
                     QRect(45, 25, label->width() - 60, label->height() - 55));
            QCOMPARE(viewer("label_ch1_chart")->size(),
                     QSize(label->width() - 10, label->height()));
        }
    }
};

QTEST_MAIN(TestChartView)
#include "tst_chartview.moc"
