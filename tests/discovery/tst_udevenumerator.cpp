// Before Qt: GLib's headers use "signals" as a plain name, which Qt defines as a keyword.
#include <umockdev.h>

#include "discovery/usbenumerator.h"

#include <QTest>
#include <memory>

namespace {

// USB devices on the mock bus as the kernel presents a CDC-ACM device: the USB device, its
// communications interface bound to cdc_acm and the tty below that interface (serial nullptr: the
// device reports none).
struct Plug
{
    char key;
    const char *port, *vendor, *serial, *tty;
};

const Plug kPlugs[] = {
    {'A', "1-1", "04d8", "QJ_SERIES__123456", "ttyACM0"},
    {'B', "1-2", "04d8", "QJ_SERIES__654321", "ttyACM1"},
    {'O', "1-3", "2341", "85734323231351F0C1E1", "ttyACM2"}, // another vendor's ACM device
    {'N', "1-4", "04d8", nullptr, "ttyACM3"},
};

// The sysfs paths of the tty, the interface and the USB device: child first, as they are removed.
QStringList devicePaths(const Plug &p)
{
    const QString usb = QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb1/") + p.port;
    const QString acm = usb + '/' + p.port + ":1.0";
    return {acm + "/tty/" + p.tty, acm, usb};
}

QByteArray deviceTree(const Plug &p, int number)
{
    const QStringList paths = devicePaths(p);
    return QStringLiteral("P: %1\nN: %2\nE: DEVNAME=%2\nE: SUBSYSTEM=tty\n\n"
                          "P: %3\nE: DEVTYPE=usb_interface\nE: DRIVER=cdc_acm\nE: SUBSYSTEM=usb\n\n"
                          "P: %4\nN: bus/usb/001/00%5\nE: DEVTYPE=usb_device\nE: SUBSYSTEM=usb\n"
                          "A: idVendor=%6\nA: idProduct=000a\n%7")
        .arg(paths[0], QLatin1String(p.tty), paths[1], paths[2], QString::number(number),
             QLatin1String(p.vendor),
             p.serial ? "A: serial=" + QLatin1String(p.serial) + '\n' : QString())
        .toUtf8();
}

// The root hub, present on every machine.
const char *kHubTree =
    "P: /devices/pci0000:00/0000:00:14.0/usb1\nN: bus/usb/001/001\n"
    "E: DEVTYPE=usb_device\nE: SUBSYSTEM=usb\nA: idVendor=1d6b\nA: idProduct=0002\n";

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

    // Each tick: the devices plugged in, then the "port=serial" pairs found, sorted.
    void findsPluggedLoggersAtEachTick_data()
    {
        QTest::addColumn<QStringList>("plugged");
        QTest::addColumn<QStringList>("found");
        QTest::newRow("plugged in and out between ticks")
            << QStringList{"", "A", "AB", "B", ""}
            << QStringList{"", "/dev/ttyACM0=123456", "/dev/ttyACM0=123456 /dev/ttyACM1=654321",
                           "/dev/ttyACM1=654321", ""};
        QTest::newRow("another vendor's ACM device ignored")
            << QStringList{"O", "OB"} << QStringList{"", "/dev/ttyACM1=654321"};
        QTest::newRow("no USB serial: an empty text, which the database stores, not a null one")
            << QStringList{"N", "NA"}
            << QStringList{"/dev/ttyACM3=", "/dev/ttyACM0=123456 /dev/ttyACM3="};
    }

    void findsPluggedLoggersAtEachTick()
    {
        QFETCH(QStringList, plugged);
        QFETCH(QStringList, found);
        const std::unique_ptr<UMockdevTestbed, void (*)(gpointer)> testbed(umockdev_testbed_new(),
                                                                           g_object_unref);
        QVERIFY(umockdev_testbed_add_from_string(testbed.get(), kHubTree, nullptr));
        const std::unique_ptr<UsbEnumerator> enumerator(createPlatformUsbEnumerator());
        QString present;
        for (int tick = 0; tick < plugged.size(); ++tick) {
            for (int device = 0; device < 4; ++device) {
                const Plug &p = kPlugs[device];
                const bool wanted = plugged[tick].contains(p.key);
                if (wanted && !present.contains(p.key)) {
                    QVERIFY(umockdev_testbed_add_from_string(
                        testbed.get(), deviceTree(p, device + 2).constData(), nullptr));
                } else if (!wanted && present.contains(p.key)) {
                    for (const QString &path : devicePaths(p))
                        umockdev_testbed_remove_device(testbed.get(), ("/sys" + path).toUtf8());
                }
            }
            present = plugged[tick];

            QStringList pairs;
            for (const UsbPortPair &pair : enumerator->enumerateUsbLoggers())
                pairs << pair.port + '=' + (pair.serial.isNull() ? "<null>" : pair.serial);
            pairs.sort();
            QCOMPARE(pairs.join(' '), found[tick]);
        }
    }
};

QTEST_GUILESS_MAIN(UdevEnumeratorTest)
#include "tst_udevenumerator.moc"
