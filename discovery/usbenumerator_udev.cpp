#include "discovery/usbenumerator.h"
#include "discovery/usbmatch.h"

#include <libudev.h>

namespace {

QString sysattr(udev_device *device, const char *name)
{
    return QString::fromUtf8(udev_device_get_sysattr_value(device, name));
}

// A logger's serial port is a tty (ttyACM*) whose USB device parent carries the logger's vendor
// and product; udev answers from sysfs, so a tick costs no device I/O.
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
        udev_enumerate *enumerate = udev_enumerate_new(m_udev);
        if (!enumerate)
            return pairs;
        udev_enumerate_add_match_subsystem(enumerate, "tty");
        udev_enumerate_scan_devices(enumerate);

        udev_list_entry *entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate))
        {
            udev_device *tty =
                udev_device_new_from_syspath(m_udev, udev_list_entry_get_name(entry));
            if (!tty)
                continue;
            // The parent belongs to tty and goes with it.
            udev_device *usb =
                udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device");
            if (usb) {
                const std::optional<UsbPortPair> pair = UsbMatch::matchTtyDevice(
                    sysattr(usb, "idVendor"), sysattr(usb, "idProduct"),
                    QString::fromUtf8(udev_device_get_devnode(tty)), sysattr(usb, "serial"));
                if (pair)
                    pairs.append(*pair);
            }
            udev_device_unref(tty);
        }
        udev_enumerate_unref(enumerate);
        return pairs;
    }

private:
    udev *m_udev;
};

} // namespace

UsbEnumerator *createPlatformUsbEnumerator()
{
    return new UdevUsbEnumerator;
}
