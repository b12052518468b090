#include "device/abstractdevice.h"
#include "device/configureddevice.h"
#include "device/telnetdevice.h"
#include "recordingviews.h"
#include "store/insertserialdata.h"
#include "store/pendingrowqueue.h"
#include "tests/support/simprocess.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include <memory>

// The poll and setup engine of ConfiguredDevice against the simulator's network and USB
// loggers: connection tracking, the no-response counter and the setup exchange.
class TestConfiguredDevice : public QObject
{
    Q_OBJECT

private:
    SimProcess m_sim;
    PendingRowQueue m_rows;
    std::unique_ptr<ConfiguredDevice> m_device;
    // The poll interval the next device is made with.
    int m_interval = 10000;
    QStringList m_log;
    std::unique_ptr<RecordingTile> m_tile;

    void sim(const QString &line) { QCOMPARE(m_sim.command(line).left(2), QStringLiteral("ok")); }

    QString received(const QString &id = "tcp0")
    {
        return m_sim.command(QStringLiteral("received ") + id).mid(3);
    }

    void makeDevice(const QString &id)
    {
        const SimProcess::Logger logger = m_sim.logger(id);
        const int type = logger.kind == QLatin1String("USB") ? LINK_SERIAL : LINK_TCP;
        m_device = std::make_unique<ConfiguredDevice>(logger.deviceNumber, type);
        m_device->setPollInterval(m_interval);
        m_device->setConnection(QStringLiteral("Line 1"), QStringLiteral("Temp"),
                                QStringLiteral("Hum"), logger.address, logger.port);
        m_tile = std::make_unique<RecordingTile>(QStringLiteral("tile"), &m_log);
        m_device->setDashboardItems(m_tile.get(), nullptr);
    }

    // The request lines the logger receives until they read `expected` (or 3 s pass).
    QString receivedUntil(const QString &expected, const QString &id = "tcp0")
    {
        QStringList lines;
        const bool matched = QTest::qWaitFor(
            [&] {
                const QString more = received(id);
                if (!more.isEmpty())
                    lines << more;
                return lines.join('|') == expected;
            },
            3000);
        return matched ? expected : lines.join('|');
    }

    int setCount()
    {
        const QString setup = m_sim.command(QStringLiteral("setup tcp0"));
        return setup.mid(setup.indexOf(QLatin1String("SET=")) + 4).toInt();
    }

    TelnetDevice *telnet() const { return static_cast<TelnetDevice *>(m_device->link()); }

    int disconnections() const { return int(m_log.filter(QStringLiteral("disconnected")).size()); }

    // One timed poll whose reply has been decoded.
    bool answeredPoll()
    {
        const int values = int(m_log.filter(QStringLiteral("value")).size());
        m_device->requestData();
        return QTest::qWaitFor(
            [&] { return m_log.filter(QStringLiteral("value")).size() > values; }, 3000);
    }

    // A poll that the simulator received but left unanswered.
    void unansweredPoll()
    {
        m_device->requestData();
        QCOMPARE(receivedUntil(QStringLiteral("ATDC")), QStringLiteral("ATDC"));
    }

    void setPendingExample()
    {
        m_device->setPendingAlarmRange(20, 30, -10, 85.5f);
        m_device->setPendingBuzzerAlarm(QStringLiteral("OR"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_sim.start({"--tcp", "1", "--tcp-base-port", "0", "--usb", "1"}));
        QVERIFY(m_sim.logger("tcp0").port != 0);
        QVERIFY(!m_sim.logger("usb0").address.isEmpty());
    }

    void init()
    {
        for (const QString id : {"tcp0", "usb0"}) {
            sim(QStringLiteral("fault %1 none").arg(id));
            sim(QStringLiteral("values %1 21.5 40.2").arg(id));
            received(id);
        }
        m_rows.clear();
        m_interval = 10000;
        m_log.clear();
    }

    void cleanup()
    {
        if (m_device)
            m_device->clearDashboardItems();
        m_device.reset();
        m_tile.reset();
        m_rows.clear();
    }

    void unansweredPollsDisconnectANetworkLogger_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<int>("disconnectingPoll");
        QTest::newRow("500 ms") << 500 << 6;
        QTest::newRow("1000 ms") << 1000 << 6;
        QTest::newRow("1001 ms") << 1001 << 3;
        QTest::newRow("10 s") << 10000 << 3;
    }

    void unansweredPollsDisconnectANetworkLogger()
    {
        QFETCH(int, interval);
        QFETCH(int, disconnectingPoll);
        m_interval = interval;
        m_device = nullptr;
        makeDevice("tcp0");
        m_device->setKeepAlive(true);
        QVERIFY(!m_device->isConnected());
        QVERIFY(answeredPoll());
        QVERIFY(m_device->isConnected());
        QCOMPARE(m_device->ch1Value(), QStringLiteral("21.50"));
        received();

        sim("fault tcp0 noanswer");
        for (int poll = 1; poll < disconnectingPoll; ++poll) {
            unansweredPoll();
            QVERIFY2(m_device->isConnected(), qPrintable(QString::number(poll)));
        }
        unansweredPoll();
        QVERIFY(!m_device->isConnected());
        QVERIFY(m_device->ch1Value().isEmpty());
        QCOMPARE(disconnections(), 1);

        unansweredPoll();
        QCOMPARE(disconnections(), 2);

        sim("fault tcp0 none");
        QVERIFY(answeredPoll());
        QVERIFY(m_device->isConnected());
        QCOMPARE(m_device->unansweredPolls(), 0);
    }

    void serialLoggerIsNeverDisconnectedByUnansweredPolls()
    {
        makeDevice("usb0");
        QVERIFY(m_device->open());
        QVERIFY(answeredPoll());
        QVERIFY(m_device->isConnected());
        received("usb0");

        sim(QStringLiteral("fault usb0 noanswer"));
        for (int poll = 0; poll < 8; ++poll)
            m_device->requestData();
        const QString eight = QStringList(8, QStringLiteral("ATCD")).join('|');
        QCOMPARE(receivedUntil(eight, "usb0"), eight);
        QVERIFY(m_device->isConnected());
        QCOMPARE(m_device->unansweredPolls(), 0);
        QCOMPARE(disconnections(), 0);
    }

    void splitReplyIsDecodedWholeOnBothLinks_data()
    {
        QTest::addColumn<QString>("id");
        QTest::newRow("network") << "tcp0";
        QTest::newRow("usb") << "usb0";
    }

    void splitReplyIsDecodedWholeOnBothLinks()
    {
        QFETCH(QString, id);
        makeDevice(id);
        if (m_device->linkType() == LINK_SERIAL)
            QVERIFY(m_device->open());
        m_device->startRecording(m_rows);
        sim(QStringLiteral("values %1 23.4 45.6").arg(id));
        sim(QStringLiteral("fault %1 split 10 60").arg(id));
        QVERIFY(answeredPoll());
        QCOMPARE(m_device->ch1Value(), QStringLiteral("23.40"));
        QCOMPARE(m_device->ch2Value(), QStringLiteral("45.60"));
        QCOMPARE(m_device->ch2Data()[239], 45.6);
        QCOMPARE(m_rows.count(), 1);
    }

    void oversizedNumbersAreNoValue()
    {
        makeDevice("tcp0");
        m_device->setAlarmRange(10, 30, 10, 30);
        sim(QStringLiteral("fault tcp0 longline"));
        QVERIFY(answeredPoll());
        QCOMPARE(m_device->ch1Value(), QStringLiteral("----"));
        QCOMPARE(m_device->ch2Value(), QStringLiteral("----"));
        QVERIFY(!m_device->alarm1());
    }

    void manualRefreshIsShownButNotStored()
    {
        makeDevice("tcp0");
        m_device->startRecording(m_rows);
        QVERIFY(answeredPoll());
        QCOMPARE(m_rows.count(), 1);
        const QDateTime requestTime = m_device->lastRequestTime();

        sim(QStringLiteral("values tcp0 22 41"));
        m_device->refreshData();
        QTRY_COMPARE(m_device->ch1Value(), QStringLiteral("22.00"));
        QCOMPARE(m_rows.count(), 1);
        QCOMPARE(m_device->lastRequestTime(), requestTime);
        QCOMPARE(m_device->ch1Data()[239], 22.0);
        QCOMPARE(m_device->timeData()[238], NO_VALUE);

        // A refresh left unanswered does not take the next timed sample for its own.
        received();
        sim(QStringLiteral("fault tcp0 noanswer"));
        m_device->refreshData();
        QCOMPARE(receivedUntil(QStringLiteral("ATDC")), QStringLiteral("ATDC"));
        sim(QStringLiteral("fault tcp0 none"));
        QVERIFY(answeredPoll());
        QCOMPARE(m_rows.count(), 2);
    }

    void manualRefreshReopensAClosedSerialPort()
    {
        makeDevice("usb0");
        QVERIFY(!m_device->link()->isOpen());
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("\\[ERROR\\] SerialDevice::writeCommand"));
        m_device->refreshData();
        QVERIFY(m_device->link()->isOpen());
        QVERIFY(answeredPoll());
        QCOMPARE(m_device->ch1Value(), QStringLiteral("21.50"));
    }

    void setupExchangeWritesEachCommandAfterAnOK_data()
    {
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("keepAlive");
        QTest::addColumn<bool>("closedAfterwards");
        QTest::newRow("1 s, connected") << 1000 << false << false;
        QTest::newRow("10 s") << 10000 << false << true;
        QTest::newRow("10 s keep-alive") << 10000 << true << false;
    }

    void setupExchangeWritesEachCommandAfterAnOK()
    {
        QFETCH(int, interval);
        QFETCH(bool, keepAlive);
        QFETCH(bool, closedAfterwards);
        m_interval = interval;
        makeDevice("tcp0");
        m_device->setKeepAlive(keepAlive);
        QVERIFY(answeredPoll());
        if (interval <= 1000 || keepAlive)
            QVERIFY(m_device->link()->isOpen());
        received();

        const int setsBefore = setCount();
        QSignalSpy success(m_device.get(), &ConfiguredDevice::buzzerSyncSuccess);
        QSignalSpy failure(m_device.get(), &ConfiguredDevice::buzzerSyncError);
        setPendingExample();
        m_device->startSyncTelnet();
        QVERIFY(telnet()->buzzerFlag());
        QTRY_COMPARE(success.count(), 1);
        QCOMPARE(failure.count(), 0);

        QCOMPARE(received(), QStringLiteral("ATBMIN1 20.00|ATBMAX1 30.00|ATBMIN2 -10.00|"
                                            "ATBMAX2 85.50|ATBAL OR|ATBSET"));
        QVERIFY(m_sim.command(QStringLiteral("setup tcp0"))
                    .startsWith(QStringLiteral("ok ATBMIN1=20.00 ATBMAX1=30.00 ATBMIN2=-10.00 "
                                               "ATBMAX2=85.50 ATBAL=OR SET=")));
        QCOMPARE(setCount(), setsBefore + 1);
        QCOMPARE(m_device->syncState(), int(ConfiguredDevice::STATE_IDLE));
        QVERIFY(!telnet()->buzzerFlag());
        QCOMPARE(m_device->link()->isOpen(), !closedAfterwards);

        // The committed limits change only when the dialog applies them.
        float limits[4];
        m_device->alarmRange(limits);
        QCOMPARE(limits[1], 0.0f);
        m_device->applyPendingSettings();
        m_device->alarmRange(limits);
        QCOMPARE(limits[3], 85.5f);
        QCOMPARE(m_device->buzzerAlarm(), QStringLiteral("OR"));

        QVERIFY(answeredPoll());
    }

    void onlyAnOKLineLetsTheSetupExchangeGoOn_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("succeeds");
        QTest::newRow("OK split in two arrivals") << "fault tcp0 split 1 30" << true;
        QTest::newRow("error reply") << "fault tcp0 notok" << false;
        QTest::newRow("lower-case ok") << "raw tcp0 ok\\r\\n" << false;
        QTest::newRow("OK twice in one arrival") << "raw tcp0 OK\\r\\nOK\\r\\n" << false;
        QTest::newRow("OK with a trailing space") << "raw tcp0 OK \\r\\n" << false;
    }

    void onlyAnOKLineLetsTheSetupExchangeGoOn()
    {
        QFETCH(QString, command);
        QFETCH(bool, succeeds);
        makeDevice("tcp0");
        QSignalSpy success(m_device.get(), &ConfiguredDevice::buzzerSyncSuccess);
        QSignalSpy failure(m_device.get(), &ConfiguredDevice::buzzerSyncError);
        sim(command);
        setPendingExample();
        m_device->startSyncTelnet();
        if (succeeds) {
            QTRY_COMPARE(success.count(), 1);
            return;
        }
        QTRY_COMPARE(failure.count(), 1);
        QCOMPARE(failure.at(0).at(0).toString(), QStringLiteral("Device Setup Failed."));
        QCOMPARE(success.count(), 0);
        QCOMPARE(received(), QStringLiteral("ATBMIN1 20.00"));
        QCOMPARE(m_device->syncState(), int(ConfiguredDevice::STATE_IDLE));
        QVERIFY(!telnet()->buzzerFlag());
        QVERIFY(!m_device->link()->isOpen());
    }

    void failedFirstWriteEndsTheExchangeSilentlyUntilStopped()
    {
        // At short intervals the exchange writes at once; on a link that is not
        // connected yet the first command cannot go out.
        m_interval = 500;
        makeDevice("tcp0");
        QSignalSpy success(m_device.get(), &ConfiguredDevice::buzzerSyncSuccess);
        QSignalSpy failure(m_device.get(), &ConfiguredDevice::buzzerSyncError);
        QSignalSpy connections(telnet()->findChild<QTcpSocket *>(), &QTcpSocket::connected);
        setPendingExample();
        m_device->startSyncTelnet();
        QCOMPARE(m_device->syncState(), int(ConfiguredDevice::STATE_IDLE));
        QTRY_COMPARE(connections.count(), 1);

        // The link still turns polls into setup starts, which the idle device ignores.
        m_device->requestData();
        QVERIFY(received().isEmpty());
        QCOMPARE(success.count() + failure.count(), 0);

        m_device->stopSyncTelnet();
        QVERIFY(!telnet()->buzzerFlag());
        QVERIFY(answeredPoll());
    }

    void timedPollsDuringAnExchangeSendAndStoreNothing()
    {
        makeDevice("tcp0");
        m_device->startRecording(m_rows);
        sim("fault tcp0 noanswer");
        setPendingExample();
        m_device->startSyncTelnet();
        QCOMPARE(receivedUntil(QStringLiteral("ATBMIN1 20.00")), QStringLiteral("ATBMIN1 20.00"));

        m_device->requestData();
        m_device->refreshData();
        QCOMPARE(m_device->unansweredPolls(), 0);
        QCOMPARE(m_device->syncState(), int(ConfiguredDevice::STATE_START));
        QVERIFY(received().isEmpty());
        QCOMPARE(m_rows.count(), 0);
    }

    void stopOrDisconnectionEndsAnUnansweredExchangeWithoutASignal_data()
    {
        QTest::addColumn<bool>("stop");
        QTest::newRow("stop") << true;
        QTest::newRow("disconnection") << false;
    }

    void stopOrDisconnectionEndsAnUnansweredExchangeWithoutASignal()
    {
        QFETCH(bool, stop);
        makeDevice("tcp0");
        QSignalSpy success(m_device.get(), &ConfiguredDevice::buzzerSyncSuccess);
        QSignalSpy failure(m_device.get(), &ConfiguredDevice::buzzerSyncError);
        sim("fault tcp0 noanswer");
        setPendingExample();
        m_device->startSyncTelnet();
        QCOMPARE(receivedUntil(QStringLiteral("ATBMIN1 20.00")), QStringLiteral("ATBMIN1 20.00"));
        if (!stop) {
            m_device->deviceDisconnected();
            QCOMPARE(m_device->syncState(), int(ConfiguredDevice::STATE_IDLE));
            QCOMPARE(success.count() + failure.count(), 0);
            return;
        }
        m_device->stopSyncTelnet();
        QCOMPARE(m_device->syncState(), int(ConfiguredDevice::STATE_IDLE));
        QVERIFY(!telnet()->buzzerFlag());
        QVERIFY(!m_device->link()->isOpen());
        QCOMPARE(success.count() + failure.count(), 0);
        sim("fault tcp0 none");
        QVERIFY(answeredPoll());
        QCOMPARE(received(), QStringLiteral("ATDC"));
    }

    void setupExchangeIsForNetworkLoggersOnly()
    {
        makeDevice("usb0");
        QVERIFY(m_device->open());
        setPendingExample();
        m_device->startSyncTelnet();
        QCOMPARE(m_device->syncState(), int(ConfiguredDevice::STATE_IDLE));
        m_device->setKeepAlive(true);
        QVERIFY(!m_device->keepAlive());
        QVERIFY(answeredPoll());
        QCOMPARE(received("usb0"), QStringLiteral("ATCD"));
    }
};

QTEST_MAIN(TestConfiguredDevice)
#include "tst_configureddevice.moc"
