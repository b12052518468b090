#pragma once

#include "device/devicedisplay.h"
#include "device/devicetypes.h"

#include <QMouseEvent>
#include <QPixmap>
#include <QWidget>

class ConfiguredDevice;
class QChartViewer;
class QChartViewerLabel;
class QFrame;
class QLabel;
class ResizeLabel;
class ResizeLabelUnit;

namespace Ui {
class ChartView;
}

// The detail view of one configured device: identity, connection state, the latest value of
// each channel and a live chart per channel over the last CHART_POINTS samples, with a track
// line that follows the mouse. One view is reused for whichever device is shown; the shown
// device pushes every sample into it. A sample pushed while the view is hidden is drawn when
// the view is shown.
class ChartView : public QWidget, public DeviceDetailView
{
    Q_OBJECT

public:
    explicit ChartView(QWidget *parent = nullptr);
    ~ChartView() override;

    void setDevice(ConfiguredDevice *device);
    void clearView();
    // While held, requests to draw the charts are only noted; releasing draws them once (or,
    // for a hidden view, when it is shown). Switching devices clears the view, lays it out and
    // gives it the new device's data: each step would otherwise build both charts anew.
    void holdCharts();
    void releaseCharts();
    void updateInfo();

    void updateData(const double *time, const double *ch1, const double *ch2, const QString &text1,
                    const QString &text2) override;
    void deviceConnected(const QString &deviceNumber) override;
    void deviceDisconnected(const QString &deviceNumber) override;

    ConfiguredDevice *device() const { return m_pDevice; }

protected:
    void showEvent(QShowEvent *event) override;

signals:
    void popupSensingOption();
    void popupNetworkSetting();

public slots:
    void onMouseMovePlotArea(QMouseEvent *event);
    void onMouseMovePlotArea2(QMouseEvent *event);
    void updateChart();
    void drawChart();
    void drawChart2();
    void slotPopupSensingOption();
    void slotPopupNetwork();

private:
    struct Channel
    {
        QFrame *frame;
        ResizeLabel *number;
        ResizeLabelUnit *unit;
    };

    void setConnected(bool connected);
    void showPending();
    void clearBuffers();
    void drawChannelChart(QChartViewer *viewer, const QChartViewerLabel *label,
                          const double *values, quint32 color, const QString &name);
    void trackMouse(QChartViewer *viewer);
    int devicePollInterval() const;
    void showValue(const Channel &channel, const QString &text, int unit, const QString &custom,
                   bool alarm);

    Ui::ChartView *ui;
    Channel m_ch1;
    Channel m_ch2;
    QPixmap m_connectingPixmap;
    QPixmap m_disconnectedPixmap;
    QPixmap m_lanPixmap;
    QPixmap m_usbPixmap;
    int m_nCh1Unit = 0;
    int m_nCh2Unit = 0;
    QString m_strCh1Custom;
    QString m_strCh2Custom;
    ConfiguredDevice *m_pDevice = nullptr;
    QChartViewer *m_pViewer1 = nullptr;
    QChartViewer *m_pViewer2 = nullptr;
    double m_timeStamps[CHART_POINTS];
    double m_dataSeriesA[CHART_POINTS];
    double m_dataSeriesB[CHART_POINTS];
    // The latest sample's texts, and what of it is not shown yet (while the view is hidden).
    QString m_strText1;
    QString m_strText2;
    bool m_bChartPending = false;
    bool m_bValuesPending = false;
    bool m_bChartsHeld = false;
    bool m_bDrawHeld = false;
};
