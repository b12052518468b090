#pragma once

#include "device/configureddevice.h"

// Owns the loggers a test makes, in the order it made them.
class DeviceFactory
{
public:
    ConfiguredDevice *add(const QString &number, int linkType, const QString &name = QString(),
                          const QString &address = QString(), quint16 port = 23, int dashboard = 0)
    {
        auto *device = new ConfiguredDevice(number, linkType, &m_owner);
        device->setConnection(name, device->ch1Name(), device->ch2Name(), address, port);
        device->setDashboardNumber(dashboard);
        m_devices.append(device);
        return device;
    }
    QList<ConfiguredDevice *> list() const { return m_devices; }
    // Deletes one logger while views may still point at it.
    void remove(int index) { delete m_devices.takeAt(index); }
    void clear()
    {
        qDeleteAll(m_devices);
        m_devices.clear();
    }

private:
    QObject m_owner;
    QList<ConfiguredDevice *> m_devices;
};
