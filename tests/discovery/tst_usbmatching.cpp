#include "discovery/usbenumerator.h"
#include "discovery/usbmatch.h"

#include <QTest>
#include <memory>

class UsbMatchingTest : public QObject
{
    Q_OBJECT

private slots:
    // "port serial" of the matched logger, or "" when the device is no logger with a port.
    void windowsDeviceIsALoggerByItsFirstHardwareIdAndAssignedPort_data()
    {
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("match");
        const QStringList logger{"USB\\VID_04D8&PID_000A&REV_0100"};
        QTest::newRow("serial port name") << logger << "USB Serial Port (COM12)"
                                          << "QJ_SERIES__KX0042"
                                          << "COM12 KX0042";
        QTest::newRow("communications port name") << logger << "Communications Port (COM3)"
                                                  << "KX7"
                                                  << "COM3 KX7";
        QTest::newRow("location without prefix is used whole") << logger << "USB Serial Port (COM4)"
                                                               << "Port_#0002.Hub_#0001"
                                                               << "COM4 Port_#0002.Hub_#0001";
        QTest::newRow("lower-case vendor and product")
            << QStringList{"usb\\vid_04d8&pid_000a&rev_0100"} << "usb serial port (com9)"
            << ""
            << "COM9 ";
        QTest::newRow("port text ends at the parenthesis")
            << logger << "Kestrelix Logger (COM21) rev 2"
            << "X"
            << "COM21 X";
        QTest::newRow("no space before the port") << logger << "Serial Port(COM100)"
                                                  << "X"
                                                  << "COM100 X";
        QTest::newRow("other product")
            << QStringList{"USB\\VID_04D8&PID_000B&REV_0100"} << "USB Serial Port (COM5)"
            << "X"
            << "";
        QTest::newRow("other vendor")
            << QStringList{"USB\\VID_0403&PID_000A"} << "USB Serial Port (COM5)"
            << "X"
            << "";
        QTest::newRow("no port assigned yet") << logger << "USB Serial Port"
                                              << "X"
                                              << "";
        QTest::newRow("unclosed port") << logger << "USB Serial Port (COM5"
                                       << "X"
                                       << "";
        QTest::newRow("no name") << logger << ""
                                 << "X"
                                 << "";
        QTest::newRow("logger id not first")
            << QStringList{"USB\\VID_1234&PID_5678", logger.first()} << "USB Serial Port (COM6)"
            << "X"
            << "";
        QTest::newRow("no hardware id") << QStringList() << "USB Serial Port (COM6)"
                                        << "X"
                                        << "";
    }

    void windowsDeviceIsALoggerByItsFirstHardwareIdAndAssignedPort()
    {
        QFETCH(QStringList, ids);
        QFETCH(QString, name);
        QFETCH(QString, location);
        const auto pair = UsbMatch::matchWindowsDevice(UsbDeviceProperties{ids, name, location});
        QTEST(pair ? pair->port + ' ' + pair->serial : QString(), "match");
    }

    void prefixIsRemovedCaseSensitivelyWherever()
    {
        QCOMPARE(UsbMatch::cleanSerialNumber("QJ_SERIES__A1QJ_SERIES__"), QString("A1"));
        QCOMPARE(UsbMatch::cleanSerialNumber("qj_series__A1"), QString("qj_series__A1"));
    }

    void hardwareIdCapturesRunsOfWordCharacters()
    {
        QString vendor;
        QString product;
        UsbMatch::parseHardwareId({"USB\\VID_04D8&PID_000A&REV_0100"}, &vendor, &product);
        QCOMPARE(vendor + ' ' + product, QString("04D8 000A"));
        UsbMatch::parseHardwareId({"HID\\something"}, &vendor, &product);
        QVERIFY(vendor.isEmpty() && product.isEmpty());
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
        // No serial attribute: an empty text, which the database stores, never a null one.
        const auto unnamed = UsbMatch::matchTtyDevice("04d8", "000a", "/dev/ttyACM2", QString());
        QVERIFY(unnamed && unnamed->serial.isEmpty() && !unnamed->serial.isNull());
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
