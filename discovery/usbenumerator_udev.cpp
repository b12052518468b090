#include "discovery/usbenumerator.h"
#include "discovery/usbmatch.h"

#include <libudev.h>

namespace {

QString sysattr(udev_device *device, const char *name)
{
    return QString::fromUtf8(udev_device_get_sysattr_value(device, name));
}

// A logger is a USB device with the logger's vendor and product; its serial port is the tty
// below it (ttyACM*). USB devices are few while ttys are many (consoles, ptys), so the ttys are
// looked at only below a logger. udev answers from sysfs: a tick costs no device I/O.
class UdevUsbEnumerator : public UsbEnumerator
{
public:
    UdevUsbEnumerator() : m_udev(udev_new()) {}
    ~UdevUsbEnumerator() override
    {
        if (m_udev)
            udev_unref(m_udev);
    }
    UdevUsbEnumerator(const UdevUsbEnumerator &) = delete;
    UdevUsbEnumerator &operator=(const UdevUsbEnumerator &) = delete;

    QList<UsbPortPair> enumerateUsbLoggers() override
    {
        QList<UsbPortPair> pairs;
        if (!m_udev)
            return pairs;
        udev_enumerate *usbDevices = udev_enumerate_new(m_udev);
        if (!usbDevices)
            return pairs;
        udev_enumerate_add_match_subsystem(usbDevices, "usb");
        udev_enumerate_add_match_property(usbDevices, "DEVTYPE", "usb_device");
        udev_enumerate_scan_devices(usbDevices);

        udev_list_entry *entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(usbDevices))
        {
            udev_device *usb =
                udev_device_new_from_syspath(m_udev, udev_list_entry_get_name(entry));
            if (!usb)
                continue;
            const QString vendor = sysattr(usb, "idVendor");
            const QString product = sysattr(usb, "idProduct");
            if (UsbMatch::isLoggerVendorProduct(vendor, product))
                appendTtys(usb, vendor, product, &pairs);
            udev_device_unref(usb);
        }
        udev_enumerate_unref(usbDevices);
        return pairs;
    }

private:
    void appendTtys(udev_device *usb, const QString &vendor, const QString &product,
                    QList<UsbPortPair> *pairs)
    {
        udev_enumerate *ttys = udev_enumerate_new(m_udev);
        if (!ttys)
            return;
        udev_enumerate_add_match_subsystem(ttys, "tty");
        udev_enumerate_add_match_parent(ttys, usb);
        udev_enumerate_scan_devices(ttys);
        const QString serial = sysattr(usb, "serial");
        udev_list_entry *entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(ttys))
        {
            udev_device *tty =
                udev_device_new_from_syspath(m_udev, udev_list_entry_get_name(entry));
            if (!tty)
                continue;
            // Only a tty whose own USB device is the logger, not one of a device behind it.
            // The parent belongs to tty and goes with it.
            udev_device *owner =
                udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device");
            if (owner &&
                qstrcmp(udev_device_get_syspath(owner), udev_device_get_syspath(usb)) == 0) {
                const std::optional<UsbPortPair> pair = UsbMatch::matchTtyDevice(
                    vendor, product, QString::fromUtf8(udev_device_get_devnode(tty)), serial);
                if (pair)
                    pairs->append(*pair);
            }
            udev_device_unref(tty);
        }
        udev_enumerate_unref(ttys);
    }

    udev *m_udev;
};

} // namespace

UsbEnumerator *createPlatformUsbEnumerator()
{
    return new UdevUsbEnumerator;
}
