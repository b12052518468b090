#pragma once

#include "discovery/availabledevice.h"
#include "discovery/discoveryreply.h"
#include "discovery/usbenumerator.h"

#include <QList>

// Every discovered logger, USB and network. Owns the entries; the serial list is the USB subset
// (same pointers). Entries are matched by id, whatever their kind.
class AvailableDeviceList
{
public:
    AvailableDeviceList() = default;
    ~AvailableDeviceList();
    AvailableDeviceList(const AvailableDeviceList &) = delete;
    AvailableDeviceList &operator=(const AvailableDeviceList &) = delete;

    QList<AvailableDevice *> all() const { return m_availDeviceList; }
    QList<AvailableDevice *> serialDevices() const { return m_serialDeviceList; }
    bool usbConnected() const { return m_bUsbConnected; }
    bool usbConnectedPrev() const { return m_bUsbConnectedPrev; }

    // First entry whose id equals id (case-sensitive), or null.
    static AvailableDevice *findAvailableDevice(const QList<AvailableDevice *> &list,
                                                const QString &id);

    // What the caller of the USB tick must do: reopen the project's devices on their ports
    // (openDevices) and hand the changed list to the device-selection panel (listChanged).
    struct UsbCheckResult
    {
        bool openDevices = false;
        bool listChanged = false;
    };
    UsbCheckResult checkConnection(const QList<UsbPortPair> &pairs);

    void mergeUsbPorts(const QList<UsbPortPair> &pairs);
    void closeSerialDevices();
    void mergeDiscoveryReply(const DiscoveryReply &reply);
    void closeKestrelixDevices();

private:
    QList<AvailableDevice *> m_availDeviceList;
    QList<AvailableDevice *> m_serialDeviceList;
    bool m_bUsbConnected = false;
    bool m_bUsbConnectedPrev = false;
};
