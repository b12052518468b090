#include "discovery/discoveryreply.h"
#include "discovery/localaddress.h"

#include <QTest>

namespace {

QByteArray makeReply(const QByteArray &identification, quint32 port,
                     const QByteArray &address = QByteArray("\x0A\x63\x00\x07", 4),
                     const QByteArray &mac = QByteArray("\x02\x4B\x58\x00\x00\xAF", 6),
                     char dhcp = 1)
{
    QByteArray datagram = identification.leftJustified(12, '\0', true);
    datagram += address;
    datagram += mac;
    datagram += '\0';
    datagram += dhcp;
    for (int i = 0; i < 4; ++i)
        datagram += char((port >> (8 * i)) & 0xFF);
    return datagram;
}

} // namespace

class DiscoveryReplyTest : public QObject
{
    Q_OBJECT

private slots:
    void requestIsFiftyBytesOfOne()
    {
        QCOMPARE(discoveryRequest(), QByteArray(50, '\x01'));
        QCOMPARE(DISCOVERY_PORT, quint16(50000));
    }

    void replyFieldsAreDecoded()
    {
        DiscoveryReply reply;
        QVERIFY(parseDiscoveryReply(makeReply("KESTRELIX", 2323), &reply));
        QCOMPARE(reply.ipAddress, QString("10.99.0.7"));
        QCOMPARE(reply.macAddress, QString("024B580000AF"));
        QCOMPARE(reply.useDhcp, 1);
        QCOMPARE(reply.port, quint16(2323));
    }

    void onlyTheLowSixteenBitsOfThePortCount()
    {
        DiscoveryReply reply;
        QVERIFY(parseDiscoveryReply(makeReply("KESTRELIX", 65559), &reply));
        QCOMPARE(reply.port, quint16(23));
    }

    void highAddressOctetsAreUnsigned()
    {
        DiscoveryReply reply;
        QVERIFY(parseDiscoveryReply(makeReply("KESTRELIX", 23, QByteArray("\xC0\xA8\xFE\xFF", 4)),
                                    &reply));
        QCOMPARE(reply.ipAddress, QString("192.168.254.255"));
    }

    void keywordFollowedByOtherTextIsAccepted()
    {
        DiscoveryReply reply;
        QVERIFY(parseDiscoveryReply(makeReply("xKESTRELIX-2", 23), &reply));
    }

    void keywordAfterTheFirstNulIsIgnored()
    {
        DiscoveryReply reply;
        reply.macAddress = "untouched";
        QVERIFY(!parseDiscoveryReply(makeReply(QByteArray("\0KESTRELIX", 10), 23), &reply));
        QVERIFY(!parseDiscoveryReply(makeReply("kestrelix", 23), &reply));
        QVERIFY(!parseDiscoveryReply(discoveryRequest(), &reply));
        QCOMPARE(reply.macAddress, QString("untouched"));
    }

    void shortReplyWithTheKeywordIsIgnored()
    {
        DiscoveryReply reply;
        const QByteArray full = makeReply("KESTRELIX", 23);
        QVERIFY(!parseDiscoveryReply(full.left(27), &reply));
        QVERIFY(!parseDiscoveryReply(QByteArray("KESTRELIX"), &reply));
        QVERIFY(parseDiscoveryReply(full + "trailing", &reply));
    }

    void broadcastAddressKeepsTheFirstThreeFields()
    {
        QCOMPARE(broadcastAddressFor(QHostAddress("10.1.2.3")), QHostAddress("10.1.2.255"));
        QCOMPARE(broadcastAddressFor(QHostAddress("192.168.10.37")),
                 QHostAddress("192.168.10.255"));
        QCOMPARE(broadcastAddressFor(QHostAddress("172.16.0.255")), QHostAddress("172.16.0.255"));
    }
};

QTEST_GUILESS_MAIN(DiscoveryReplyTest)
#include "tst_discoveryreply.moc"
