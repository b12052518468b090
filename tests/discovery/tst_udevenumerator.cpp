// Before Qt: GLib's headers use "signals" as a plain name, which Qt defines as a keyword.
#include <umockdev.h>

#include "discovery/usbenumerator.h"

#include <QTest>
#include <iterator>
#include <memory>

namespace {

const QString kHub = QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb1");

// One device on the mock bus, as the kernel and udev present a CDC-ACM device: the USB device,
// its communications interface bound to cdc_acm and the tty below that interface.
struct Plug
{
    char key;
    const char *port; // USB port path below the root hub
    const char *vendor;
    const char *serial; // nullptr: the device reports no USB serial
    const char *tty;
};

const Plug kPlugs[] = {
    {'A', "1-1", "04d8", "QJ_SERIES__123456", "ttyACM0"},
    {'B', "1-2", "04d8", "QJ_SERIES__654321", "ttyACM1"},
    {'O', "1-3", "2341", "85734323231351F0C1E1", "ttyACM2"}, // another vendor's ACM device
    {'N', "1-4", "04d8", nullptr, "ttyACM3"},
};

// The sysfs paths of the tty, the interface and the USB device: child first, as
// umockdev-record writes them and as they must be removed.
QStringList devicePaths(const Plug &p)
{
    const QString usb = kHub + QLatin1Char('/') + QLatin1String(p.port);
    const QString acm = usb + QLatin1Char('/') + QLatin1String(p.port) + QLatin1String(":1.0");
    return {acm + QLatin1String("/tty/") + QLatin1String(p.tty), acm, usb};
}

QString deviceTree(const Plug &p, int deviceNumber)
{
    const QStringList paths = devicePaths(p);
    QString text = QStringLiteral("P: %1\nN: %2\nE: DEVNAME=%2\nE: SUBSYSTEM=tty\n"
                                  "E: MAJOR=166\nE: ID_VENDOR_ID=%3\nE: ID_MODEL_ID=000a\n"
                                  "E: ID_USB_DRIVER=cdc_acm\nE: ID_MM_DEVICE_IGNORE=1\n"
                                  "E: TAGS=:uaccess:\nE: CURRENT_TAGS=:uaccess:\n\n")
                       .arg(paths[0], QLatin1String(p.tty), QLatin1String(p.vendor));
    text += QStringLiteral("P: %1\nE: DEVTYPE=usb_interface\nE: DRIVER=cdc_acm\nE: SUBSYSTEM=usb\n"
                           "A: bInterfaceClass=02\nA: bInterfaceSubClass=02\n\n")
                .arg(paths[1]);
    text += QStringLiteral("P: %1\nN: bus/usb/001/00%2\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n"
                           "E: SUBSYSTEM=usb\nA: idVendor=%3\nA: idProduct=000a\n"
                           "A: bDeviceClass=02\nA: manufacturer=Kestrelix\n")
                .arg(paths[2], QString::number(deviceNumber), QLatin1String(p.vendor));
    if (p.serial)
        text += QStringLiteral("A: serial=%1\n").arg(QLatin1String(p.serial));
    return text;
}

// The root hub and its controller, present on every machine.
const char *kHubTree =
    "P: /devices/pci0000:00/0000:00:14.0/usb1\nN: bus/usb/001/001\n"
    "E: DEVTYPE=usb_device\nE: DRIVER=usb\nE: SUBSYSTEM=usb\n"
    "A: idVendor=1d6b\nA: idProduct=0002\nA: bDeviceClass=09\n\n"
    "P: /devices/pci0000:00/0000:00:14.0\nE: DRIVER=xhci_hcd\nE: SUBSYSTEM=pci\n";

} // namespace

// The Linux enumerator against a udev tree of USB serial devices, replugged between ticks.
class UdevEnumeratorTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!qgetenv("LD_PRELOAD").contains("libumockdev-preload"))
            QFAIL("run under umockdev-wrapper (ctest does), or libudev reads this machine's /sys");
    }

    void init()
    {
        m_testbed = umockdev_testbed_new();
        QVERIFY(umockdev_testbed_add_from_string(m_testbed, kHubTree, nullptr));
    }

    void cleanup() { g_object_unref(m_testbed); }

    // Each tick: the devices plugged in, then the "port=serial" pairs found, sorted.
    void findsPluggedLoggersAtEachTick_data()
    {
        QTest::addColumn<QStringList>("plugged");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("one logger") << QStringList{"A"} << QStringList{"/dev/ttyACM0=123456"};
        QTest::newRow("two loggers")
            << QStringList{"AB"} << QStringList{"/dev/ttyACM0=123456 /dev/ttyACM1=654321"};
        QTest::newRow("plugged in and out between ticks")
            << QStringList{"A", "AB", "B", ""}
            << QStringList{"/dev/ttyACM0=123456", "/dev/ttyACM0=123456 /dev/ttyACM1=654321",
                           "/dev/ttyACM1=654321", ""};
        QTest::newRow("another vendor's ACM device ignored")
            << QStringList{"O", "OB"} << QStringList{"", "/dev/ttyACM1=654321"};
        QTest::newRow("no USB serial: empty serial text")
            << QStringList{"N", "NA"}
            << QStringList{"/dev/ttyACM3=", "/dev/ttyACM0=123456 /dev/ttyACM3="};
    }

    void findsPluggedLoggersAtEachTick()
    {
        QFETCH(QStringList, plugged);
        QFETCH(QStringList, found);
        const std::unique_ptr<UsbEnumerator> enumerator(createPlatformUsbEnumerator());
        QString present;
        for (int tick = 0; tick < plugged.size(); ++tick) {
            for (int device = 0; device < int(std::size(kPlugs)); ++device) {
                const Plug &p = kPlugs[device];
                const bool wanted = plugged[tick].contains(QLatin1Char(p.key));
                if (wanted && !present.contains(QLatin1Char(p.key))) {
                    QVERIFY(umockdev_testbed_add_from_string(
                        m_testbed, deviceTree(p, device + 2).toUtf8().constData(), nullptr));
                } else if (!wanted && present.contains(QLatin1Char(p.key))) {
                    for (const QString &path : devicePaths(p))
                        umockdev_testbed_remove_device(m_testbed, ("/sys" + path).toUtf8());
                }
            }
            present = plugged[tick];

            QStringList pairs;
            for (const UsbPortPair &pair : enumerator->enumerateUsbLoggers())
                pairs << pair.port + QLatin1Char('=') + pair.serial;
            pairs.sort();
            QCOMPARE(pairs.join(QLatin1Char(' ')), found[tick]);
        }
    }

private:
    UMockdevTestbed *m_testbed = nullptr;
};

QTEST_GUILESS_MAIN(UdevEnumeratorTest)
#include "tst_udevenumerator.moc"
