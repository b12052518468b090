#include "discovery/availabledevicelist.h"
#include "store/logcategories.h"

#include "device/devicetypes.h"

#include <QDebug>

AvailableDeviceList::~AvailableDeviceList()
{
    qDeleteAll(m_availDeviceList);
}

AvailableDevice *AvailableDeviceList::findAvailableDevice(const QList<AvailableDevice *> &list,
                                                          const QString &id)
{
    for (AvailableDevice *device : list) {
        if (device && device->id == id)
            return device;
    }
    return nullptr;
}

AvailableDeviceList::UsbCheckResult
AvailableDeviceList::checkConnection(const QList<UsbPortPair> &pairs)
{
    UsbCheckResult result;
    if (!pairs.isEmpty()) {
        m_bUsbConnected = true;
        // Fewer loggers than entries: which one left is not worth working out; rebuild them all.
        if (m_serialDeviceList.size() > pairs.size())
            closeSerialDevices();
        mergeUsbPorts(pairs);
        if (m_bUsbConnectedPrev != m_bUsbConnected) {
            result.openDevices = true;
            result.listChanged = true;
        }
    } else {
        m_bUsbConnected = false;
        if (m_bUsbConnectedPrev) {
            closeSerialDevices();
            result.listChanged = true;
        }
    }
    m_bUsbConnectedPrev = m_bUsbConnected;
    return result;
}

void AvailableDeviceList::mergeUsbPorts(const QList<UsbPortPair> &pairs)
{
    for (const UsbPortPair &pair : pairs) {
        AvailableDevice *device = findAvailableDevice(m_availDeviceList, pair.serial);
        if (device) {
            if (device->address != pair.port) {
                device->address = pair.port;
                m_bUsbConnectedPrev = false;
            }
            continue;
        }
        device = new AvailableDevice;
        device->id = pair.serial;
        device->address = pair.port;
        device->port = 23;
        device->kind = LINK_SERIAL;
        m_availDeviceList.append(device);
        m_serialDeviceList.append(device);
        m_bUsbConnectedPrev = false;
    }
}

void AvailableDeviceList::closeSerialDevices()
{
    qCDebug(lcDiscovery) << "=== VelmoranMain::closeSerialDevices ===";
    for (AvailableDevice *device : std::as_const(m_serialDeviceList)) {
        if (!device)
            continue;
        qCDebug(lcDiscovery).nospace()
            << "closeSerialDevices:[" << device->address << "],serial no:[" << device->id << "]";
        if (!m_availDeviceList.removeOne(device))
            qCDebug(lcDiscovery) << "closeSerialDevices() m_availDeviceList.removeOne false : "
                                 << device->id;
        delete device;
    }
    m_serialDeviceList.clear();
}

void AvailableDeviceList::mergeDiscoveryReply(const DiscoveryReply &reply)
{
    AvailableDevice *device = findAvailableDevice(m_availDeviceList, reply.macAddress);
    if (device) {
        device->address = reply.ipAddress;
        device->port = reply.port;
        return;
    }
    device = new AvailableDevice;
    device->id = reply.macAddress;
    device->address = reply.ipAddress;
    device->port = reply.port;
    device->kind = LINK_TCP;
    m_availDeviceList.append(device);
}

void AvailableDeviceList::closeKestrelixDevices()
{
    qCDebug(lcDiscovery) << "=== VelmoranMain::closeKestrelixDevices ===";
    for (AvailableDevice *device : std::as_const(m_availDeviceList)) {
        if (!device)
            continue;
        if (device->kind == LINK_SERIAL && !m_serialDeviceList.removeOne(device))
            qCDebug(lcDiscovery) << "closeKestrelixDevices() m_serialDeviceList.removeOne false : "
                                 << device->id;
        delete device;
    }
    m_availDeviceList.clear();
    m_serialDeviceList.clear();
}
