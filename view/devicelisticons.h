#pragma once

#include <QHash>
#include <QIcon>
#include <QObject>

class ConfiguredDevice;
class QListWidgetItem;

// Keeps the icon of each device's entry in the device list in step with what its link
// reports: the disconnected icon from the moment the entry is attached until the next report.
class DeviceListIcons : public QObject
{
    Q_OBJECT

public:
    explicit DeviceListIcons(QObject *parent = nullptr);

    void attach(ConfiguredDevice *device, QListWidgetItem *item);
    void detach(ConfiguredDevice *device);
    QListWidgetItem *item(ConfiguredDevice *device) const { return m_items.value(device); }

    const QIcon &connectedIcon() const { return m_connectedIcon; }
    const QIcon &disconnectedIcon() const { return m_disconnectedIcon; }

private:
    QIcon m_connectedIcon;
    QIcon m_disconnectedIcon;
    QHash<ConfiguredDevice *, QListWidgetItem *> m_items;
};
