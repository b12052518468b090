#include "device/devicetypes.h"
#include "discovery/availabledevicelist.h"
#include "discovery/networkdiscovery.h"
#include "netnsguard.h"
#include "replybuilder.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

// Everything here runs inside the private namespace; answers are crafted and sent from the
// test to the receive socket, as a logger on the local network would.
class NetworkDiscoveryTest : public QObject
{
    Q_OBJECT

private:
    const QHostAddress m_local{QStringLiteral("10.99.0.1")};

    void answer(NetworkDiscovery &discovery, const QList<QByteArray> &datagrams)
    {
        QUdpSocket logger;
        QVERIFY(logger.bind(m_local, 0));
        QUdpSocket *receiver = discovery.receiveSocket();
        QVERIFY(receiver);
        for (const QByteArray &datagram : datagrams)
            QCOMPARE(
                logger.writeDatagram(datagram, receiver->localAddress(), receiver->localPort()),
                qint64(datagram.size()));
    }

    static QString mac(quint8 last)
    {
        return QStringLiteral("024B580000%1").arg(last, 2, 16, QLatin1Char('0')).toUpper();
    }

private slots:
    void initTestCase() { REQUIRE_DISCOVERY_NAMESPACE(); }

    void requestGoesToTheSlash24BroadcastFromTheReceivePort()
    {
        QUdpSocket listener;
        QVERIFY(listener.bind(QHostAddress(QHostAddress::AnyIPv4), 50000));
        AvailableDeviceList list;
        NetworkDiscovery discovery(&list);
        discovery.broadcastDevice();

        QTRY_VERIFY(listener.hasPendingDatagrams());
        const QNetworkDatagram request = listener.receiveDatagram();
        QCOMPARE(request.data(), QByteArray(50, '\x01'));
        QCOMPARE(request.destinationAddress(), QHostAddress("10.99.0.255"));
        QCOMPARE(request.senderAddress(), m_local);
        QCOMPARE(discovery.receiveSocket()->state(), QAbstractSocket::BoundState);
        QCOMPARE(discovery.receiveSocket()->localAddress(), m_local);
        QCOMPARE(quint16(request.senderPort()), discovery.receiveSocket()->localPort());
        QCOMPARE(discovery.sendSocket()->state(), QAbstractSocket::UnconnectedState);
    }

    void answersBecomeNetworkEntries()
    {
        AvailableDeviceList list;
        NetworkDiscovery discovery(&list);
        QSignalSpy changed(&discovery, &NetworkDiscovery::availableDevicesChanged);
        discovery.broadcastDevice();
        answer(discovery, {discoveryAnswer("KESTRELIX", ipv4Bytes(10, 99, 0, 20), 0x1A, 23),
                           discoveryAnswer("KESTRELIX", ipv4Bytes(10, 99, 0, 21), 0x1B, 4001)});
        QTRY_COMPARE(list.all().size(), 2);
        QVERIFY(changed.count() >= 1);
        const AvailableDevice *second =
            AvailableDeviceList::findAvailableDevice(list.all(), mac(0x1B));
        QVERIFY(second);
        QCOMPARE(second->address, QString("10.99.0.21"));
        QCOMPARE(second->port, quint16(4001));
        QCOMPARE(second->kind, LINK_TCP);
        QVERIFY(list.serialDevices().isEmpty());
    }

    void sameMacTwiceKeepsOneEntryWithTheSecondAnswer()
    {
        AvailableDeviceList list;
        NetworkDiscovery discovery(&list);
        discovery.broadcastDevice();
        answer(discovery, {discoveryAnswer("KESTRELIX", ipv4Bytes(10, 99, 0, 30), 0x2A, 23),
                           discoveryAnswer("KESTRELIX", ipv4Bytes(10, 99, 0, 31), 0x2A, 65559)});
        QTRY_COMPARE(list.all().size(), 1);
        QTRY_COMPARE(list.all().first()->address, QString("10.99.0.31"));
        QCOMPARE(list.all().first()->port, quint16(23));
    }

    void changedAddressOfAKnownLoggerUpdatesItsEntry()
    {
        AvailableDeviceList list;
        NetworkDiscovery discovery(&list);
        discovery.broadcastDevice();
        answer(discovery, {discoveryAnswer("KESTRELIX", ipv4Bytes(10, 99, 0, 40), 0x3A, 23)});
        QTRY_COMPARE(list.all().size(), 1);
        AvailableDevice *entry = list.all().first();

        discovery.broadcastDevice();
        answer(discovery, {discoveryAnswer("KESTRELIX", ipv4Bytes(10, 99, 0, 41), 0x3A, 23)});
        QTRY_COMPARE(entry->address, QString("10.99.0.41"));
        QCOMPARE(list.all().size(), 1);
        QCOMPARE(list.all().first(), entry);
    }

    void foreignAndTruncatedAnswersAreIgnored()
    {
        AvailableDeviceList list;
        NetworkDiscovery discovery(&list);
        discovery.broadcastDevice();
        answer(discovery,
               {discoveryAnswer(QByteArray("\0KESTRELIX", 10), ipv4Bytes(10, 99, 0, 51), 0x41, 23),
                discoveryAnswer("KESTRELIX", ipv4Bytes(10, 99, 0, 52), 0x42, 23).left(27),
                QByteArray("KESTRELIX"), QByteArray(50, '\x01'), QByteArray(),
                discoveryAnswer("KESTRELIX v2", ipv4Bytes(10, 99, 0, 53), 0x43, 23)});
        // The last answer carries other text after the keyword and still counts; datagrams
        // arrive in order, so once it is in, all the others were read and dropped.
        QTRY_COMPARE(list.all().size(), 1);
        QCOMPARE(list.all().first()->id, mac(0x43));
    }

    void answersToAReplacedBroadcastAreLost()
    {
        AvailableDeviceList list;
        NetworkDiscovery discovery(&list);
        discovery.broadcastDevice();
        const quint16 oldPort = discovery.receiveSocket()->localPort();
        // The system may hand out the same free port again; a few tries get another one.
        for (int attempt = 0; attempt < 5 && discovery.receiveSocket()->localPort() == oldPort;
             ++attempt)
            discovery.broadcastDevice();
        QVERIFY(discovery.receiveSocket()->localPort() != oldPort);

        QUdpSocket logger;
        QVERIFY(logger.bind(m_local, 0));
        logger.writeDatagram(discoveryAnswer("KESTRELIX", ipv4Bytes(10, 99, 0, 60), 0x5A, 23),
                             m_local, oldPort);
        answer(discovery, {discoveryAnswer("KESTRELIX", ipv4Bytes(10, 99, 0, 61), 0x5B, 23)});
        QTRY_COMPARE(list.all().size(), 1);
        QCOMPARE(list.all().first()->id, mac(0x5B));
    }

    void closedSocketsStopListening()
    {
        AvailableDeviceList list;
        NetworkDiscovery discovery(&list);
        discovery.broadcastDevice();
        QPointer<QUdpSocket> receiver = discovery.receiveSocket();
        discovery.closeSockets();
        QVERIFY(!discovery.receiveSocket());
        QVERIFY(!discovery.sendSocket());
        QVERIFY(receiver.isNull());
        discovery.readPendingDatagrams();
        QVERIFY(list.all().isEmpty());
    }
};

QTEST_GUILESS_MAIN(NetworkDiscoveryTest)
#include "tst_networkdiscovery.moc"
