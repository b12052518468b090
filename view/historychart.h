#pragma once

#include "view/historyline.h"

#include <qcustomplot.h>

class ChartOverlay;
class QTimer;

// One logger's line on a history chart.
struct HistorySeries
{
    QString name;
    QString unit;
    QColor color;
    QVector<HistoryBucket> buckets;
};

// One channel of up to eight loggers over a time range: a date axis in local time, the mouse
// wheel zooms and dragging pans the time axis, and a track line with the values under the
// mouse follows it as in the detail view. After the range settles, rangeRequested asks the
// owner for buckets of the new range.
class HistoryChart : public QCustomPlot
{
    Q_OBJECT

public:
    HistoryChart(int channel, QWidget *parent = nullptr);

    static QColor seriesColor(int index);

    void setSeries(const QVector<HistorySeries> &series, qint64 intervalSeconds);
    void setTimeRange(qint64 from, qint64 to);
    void setTitle(const QString &title);
    void setMessage(const QString &text);
    // Columns of pixels of the plot: the most buckets worth asking for.
    int plotColumns() const;
    // The track line at a pixel column; returns the texts it shows.
    QStringList trackAt(int x);

signals:
    void rangeRequested(qint64 from, qint64 to);

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    void onRangeChanged(const QCPRange &range);
    void updateTickFormat();

    int m_nChannel;
    QVector<HistorySeries> m_series;
    ChartOverlay *m_pOverlay = nullptr;
    QCPItemText *m_pMessage = nullptr;
    QTimer *m_pSettle = nullptr;
    bool m_bSettingRange = false;
};
