#pragma once

#include <QString>

class XYChart;

// The live chart of one channel in the detail view, for a host label of labelWidth x
// labelHeight pixels: CHART_POINTS samples, oldest first, times in chart time (seconds).
// The x axis spans CHART_POINTS poll intervals ending at the newest sample; before the first
// sample the chart has no line. The caller owns the chart.
XYChart *buildChannelChart(int labelWidth, int labelHeight, const double *time,
                           const double *values, quint32 color, const QString &name,
                           int intervalMs);

// Moves a chart that buildChannelChart made for the same label size and interval on to the
// new samples, when they are its own moved on by at most one sample. Returns false, leaving
// the chart as it was, when it has to be built anew.
bool advanceChannelChart(XYChart *chart, int labelWidth, int labelHeight, const double *time,
                         const double *values, int intervalMs);

// The track line at mouseX with the values under it, the legend, the date of the tracked
// sample and the view length; replaces the chart's previous dynamic layer.
void drawTrackLine(XYChart *chart, int mouseX, const QString &intervalText);
