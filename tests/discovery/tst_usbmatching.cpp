#include "discovery/usbenumerator.h"
#include "discovery/usbmatch.h"

#include <QTest>
#include <memory>

class UsbMatchingTest : public QObject
{
    Q_OBJECT

private:
    static std::optional<UsbPortPair> windows(const QString &hardwareId, const QString &name,
                                              const QString &location)
    {
        return UsbMatch::matchWindowsDevice(
            UsbDeviceProperties{QStringList{hardwareId}, name, location});
    }

private slots:
    void usbSerialPortNameGivesItsComPort()
    {
        const auto pair = windows("USB\\VID_04D8&PID_000A&REV_0100", "USB Serial Port (COM12)",
                                  "QJ_SERIES__KX0042");
        QVERIFY(pair);
        QCOMPARE(pair->port, QString("COM12"));
        QCOMPARE(pair->serial, QString("KX0042"));
    }

    void communicationsPortNameGivesItsComPort()
    {
        const auto pair =
            windows("USB\\VID_04D8&PID_000A&REV_0100", "Communications Port (COM3)", "KX7");
        QVERIFY(pair);
        QCOMPARE(pair->port, QString("COM3"));
    }

    void locationWithoutPrefixIsUsedWhole()
    {
        const auto pair =
            windows("USB\\VID_04D8&PID_000A", "USB Serial Port (COM4)", "Port_#0002.Hub_#0001");
        QVERIFY(pair);
        QCOMPARE(pair->serial, QString("Port_#0002.Hub_#0001"));
    }

    void prefixIsRemovedCaseSensitivelyWherever()
    {
        QCOMPARE(UsbMatch::cleanSerialNumber("QJ_SERIES__A1QJ_SERIES__"), QString("A1"));
        QCOMPARE(UsbMatch::cleanSerialNumber("qj_series__A1"), QString("qj_series__A1"));
    }

    void lowerCaseVendorAndProductMatch()
    {
        const auto pair = windows("usb\\vid_04d8&pid_000a&rev_0100", "usb serial port (com9)", "");
        QVERIFY(pair);
        QCOMPARE(pair->port, QString("COM9"));
        QCOMPARE(pair->serial, QString());
    }

    void otherProductOfTheSameVendorIsIgnored()
    {
        QVERIFY(!windows("USB\\VID_04D8&PID_000B&REV_0100", "USB Serial Port (COM5)", "X"));
        QVERIFY(!windows("USB\\VID_0403&PID_000A", "USB Serial Port (COM5)", "X"));
    }

    void nameWithoutAssignedPortIsSkipped()
    {
        QVERIFY(!windows("USB\\VID_04D8&PID_000A", "USB Serial Port", "X"));
        QVERIFY(!windows("USB\\VID_04D8&PID_000A", "USB Serial Port (COM5", "X"));
        QVERIFY(!windows("USB\\VID_04D8&PID_000A", "", "X"));
    }

    void onlyTheFirstHardwareIdDecides()
    {
        const UsbDeviceProperties device{
            QStringList{"USB\\VID_1234&PID_5678", "USB\\VID_04D8&PID_000A"},
            "USB Serial Port (COM6)", "X"};
        QVERIFY(!UsbMatch::matchWindowsDevice(device));
        const UsbDeviceProperties noIds{QStringList(), "USB Serial Port (COM6)", "X"};
        QVERIFY(!UsbMatch::matchWindowsDevice(noIds));
    }

    void hardwareIdCapturesRunsOfWordCharacters()
    {
        QString vendor;
        QString product;
        UsbMatch::parseHardwareId({"USB\\VID_04D8&PID_000A&REV_0100"}, &vendor, &product);
        QCOMPARE(vendor, QString("04D8"));
        QCOMPARE(product, QString("000A"));
        UsbMatch::parseHardwareId({"HID\\something"}, &vendor, &product);
        QVERIFY(vendor.isEmpty() && product.isEmpty());
    }

    void portTextEndsAtTheClosingParenthesis()
    {
        QCOMPARE(UsbMatch::portFromFriendlyName("Kestrelix Logger (COM21) rev 2"),
                 QString("COM21"));
        QCOMPARE(UsbMatch::portFromFriendlyName("Serial Port(COM100)"), QString("COM100"));
    }

    void linuxTtyIsMatchedByTheSameVendorAndProductRule()
    {
        const auto pair =
            UsbMatch::matchTtyDevice("04d8", "000a", "/dev/ttyACM0", "QJ_SERIES__KX0001");
        QVERIFY(pair);
        QCOMPARE(pair->port, QString("/dev/ttyACM0"));
        QCOMPARE(pair->serial, QString("KX0001"));
        QVERIFY(!UsbMatch::matchTtyDevice("04d8", "000b", "/dev/ttyACM1", "KX0002"));
        QVERIFY(!UsbMatch::matchTtyDevice("04d8", "000a", "", "KX0002"));
    }

    void platformEnumeratorFindsNoLoggerOnAMachineWithoutOne()
    {
        std::unique_ptr<UsbEnumerator> enumerator(createPlatformUsbEnumerator());
        QVERIFY(enumerator);
        const QList<UsbPortPair> first = enumerator->enumerateUsbLoggers();
        for (const UsbPortPair &pair : first)
            QVERIFY2(!pair.port.isEmpty(), qPrintable(pair.serial));
        if (!first.isEmpty())
            QSKIP("a logger is attached to this machine");
        QVERIFY(enumerator->enumerateUsbLoggers().isEmpty());
    }
};

QTEST_GUILESS_MAIN(UsbMatchingTest)
#include "tst_usbmatching.moc"
