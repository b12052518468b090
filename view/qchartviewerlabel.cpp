#include "view/qchartviewerlabel.h"

QChartViewerLabel::QChartViewerLabel(QWidget *parent) : QLabel(parent) {}

void QChartViewerLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    emit refreshChart();
}
