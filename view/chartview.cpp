#include "view/chartview.h"
#include "view/elidedlabel.h"

#include "device/configureddevice.h"
#include "device/pollinterval.h"
#include "ui_chartview.h"
#include "view/channelchart.h"
#include "view/labelhost.h"
#include "view/qchartviewer.h"
#include "view/qchartviewerlabel.h"
#include "view/resizelabel.h"
#include "view/resizelabelunit.h"
#include "view/tilestyle.h"
#include "view/unittext.h"
#include "view/xychart.h"

#include <algorithm>

namespace {

constexpr quint32 CH1_COLOR = 0xFF0000;
constexpr quint32 CH2_COLOR = 0x00CC00;

} // namespace

ChartView::ChartView(QWidget *parent) : QWidget(parent), ui(new Ui::ChartView)
{
    ui->setupUi(this);
    m_ch1 = {ui->frame_ch1_value, ui->label_ch1_number, ui->label_ch1_unit};
    m_ch2 = {ui->frame_ch2_value, ui->label_ch2_number, ui->label_ch2_unit};
    // A new value must not re-lay out the window unless its size changed.
    LabelHost::install(ui->label_ch1_number);
    LabelHost::install(ui->label_ch2_number);
    clearBuffers();
    m_connectingPixmap.load(QStringLiteral(":/img/DeviceConnectingSymbol.png"));
    m_disconnectedPixmap.load(QStringLiteral(":/img/DeviceDisconnectedSymbol.png"));
    m_lanPixmap.load(QStringLiteral(":/img/icon_lan.png"));
    m_usbPixmap.load(QStringLiteral(":/img/icon_usb.png"));

    m_pViewer1 = new QChartViewer(ui->label_ch1_chart);
    connect(m_pViewer1, &QChartViewer::viewPortChanged, this, &ChartView::drawChart);
    connect(m_pViewer1, &QChartViewer::mouseMovePlotArea, this, &ChartView::onMouseMovePlotArea);
    connect(ui->label_ch1_chart, &QChartViewerLabel::refreshChart, this, &ChartView::drawChart);

    m_pViewer2 = new QChartViewer(ui->label_ch2_chart);
    connect(m_pViewer2, &QChartViewer::viewPortChanged, this, &ChartView::drawChart2);
    connect(m_pViewer2, &QChartViewer::mouseMovePlotArea, this, &ChartView::onMouseMovePlotArea2);
    connect(ui->label_ch2_chart, &QChartViewerLabel::refreshChart, this, &ChartView::drawChart2);

    connect(ui->btn_setting, &QPushButton::clicked, this, &ChartView::slotPopupSensingOption);
    connect(ui->btn_network, &QPushButton::clicked, this, &ChartView::slotPopupNetwork);

    ui->btn_network->hide();
    updateChart();
}

ChartView::~ChartView()
{
    // The viewers do not own their charts.
    for (QChartViewer *viewer : {m_pViewer1, m_pViewer2}) {
        XYChart *chart = viewer->getChart();
        viewer->setChart(nullptr);
        delete chart;
    }
    delete ui;
}

void ChartView::clearBuffers()
{
    std::fill(std::begin(m_timeStamps), std::end(m_timeStamps), NO_VALUE);
    std::fill(std::begin(m_dataSeriesA), std::end(m_dataSeriesA), NO_VALUE);
    std::fill(std::begin(m_dataSeriesB), std::end(m_dataSeriesB), NO_VALUE);
}

void ChartView::setDevice(ConfiguredDevice *device)
{
    if (!device)
        return;
    m_pDevice = device;
    setConnected(device->isConnected());
    if (!device->ch1Value().isEmpty()) {
        ui->label_ch1_number->setText(device->ch1Value());
        ui->label_ch1_number->fitFont();
    }
    if (!device->ch2Value().isEmpty()) {
        ui->label_ch2_number->setText(device->ch2Value());
        ui->label_ch2_number->fitFont();
    }
    updateInfo();
    device->chartData(m_timeStamps, m_dataSeriesA, m_dataSeriesB);
    updateChart();
}

void ChartView::updateInfo()
{
    if (!m_pDevice)
        return;
    const QString name =
        m_pDevice->deviceName().isEmpty() ? m_pDevice->deviceInterface() : m_pDevice->deviceName();
    const QString ch1Name =
        m_pDevice->ch1Name().isEmpty() ? QStringLiteral("CH1") : m_pDevice->ch1Name();
    const QString ch2Name =
        m_pDevice->ch2Name().isEmpty() ? QStringLiteral("CH2") : m_pDevice->ch2Name();
    ui->label_device->setText(name);
    ui->label_ch1_device->setText(name);
    ui->label_ch2_device->setText(name);
    ui->label_ch1_desc->setText(ch1Name);
    ui->label_ch2_desc->setText(ch2Name);

    if (m_pDevice->linkType() == LINK_SERIAL) {
        ui->label_serialnumber->setText(QStringLiteral("SN : ") + m_pDevice->deviceNumber());
        ui->label_device_type->setPixmap(m_usbPixmap);
    } else {
        ui->label_serialnumber->setText(QStringLiteral("MAC : ") + m_pDevice->deviceNumber());
        ui->label_device_type->setPixmap(m_lanPixmap);
    }

    m_nCh1Unit = m_pDevice->ch1Unit();
    m_nCh2Unit = m_pDevice->ch2Unit();
    m_strCh1Custom = m_pDevice->ch1Custom();
    m_strCh2Custom = m_pDevice->ch2Custom();

    const auto refreshUnit = [](const Channel &ch, int unit, const QString &custom, bool alarm) {
        if (!ch.number->text().isEmpty()) {
            ch.unit->setText(unitText(unit, custom));
            ch.unit->fitFont();
            TileStyle::apply(ch.frame, alarm ? TileStyle::alarm : TileStyle::normal);
        } else {
            ch.unit->clear();
            TileStyle::apply(ch.frame, TileStyle::grey);
        }
    };
    refreshUnit(m_ch1, m_nCh1Unit, m_strCh1Custom, m_pDevice->alarm1());
    refreshUnit(m_ch2, m_nCh2Unit, m_strCh2Custom, m_pDevice->alarm2());

    if (m_pDevice->linkType() == LINK_TCP)
        ui->btn_network->show();
}

void ChartView::setConnected(bool connected)
{
    if (connected) {
        // Reported with every sample: setting the same pixmap again asks the window for a
        // new layout.
        if (ui->label_device_status->pixmap().cacheKey() != m_connectingPixmap.cacheKey())
            ui->label_device_status->setPixmap(m_connectingPixmap);
        TileStyle::apply(ui->frame_ch1_value, TileStyle::normal);
        TileStyle::apply(ui->frame_ch2_value, TileStyle::normal);
        return;
    }
    ui->label_device_status->setPixmap(m_disconnectedPixmap);
    // Values kept while out of sight are no longer current.
    m_bValuesPending = false;
    TileStyle::apply(ui->frame_ch1_value, TileStyle::grey);
    TileStyle::apply(ui->frame_ch2_value, TileStyle::grey);
    ui->label_ch1_number->clear();
    ui->label_ch2_number->clear();
    ui->label_ch1_unit->clear();
    ui->label_ch2_unit->clear();
}

void ChartView::deviceConnected(const QString &deviceNumber)
{
    if (m_pDevice && deviceNumber == m_pDevice->deviceNumber())
        setConnected(true);
}

void ChartView::deviceDisconnected(const QString &deviceNumber)
{
    if (m_pDevice && deviceNumber == m_pDevice->deviceNumber())
        setConnected(false);
}

void ChartView::clearView()
{
    clearBuffers();
    m_bChartPending = false;
    updateChart();
    setConnected(false);
    ui->label_device_type->clear();
    for (ElidedLabel *label : {ui->label_ch1_device, ui->label_ch2_device})
        label->setText(QString());
    for (QLabel *label : {ui->label_ch1_desc, ui->label_ch2_desc})
        label->clear();
    for (QLabel *label :
         {static_cast<QLabel *>(ui->label_ch1_number), static_cast<QLabel *>(ui->label_ch2_number),
          static_cast<QLabel *>(ui->label_ch1_unit), static_cast<QLabel *>(ui->label_ch2_unit)}) {
        label->clear();
    }
    ui->btn_network->hide();
    m_pDevice = nullptr;
}

void ChartView::updateData(const double *time, const double *ch1, const double *ch2,
                           const QString &text1, const QString &text2)
{
    if (!m_pDevice)
        return;
    std::copy(time, time + CHART_POINTS, m_timeStamps);
    std::copy(ch1, ch1 + CHART_POINTS, m_dataSeriesA);
    std::copy(ch2, ch2 + CHART_POINTS, m_dataSeriesB);
    m_strText1 = text1;
    m_strText2 = text2;
    m_bChartPending = true;
    m_bValuesPending = true;
    // Out of sight the sample is only kept; showing the view draws the latest one.
    if (isVisible())
        showPending();
}

void ChartView::showPending()
{
    if (m_bChartPending) {
        m_bChartPending = false;
        updateChart();
    }
    if (m_bValuesPending && m_pDevice) {
        m_bValuesPending = false;
        showValue(m_ch1, m_strText1, m_nCh1Unit, m_strCh1Custom, m_pDevice->alarm1());
        showValue(m_ch2, m_strText2, m_nCh2Unit, m_strCh2Custom, m_pDevice->alarm2());
    }
}

void ChartView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    showPending();
}

void ChartView::showValue(const Channel &channel, const QString &text, int unit,
                          const QString &custom, bool alarm)
{
    // Refitting only on a length change keeps the digits the same size from sample to sample.
    const bool refit = channel.number->text().length() != text.length();
    channel.number->setText(text);
    if (refit)
        channel.number->fitFont();
    channel.unit->setText(unitText(unit, custom));
    TileStyle::apply(channel.frame, alarm ? TileStyle::alarm : TileStyle::normal);
}

void ChartView::holdCharts()
{
    m_bChartsHeld = true;
}

void ChartView::releaseCharts()
{
    m_bChartsHeld = false;
    if (!m_bDrawHeld)
        return;
    m_bDrawHeld = false;
    if (isVisible())
        updateChart();
    else
        m_bChartPending = true;
}

void ChartView::updateChart()
{
    if (m_bChartsHeld) {
        m_bDrawHeld = true;
        return;
    }
    m_pViewer1->updateViewPort(true, true);
    m_pViewer2->updateViewPort(true, true);
}

void ChartView::drawChart()
{
    drawChannelChart(m_pViewer1, ui->label_ch1_chart, m_dataSeriesA, CH1_COLOR,
                     QStringLiteral("CH1"));
}

void ChartView::drawChart2()
{
    drawChannelChart(m_pViewer2, ui->label_ch2_chart, m_dataSeriesB, CH2_COLOR,
                     QStringLiteral("CH2"));
}

void ChartView::drawChannelChart(QChartViewer *viewer, const QChartViewerLabel *label,
                                 const double *values, quint32 color, const QString &name)
{
    if (m_bChartsHeld) {
        m_bDrawHeld = true;
        return;
    }
    const int interval = devicePollInterval();
    // A new sample moves the shown chart on by one point; only a new device, size or
    // interval builds it anew.
    XYChart *chart = viewer->getChart();
    const bool advanced = chart && advanceChannelChart(chart, label->width(), label->height(),
                                                       m_timeStamps, values, interval);
    if (!advanced)
        chart = buildChannelChart(label->width(), label->height(), m_timeStamps, values, color,
                                  name, interval);
    const QRect plot = chart->plotArea();
    const int trackX =
        viewer->isMouseOnPlotArea() ? viewer->getPlotAreaMouseX() : plot.left() + plot.width();
    drawTrackLine(chart, trackX, intervalText(interval));
    if (advanced) {
        viewer->updateDisplay();
        return;
    }
    delete viewer->getChart();
    viewer->setChart(chart);
}

int ChartView::devicePollInterval() const
{
    return m_pDevice ? m_pDevice->pollInterval() : DEFAULT_POLL_INTERVAL_MS;
}

void ChartView::trackMouse(QChartViewer *viewer)
{
    if (!viewer->getChart())
        return;
    drawTrackLine(viewer->getChart(), viewer->getPlotAreaMouseX(),
                  intervalText(devicePollInterval()));
    viewer->updateDisplay();
}

void ChartView::onMouseMovePlotArea(QMouseEvent *event)
{
    Q_UNUSED(event);
    trackMouse(m_pViewer1);
}

void ChartView::onMouseMovePlotArea2(QMouseEvent *event)
{
    Q_UNUSED(event);
    trackMouse(m_pViewer2);
}

void ChartView::slotPopupSensingOption()
{
    emit popupSensingOption();
}

void ChartView::slotPopupNetwork()
{
    emit popupNetworkSetting();
}
