#pragma once

#include "device/configureddevice.h"
#include "device/devicedisplay.h"

#include <QPointer>
#include <QWidget>

class QMouseEvent;

namespace Ui {
class DashBoardDeviceItem;
}

// One dashboard tile: the name, latest value and unit of one channel of one device, coloured
// by the channel's state. The device pushes values and connection changes into it.
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

signals:
    void clicked(ConfiguredDevice *device);

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    void readDevice();
    bool channelAlarm() const;
    void setGreyStyle();

    Ui::DashBoardDeviceItem *ui;
    // Guarded: a click on a tile whose device is already gone must not reach the project centre.
    QPointer<ConfiguredDevice> m_pDevice;
    int m_nUnit = 0;
    QString m_strCustom;
    bool m_bChannel1 = true;
    bool m_bSeenConnected = false;
    bool m_bCommunicationLost = false;
};
