#pragma once

#include "device/configureddevice.h"

#include <QList>

#include <memory>
#include <vector>

// Owns the loggers a test makes, in the order it made them.
class DeviceFactory
{
public:
    ConfiguredDevice *add(const QString &number, int linkType, const QString &name = QString(),
                          const QString &address = QString(), quint16 port = 23, int dashboard = 0)
    {
        m_devices.push_back(std::make_unique<ConfiguredDevice>(number, linkType));
        ConfiguredDevice *device = m_devices.back().get();
        device->setConnection(name, device->ch1Name(), device->ch2Name(), address, port);
        device->setDashboardNumber(dashboard);
        return device;
    }
    QList<ConfiguredDevice *> list() const
    {
        QList<ConfiguredDevice *> result;
        for (const auto &device : m_devices)
            result.append(device.get());
        return result;
    }
    ConfiguredDevice *at(int index) const { return m_devices.at(std::size_t(index)).get(); }
    // Deletes one logger while views may still point at it.
    void remove(int index) { m_devices.erase(m_devices.begin() + index); }
    void clear() { m_devices.clear(); }

private:
    std::vector<std::unique_ptr<ConfiguredDevice>> m_devices;
};
