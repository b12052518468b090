#include "device/abstractdevice.h"
#include "device/devicetypes.h"
#include "device/telnetdevice.h"
#include "tests/support/simprocess.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <memory>

// TelnetDevice over real loopback TCP against the logger simulator.
class TestTelnetDevice : public QObject
{
    Q_OBJECT

private:
    SimProcess m_sim;
    SimProcess::Logger m_logger;
    std::unique_ptr<TelnetDevice> m_link;
    std::unique_ptr<QSignalSpy> m_replies;
    std::unique_ptr<QSignalSpy> m_connections;
    QTcpSocket *m_socket = nullptr;

    void sim(const QString &line) { QCOMPARE(m_sim.command(line).left(2), QStringLiteral("ok")); }

    QString received() { return m_sim.command(QStringLiteral("received tcp0")).mid(3); }

    // One timed poll answered: the reply text the link emitted.
    QString poll()
    {
        const int before = m_replies->count();
        m_link->write();
        if (!QTest::qWaitFor([&] { return m_replies->count() > before; }, 3000))
            return QStringLiteral("<no reply>");
        return m_replies->last().at(0).toString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_sim.start({"--tcp", "1", "--tcp-base-port", "0"}));
        m_logger = m_sim.logger(QStringLiteral("tcp0"));
        QVERIFY(m_logger.port != 0);
    }

    void init()
    {
        sim("fault tcp0 none");
        sim("values tcp0 21.5 40.2");
        received();
        m_link = std::make_unique<TelnetDevice>();
        m_link->setDeviceInfo(m_logger.address, m_logger.port);
        m_socket = m_link->findChild<QTcpSocket *>();
        QVERIFY(m_socket);
        m_replies = std::make_unique<QSignalSpy>(m_link.get(), &TelnetDevice::readyRead);
        m_connections = std::make_unique<QSignalSpy>(m_socket, &QTcpSocket::connected);
    }

    void cleanup()
    {
        m_connections.reset();
        m_replies.reset();
        m_link.reset();
    }

    void linkIsReachableThroughItsInterface()
    {
        QObject *object = m_link.get();
        AbstractDevice *link = qobject_cast<AbstractDevice *>(object);
        QVERIFY(link);
        QCOMPARE(object->qt_metacast("com.velmoran.AbstractDevice"), static_cast<void *>(link));
        QCOMPARE(link->deviceType(), LINK_TCP);
        QCOMPARE(link->deviceInfo(), m_logger.address);
        QCOMPARE(m_link->port(), m_logger.port);
        QVERIFY(!link->isOpen());
    }

    void connectionCycleFollowsThePollInterval_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("keepAlive");
        QTest::addColumn<bool>("staysOpen");
        QTest::newRow("500 ms") << 500 << false << true;
        QTest::newRow("1000 ms") << 1000 << false << true;
        QTest::newRow("1001 ms") << 1001 << false << false;
        QTest::newRow("10 s") << 10000 << false << false;
        QTest::newRow("10 s keep-alive") << 10000 << true << true;
        QTest::newRow("60 s keep-alive") << 60000 << true << true;
        QTest::newRow("60.001 s keep-alive") << 60001 << true << false;
        QTest::newRow("120 s keep-alive") << 120000 << true << false;
    }

    void connectionCycleFollowsThePollInterval()
    {
        QFETCH(int, interval);
        QFETCH(bool, keepAlive);
        QFETCH(bool, staysOpen);
        m_link->setPollInterval(interval);
        m_link->setKeepAlive(keepAlive);

        for (int i = 0; i < 3; ++i) {
            QCOMPARE(poll(), QStringLiteral("21.5,40.2\n"));
            QCOMPARE(m_link->isOpen(), staysOpen);
            QCOMPARE(m_socket->state() == QAbstractSocket::ConnectedState, staysOpen);
        }
        QCOMPARE(m_connections->count(), staysOpen ? 1 : 3);
        QCOMPARE(received(), QStringLiteral("ATDC|ATDC|ATDC"));
    }

    void remoteCloseLeavesTheLinkOpenAndTheNextPollReconnects()
    {
        m_link->setPollInterval(500);
        sim(QStringLiteral("fault tcp0 close"));
        QCOMPARE(poll(), QStringLiteral("21.5,40.2\n"));
        QTRY_COMPARE(m_socket->state(), QAbstractSocket::UnconnectedState);
        QVERIFY(m_link->isOpen());

        sim("fault tcp0 none");
        QCOMPARE(poll(), QStringLiteral("21.5,40.2\n"));
        QCOMPARE(m_connections->count(), 2);
        QCOMPARE(received(), QStringLiteral("ATDC|ATDC"));
    }

    void refusedConnectionClosesTheLinkAndTheNextPollTriesAgain()
    {
        m_link->setPollInterval(500);
        sim(QStringLiteral("stop tcp0"));
        QSignalSpy errors(m_socket, &QTcpSocket::errorOccurred);
        m_link->write();
        QTRY_COMPARE(errors.count(), 1);
        QCOMPARE(errors.at(0).at(0).value<QAbstractSocket::SocketError>(),
                 QAbstractSocket::ConnectionRefusedError);
        QVERIFY(!m_link->isOpen());
        QCOMPARE(m_replies->count(), 0);

        sim(QStringLiteral("start tcp0"));
        QCOMPARE(poll(), QStringLiteral("21.5,40.2\n"));
        QVERIFY(m_link->isOpen());
    }

    void splitReplyIsJoinedBeforeTheMarkerRules()
    {
        QSignalSpy arrivals(m_socket, &QTcpSocket::readyRead);
        sim(QStringLiteral("fault tcp0 split 10 80"));
        QCOMPARE(poll(), QStringLiteral("21.5,40.2\n"));
        QCOMPARE(m_replies->count(), 1);
        QCOMPARE(arrivals.count(), 2);
        // The first piece did not trigger the closing rule.
        QCOMPARE(m_connections->count(), 1);
    }

    void splitReplyIsJoinedAtEveryBytePosition()
    {
        m_link->setPollInterval(500);
        const int length = int(QByteArray("ATDC 21.5,40.2\r\n").size());
        for (int pos = 1; pos < length; ++pos) {
            sim(QStringLiteral("fault tcp0 split %1 30").arg(pos));
            QCOMPARE(poll(), QStringLiteral("21.5,40.2\n"));
        }
        QCOMPARE(m_replies->count(), length - 1);
    }

    void bytesAfterANulAreIgnoredAndTwoMarkersGiveBothLines()
    {
        sim("fault tcp0 nul");
        QCOMPARE(poll(), QStringLiteral("21.5,40.2\n"));
        sim("fault tcp0 none");
        sim("raw tcp0 ATDC 1,2\\r\\nATDC 3,4\\r\\n");
        QCOMPARE(poll(), QStringLiteral("1,2\n3,4\n"));
        QCOMPARE(m_replies->count(), 2);
    }

    void arrivalWithoutMarkerIsDroppedButStillClosesAtLongIntervals()
    {
        sim(QStringLiteral("raw tcp0 hello\\r\\n"));
        m_link->write();
        QTRY_COMPARE(m_socket->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(m_replies->count(), 0);
        QVERIFY(!m_link->isOpen());
    }

    void buzzerFlagTurnsPollsIntoSetupStartsAndPassesRepliesUnfiltered()
    {
        QSignalSpy starts(m_link.get(), &TelnetDevice::writeStartSync);
        m_link->setBuzzerFlag(true);
        // Once the attempt has started the socket holds a descriptor, so it reports valid.
        QVERIFY(m_link->open());
        QTRY_COMPARE(starts.count(), 1);
        m_link->write();
        QCOMPARE(starts.count(), 2);
        QVERIFY(m_link->open());
        QCOMPARE(starts.count(), 3);
        QVERIFY(received().isEmpty());

        QVERIFY(m_link->writeCommand("ATBMIN1 20.00\r\n") > 0);
        QTRY_COMPARE(m_replies->count(), 1);
        QCOMPARE(m_replies->at(0).at(0).toString(), QStringLiteral("OK\n"));
        // A setup exchange keeps the connection whatever the interval.
        QVERIFY(m_link->isOpen());
        QCOMPARE(received(), QStringLiteral("ATBMIN1 20.00"));
    }

    void commandOnAnUnconnectedLinkStartsAConnectionAndIsNotSent()
    {
        QCOMPARE(m_link->writeCommand("ATBSET\r\n"), qint64(0));
        QTRY_COMPARE(m_connections->count(), 1);
        // The connection itself sends a poll; the dropped command never arrives.
        QTRY_COMPARE(m_replies->count(), 1);
        QCOMPARE(received(), QStringLiteral("ATDC"));
    }

    void closeDiscardsAnUnfinishedReply()
    {
        m_link->setPollInterval(500);
        sim(QStringLiteral("raw tcp0 ATDC 99.9,"));
        QSignalSpy arrivals(m_socket, &QTcpSocket::readyRead);
        m_link->write();
        QTRY_COMPARE(arrivals.count(), 1);
        m_link->close();
        sim("values tcp0 21.5 40.2");
        QCOMPARE(poll(), QStringLiteral("21.5,40.2\n"));
        QCOMPARE(m_replies->count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestTelnetDevice)
#include "tst_telnetdevice.moc"
