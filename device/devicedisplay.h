#pragma once

#include <QString>

// What a configured device pushes into the widgets that show it. The device holds
// non-owning pointers to these; the owners clear them before the widgets go away.
// Kept here so the device layer does not depend on the display layer.

// One dashboard tile: one channel of one device.
class DeviceTileView
{
public:
    virtual ~DeviceTileView() = default;
    virtual void setValue(const QString &text) = 0;
    virtual void deviceConnected(const QString &deviceNumber) = 0;
    virtual void deviceDisconnected(const QString &deviceNumber) = 0;
};

// The detail view with the two charts.
class DeviceDetailView
{
public:
    virtual ~DeviceDetailView() = default;
    // Three arrays of CHART_POINTS doubles, oldest first, and the two value texts.
    virtual void updateData(const double *time, const double *ch1, const double *ch2,
                            const QString &text1, const QString &text2) = 0;
    virtual void deviceConnected(const QString &deviceNumber) = 0;
    virtual void deviceDisconnected(const QString &deviceNumber) = 0;
};
