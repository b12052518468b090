#pragma once

#include <QLabel>

// Hosts a chart viewer and reports its own resizing, so the chart is rebuilt at the new size.
class QChartViewerLabel : public QLabel
{
    Q_OBJECT

public:
    explicit QChartViewerLabel(QWidget *parent = nullptr);

signals:
    void refreshChart();

protected:
    void resizeEvent(QResizeEvent *event) override;
};
