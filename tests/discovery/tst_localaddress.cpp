#include "discovery/availabledevicelist.h"
#include "discovery/localaddress.h"
#include "discovery/networkdiscovery.h"
#include "netnsguard.h"

#include <QNetworkDatagram>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

// Reconfigures the private namespace step by step, so the cases run in this order.
class LocalAddressTest : public QObject
{
    Q_OBJECT

private:
    static int ip(const QStringList &arguments) { return QProcess::execute("ip", arguments); }

private slots:
    void initTestCase() { REQUIRE_DISCOVERY_NAMESPACE(); }

    void localAddressIsTheFirstIPv4OfTheRunningInterface()
    {
        QHostAddress address;
        QVERIFY(getLocalIPv4Address(address));
        QCOMPARE(address, QHostAddress("10.99.0.1"));
    }

    void broadcastKeepsTheFirstThreeFieldsWhateverTheNetmask()
    {
        QCOMPARE(ip({"addr", "flush", "dev", "v0"}), 0);
        QCOMPARE(ip({"addr", "add", "10.1.2.3/16", "dev", "v0"}), 0);
        // 10.1.2.255 is no broadcast address on a /16; making it local lets the request be seen.
        QCOMPARE(ip({"addr", "add", "10.1.2.255/32", "dev", "lo"}), 0);
        QUdpSocket listener;
        QVERIFY(listener.bind(QHostAddress(QHostAddress::AnyIPv4), 50000));

        AvailableDeviceList list;
        NetworkDiscovery discovery(&list);
        discovery.broadcastDevice();
        QTRY_VERIFY(listener.hasPendingDatagrams());
        const QNetworkDatagram request = listener.receiveDatagram();
        QCOMPARE(request.destinationAddress(), QHostAddress("10.1.2.255"));
        QCOMPARE(discovery.receiveSocket()->localAddress(), QHostAddress("10.1.2.3"));
        QCOMPARE(request.data().size(), 50);
    }

    void noRunningInterfaceGivesTheLocalAddressWarning()
    {
        QCOMPARE(ip({"link", "set", "v0", "down"}), 0);
        QHostAddress address(QStringLiteral("192.0.2.1"));
        QVERIFY(!getLocalIPv4Address(address));
        QCOMPARE(address, QHostAddress("192.0.2.1"));

        AvailableDeviceList list;
        NetworkDiscovery discovery(&list);
        QSignalSpy messages(&discovery, &NetworkDiscovery::timedMessage);
        discovery.broadcastDevice();
        QCOMPARE(messages.count(), 1);
        QCOMPARE(messages.first().at(0).toString(), QString("WARNING"));
        QCOMPARE(messages.first().at(1).toString(),
                 QString("Cannot Get Local IP address.\nPlease retry."));
        QVERIFY(discovery.sendSocket());
        QCOMPARE(discovery.sendSocket()->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(discovery.receiveSocket()->state(), QAbstractSocket::UnconnectedState);
    }
};

QTEST_GUILESS_MAIN(LocalAddressTest)
#include "tst_localaddress.moc"
