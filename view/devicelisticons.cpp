#include "view/devicelisticons.h"

#include "device/configureddevice.h"

#include <QListWidgetItem>

DeviceListIcons::DeviceListIcons(QObject *parent)
    : QObject(parent), m_connectedIcon(QStringLiteral(":/img/DeviceConnectingSymbol.png")),
      m_disconnectedIcon(QStringLiteral(":/img/DeviceDisconnectedSymbol.png"))
{
}

void DeviceListIcons::attach(ConfiguredDevice *device, QListWidgetItem *item)
{
    detach(device);
    if (!device || !item)
        return;
    m_items.insert(device, item);
    item->setIcon(m_disconnectedIcon);
    connect(device, &ConfiguredDevice::connectionReported, this, [this, device](bool connected) {
        // Every reply reports the link: an icon set again, though the same, has the list lay
        // out and repaint all its entries.
        const QIcon &icon = connected ? m_connectedIcon : m_disconnectedIcon;
        QListWidgetItem *entry = m_items.value(device);
        if (entry && entry->icon().cacheKey() != icon.cacheKey())
            entry->setIcon(icon);
    });
    connect(device, &QObject::destroyed, this, [this, device] { m_items.remove(device); });
}

void DeviceListIcons::detach(ConfiguredDevice *device)
{
    if (!m_items.remove(device))
        return;
    disconnect(device, nullptr, this, nullptr);
}
