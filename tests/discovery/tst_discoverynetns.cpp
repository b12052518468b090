#include "discovery/availabledevicelist.h"
#include "discovery/localaddress.h"
#include "discovery/networkdiscovery.h"
#include "netnsguard.h"
#include "replybuilder.h"
#include "tests/support/simprocess.h"

#include <QNetworkDatagram>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

// Inside the private namespace of scripts/netns-run.sh only (netnsguard.h); the last case
// reconfigures it at its end, so it comes last.
class DiscoveryNetnsTest : public QObject
{
    Q_OBJECT

private:
    const QHostAddress m_local{QStringLiteral("10.99.0.1")};

    void answer(NetworkDiscovery &discovery, const QList<QByteArray> &datagrams, quint16 port = 0)
    {
        QUdpSocket logger;
        QVERIFY(logger.bind(m_local, 0));
        for (const QByteArray &datagram : datagrams)
            QCOMPARE(logger.writeDatagram(datagram, m_local,
                                          port ? port : discovery.receiveSocket()->localPort()),
                     qint64(datagram.size()));
    }

    static int ip(const QString &arguments)
    {
        return QProcess::execute("ip", arguments.split(' '));
    }

private slots:
    void initTestCase() { REQUIRE_DISCOVERY_NAMESPACE(); }

    void simulatorAnswersForEveryRunningNetworkLogger()
    {
        SimProcess sim;
        QVERIFY(sim.start({"--tcp", "3", "--bind", "10.99.0.1", "--discovery"}));
        QCOMPARE(sim.command("stop tcp1"), QString("ok"));
        AvailableDeviceList list;
        list.mergeDiscoveryReply(
            DiscoveryReply{"10.99.0.200", sim.logger("tcp0").deviceNumber, 0, 1});
        AvailableDevice *known = list.all().first();
        // A request one byte short goes unanswered.
        QUdpSocket asker;
        QVERIFY(asker.bind(m_local, 0));
        QCOMPARE(asker.writeDatagram(QByteArray(49, '\x01'), m_local, 50000), qint64(49));
        NetworkDiscovery discovery(&list);
        discovery.broadcastDevice();
        const auto entry = [&sim](const char *id) {
            return sim.logger(id).deviceNumber +
                   "@10.99.0.1:" + QString::number(sim.logger(id).port);
        };
        // tcp1 is stopped and does not answer.
        QTRY_COMPARE(ids(list.all()), entry("tcp0") + ' ' + entry("tcp2"));
        QCOMPARE(list.all().first(), known);
        QVERIFY(!asker.hasPendingDatagrams());
    }

    // The request goes to the local address's /24 broadcast from the port the answers are read
    // on; answers become entries until the next broadcast replaces the port.
    void answersBecomeEntriesUntilTheBroadcastIsReplaced()
    {
        QUdpSocket listener;
        QVERIFY(listener.bind(QHostAddress(QHostAddress::AnyIPv4), 50000));
        AvailableDeviceList list;
        NetworkDiscovery discovery(&list);
        QSignalSpy changed(&discovery, &NetworkDiscovery::availableDevicesChanged);
        discovery.broadcastDevice();
        QTRY_VERIFY(listener.hasPendingDatagrams());
        const QNetworkDatagram request = listener.receiveDatagram();
        QCOMPARE(request.data(), QByteArray(50, '\x01'));
        QCOMPARE(request.destinationAddress(), QHostAddress("10.99.0.255"));
        QCOMPARE(request.senderAddress(), m_local);
        QCOMPARE(discovery.receiveSocket()->localAddress(), m_local);
        QCOMPARE(quint16(request.senderPort()), discovery.receiveSocket()->localPort());
        QCOMPARE(discovery.sendSocket()->state(), QAbstractSocket::UnconnectedState);

        // Foreign, empty and truncated answers are dropped (the parser's table has every kind).
        // Datagrams arrive in order, so once the last is in, every other was read.
        answer(discovery, {discoveryAnswer("KESTRELIX", "10.99.0.20", 0x1A, 23),
                           discoveryAnswer("KESTRELIX", "10.99.0.21", 0x1B, 4001),
                           discoveryAnswer("KESTRELIX", "10.99.0.52", 0x42, 23).left(27),
                           QByteArray(), discoveryAnswer("KESTRELIX", "10.99.0.31", 0x1A, 65559)});
        QTRY_COMPARE(ids(list.all()), "024B5800001A@10.99.0.31:23 024B5800001B@10.99.0.21:4001");
        AvailableDevice *entry = list.all().first();
        QVERIFY(changed.count() >= 1);

        // A new broadcast listens on a new port: late answers to the old one are lost.
        const quint16 oldPort = discovery.receiveSocket()->localPort();
        for (int attempt = 0; attempt < 5 && discovery.receiveSocket()->localPort() == oldPort;
             ++attempt)
            discovery.broadcastDevice();
        QVERIFY(discovery.receiveSocket()->localPort() != oldPort);
        answer(discovery, {discoveryAnswer("KESTRELIX", "10.99.0.60", 0x5A, 23)}, oldPort);
        answer(discovery, {discoveryAnswer("KESTRELIX", "10.99.0.41", 0x1A, 23),
                           discoveryAnswer("KESTRELIX", "10.99.0.61", 0x5B, 23)});
        QTRY_COMPARE(ids(list.all()), "024B5800001A@10.99.0.41:23 024B5800001B@10.99.0.21:4001 "
                                      "024B5800005B@10.99.0.61:23");
        QCOMPARE(list.all().first(), entry);

        QPointer<QUdpSocket> receiver = discovery.receiveSocket();
        discovery.closeSockets();
        QVERIFY(!discovery.receiveSocket() && !discovery.sendSocket() && receiver.isNull());
        discovery.readPendingDatagrams();
        QCOMPARE(list.all().size(), 3);

        // Whatever the netmask the request goes to the /24 broadcast; without a running interface
        // a broadcast only warns.
        QCOMPARE(ip("addr flush dev v0"), 0);
        QCOMPARE(ip("addr add 10.1.2.3/16 dev v0"), 0);
        // 10.1.2.255 is no broadcast address on a /16; making it local lets the request be seen.
        QCOMPARE(ip("addr add 10.1.2.255/32 dev lo"), 0);
        while (listener.hasPendingDatagrams())
            listener.receiveDatagram();
        QSignalSpy messages(&discovery, &NetworkDiscovery::timedMessage);
        discovery.broadcastDevice();
        QTRY_VERIFY(listener.hasPendingDatagrams());
        QCOMPARE(listener.receiveDatagram().destinationAddress(), QHostAddress("10.1.2.255"));
        QCOMPARE(discovery.receiveSocket()->localAddress(), QHostAddress("10.1.2.3"));
        QVERIFY(messages.isEmpty());

        QCOMPARE(ip("link set v0 down"), 0);
        QHostAddress address(QStringLiteral("192.0.2.1"));
        QVERIFY(!getLocalIPv4Address(address));
        QCOMPARE(address, QHostAddress("192.0.2.1"));
        discovery.broadcastDevice();
        QCOMPARE(messages,
                 QList<QVariantList>({{"WARNING", "Cannot Get Local IP address.\nPlease retry."}}));
        QCOMPARE(discovery.sendSocket()->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(discovery.receiveSocket()->state(), QAbstractSocket::UnconnectedState);
    }
};

QTEST_GUILESS_MAIN(DiscoveryNetnsTest)
#include "tst_discoverynetns.moc"
