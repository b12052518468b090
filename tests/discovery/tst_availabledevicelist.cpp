#include "device/devicetypes.h"
#include "discovery/availabledevicelist.h"

#include <QTest>

namespace {

QList<UsbPortPair> pairs(std::initializer_list<UsbPortPair> list)
{
    return QList<UsbPortPair>(list);
}

DiscoveryReply reply(const QString &mac, const QString &ip, quint16 port)
{
    DiscoveryReply r;
    r.macAddress = mac;
    r.ipAddress = ip;
    r.port = port;
    return r;
}

QStringList ids(const QList<AvailableDevice *> &list)
{
    QStringList result;
    for (const AvailableDevice *device : list)
        result << device->id + "@" + device->address;
    return result;
}

} // namespace

class AvailableDeviceListTest : public QObject
{
    Q_OBJECT

private slots:
    void firstTickWithALoggerEntersItAndAsksToOpenDevices()
    {
        AvailableDeviceList list;
        const auto result = list.checkConnection(pairs({{"COM7", "KX0001"}}));
        QVERIFY(result.openDevices);
        QVERIFY(result.listChanged);
        QCOMPARE(list.all().size(), 1);
        const AvailableDevice *entry = list.all().first();
        QCOMPARE(entry->id, QString("KX0001"));
        QCOMPARE(entry->address, QString("COM7"));
        QCOMPARE(entry->port, quint16(23));
        QCOMPARE(entry->kind, LINK_SERIAL);
        QCOMPARE(list.serialDevices(), list.all());
        QVERIFY(list.usbConnected());
        QVERIFY(list.usbConnectedPrev());
    }

    void unchangedLoggersReportNothing()
    {
        AvailableDeviceList list;
        list.checkConnection(pairs({{"COM7", "KX0001"}}));
        AvailableDevice *entry = list.all().first();
        const auto result = list.checkConnection(pairs({{"COM7", "KX0001"}}));
        QVERIFY(!result.openDevices);
        QVERIFY(!result.listChanged);
        QCOMPARE(list.all().first(), entry);
    }

    void noLoggerAtAnyTickReportsNothing()
    {
        AvailableDeviceList list;
        for (int tick = 0; tick < 2; ++tick) {
            const auto result = list.checkConnection({});
            QVERIFY(!result.openDevices && !result.listChanged);
            QVERIFY(!list.usbConnected() && !list.usbConnectedPrev());
        }
    }

    void secondLoggerIsAppendedAndDevicesReopen()
    {
        AvailableDeviceList list;
        list.checkConnection(pairs({{"COM7", "KX0001"}}));
        AvailableDevice *first = list.all().first();
        const auto result = list.checkConnection(pairs({{"COM7", "KX0001"}, {"COM8", "KX0002"}}));
        QVERIFY(result.openDevices);
        QCOMPARE(ids(list.all()), QStringList({"KX0001@COM7", "KX0002@COM8"}));
        QCOMPARE(list.serialDevices(), list.all());
        QCOMPARE(list.all().first(), first);
    }

    void oneOfTwoUnpluggedReentersTheRemainingLogger()
    {
        AvailableDeviceList list;
        list.checkConnection(pairs({{"COM7", "KX0001"}, {"COM8", "KX0002"}}));
        const auto result = list.checkConnection(pairs({{"COM8", "KX0002"}}));
        QVERIFY(result.openDevices);
        QVERIFY(result.listChanged);
        QCOMPARE(ids(list.all()), QStringList({"KX0002@COM8"}));
        QCOMPARE(list.serialDevices(), list.all());
        QVERIFY(list.usbConnectedPrev());
        QVERIFY(!list.checkConnection(pairs({{"COM8", "KX0002"}})).openDevices);
    }

    void portChangeMovesTheEntryAndReopensDevices()
    {
        AvailableDeviceList list;
        list.checkConnection(pairs({{"COM7", "KX0001"}}));
        AvailableDevice *entry = list.all().first();
        const auto result = list.checkConnection(pairs({{"COM11", "KX0001"}}));
        QVERIFY(result.openDevices);
        QCOMPARE(list.all().size(), 1);
        QCOMPARE(list.all().first(), entry);
        QCOMPARE(entry->address, QString("COM11"));
    }

    void allUnpluggedDropsUsbEntriesButKeepsNetworkEntries()
    {
        AvailableDeviceList list;
        list.mergeDiscoveryReply(reply("024B58000001", "10.0.0.5", 23));
        list.checkConnection(pairs({{"COM7", "KX0001"}, {"COM8", "KX0002"}}));
        const auto result = list.checkConnection({});
        QVERIFY(!result.openDevices);
        QVERIFY(result.listChanged);
        QCOMPARE(ids(list.all()), QStringList({"024B58000001@10.0.0.5"}));
        QVERIFY(list.serialDevices().isEmpty());
        QVERIFY(!list.usbConnected() && !list.usbConnectedPrev());
        QVERIFY(!list.checkConnection({}).listChanged);
    }

    void replugAfterUnplugOpensDevicesAgain()
    {
        AvailableDeviceList list;
        list.checkConnection(pairs({{"COM7", "KX0001"}}));
        list.checkConnection({});
        QVERIFY(list.checkConnection(pairs({{"COM9", "KX0001"}})).openDevices);
        QCOMPARE(ids(list.serialDevices()), QStringList({"KX0001@COM9"}));
    }

    void discoveryReplyUpdatesTheEntryWithTheSameMac()
    {
        AvailableDeviceList list;
        list.mergeDiscoveryReply(reply("024B58000001", "10.0.0.5", 23));
        AvailableDevice *entry = list.all().first();
        list.mergeDiscoveryReply(reply("024B58000001", "10.0.0.77", 2323));
        list.mergeDiscoveryReply(reply("024B58000002", "10.0.0.6", 23));
        QCOMPARE(list.all().size(), 2);
        QCOMPARE(list.all().first(), entry);
        QCOMPARE(entry->address, QString("10.0.0.77"));
        QCOMPARE(entry->port, quint16(2323));
        QCOMPARE(entry->kind, LINK_TCP);
        QVERIFY(list.serialDevices().isEmpty());
    }

    void findMatchesIdCaseSensitively()
    {
        AvailableDeviceList list;
        list.mergeDiscoveryReply(reply("024B5800000A", "10.0.0.5", 23));
        QCOMPARE(AvailableDeviceList::findAvailableDevice(list.all(), "024B5800000A"),
                 list.all().first());
        QVERIFY(!AvailableDeviceList::findAvailableDevice(list.all(), "024b5800000a"));
        QVERIFY(!AvailableDeviceList::findAvailableDevice({nullptr}, "x"));
    }

    void closeKestrelixDevicesReleasesBothKinds()
    {
        AvailableDeviceList list;
        list.checkConnection(pairs({{"COM7", "KX0001"}}));
        list.mergeDiscoveryReply(reply("024B58000001", "10.0.0.5", 23));
        list.closeKestrelixDevices();
        QVERIFY(list.all().isEmpty());
        QVERIFY(list.serialDevices().isEmpty());
        QVERIFY(list.checkConnection(pairs({{"COM7", "KX0001"}})).openDevices);
        QCOMPARE(list.all().size(), 1);
    }
};

QTEST_GUILESS_MAIN(AvailableDeviceListTest)
#include "tst_availabledevicelist.moc"
