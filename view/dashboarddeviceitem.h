#pragma once

#include "device/configureddevice.h"
#include "device/devicedisplay.h"

#include <QPointer>
#include <QWidget>

class QMouseEvent;
class TileRefresher;

namespace Ui {
class DashBoardDeviceItem;
}

// One dashboard tile: the name, latest value and unit of one channel of one device, coloured
// by the channel's state. The device pushes values and connection changes into it.
//
// What the device pushes is kept as the tile's pending state and shown only while the tile is
// visible: a tile on a dashboard that is not shown does no layout, font fitting or painting
// and catches up when it is shown. With a refresher, visible tiles show their values in
// batches, so a burst of replies repaints the dashboard once.
class DashBoardDeviceItem : public QWidget, public DeviceTileView
{
    Q_OBJECT

public:
    DashBoardDeviceItem(ConfiguredDevice *device, bool channel1, QWidget *parent = nullptr);
    ~DashBoardDeviceItem() override;

    void setValue(const QString &text) override;
    void deviceConnected(const QString &deviceNumber) override;
    void deviceDisconnected(const QString &deviceNumber) override;

    void refresh();
    void setAlarmStyle(bool alarm);
    QString unitText(int unitIndex) const;

    ConfiguredDevice *device() const;
    bool isChannel1() const { return m_bChannel1; }
    // The device answered before and is now marked disconnected.
    bool isCommunicationLost() const { return m_bCommunicationLost; }

    void setRefresher(TileRefresher *refresher);
    // Shows the pending state now; does nothing while the tile is not visible.
    void applyPending();
    // True while something pushed into the tile is not shown yet.
    bool hasPending() const { return m_bPending; }

signals:
    void clicked(ConfiguredDevice *device);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void readDevice();
    bool channelAlarm() const;
    void changed(bool batched);

    Ui::DashBoardDeviceItem *ui;
    // Guarded: a click on a tile whose device is already gone must not reach the project centre.
    QPointer<ConfiguredDevice> m_pDevice;
    int m_nUnit = 0;
    QString m_strCustom;
    bool m_bChannel1 = true;

    QPointer<TileRefresher> m_pRefresher;
    // The state to show: names, value, unit and the frame's style sheet.
    QString m_strName;
    QString m_strDesc;
    QString m_strValue;
    QString m_strUnit;
    const char *m_pStyle = nullptr;
    bool m_bRefitUnit = false;
    bool m_bPending = false;
    bool m_bSeenConnected = false;
    bool m_bCommunicationLost = false;
};
