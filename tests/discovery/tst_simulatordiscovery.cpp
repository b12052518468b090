#include "device/devicetypes.h"
#include "discovery/availabledevicelist.h"
#include "discovery/networkdiscovery.h"
#include "netnsguard.h"
#include "tests/support/simprocess.h"

#include <QTest>

// The simulator answers the broadcast for each of its network loggers, from inside the
// private namespace.
class SimulatorDiscoveryTest : public QObject
{
    Q_OBJECT

private:
    static bool startSimulator(SimProcess &sim)
    {
        return sim.start({"--tcp", "2", "--bind", "10.99.0.1", "--discovery"});
    }

    static QList<SimProcess::Logger> networkLoggers(const SimProcess &sim)
    {
        QList<SimProcess::Logger> loggers;
        for (const SimProcess::Logger &logger : sim.loggers()) {
            if (logger.kind == QLatin1String("TCP"))
                loggers << logger;
        }
        return loggers;
    }

private slots:
    void initTestCase() { REQUIRE_DISCOVERY_NAMESPACE(); }

    void everyNetworkLoggerBecomesAnEntry()
    {
        SimProcess sim;
        QVERIFY(startSimulator(sim));
        const QList<SimProcess::Logger> loggers = networkLoggers(sim);
        QCOMPARE(loggers.size(), 2);

        AvailableDeviceList list;
        NetworkDiscovery discovery(&list);
        discovery.broadcastDevice();
        QTRY_COMPARE(list.all().size(), 2);
        for (const SimProcess::Logger &logger : loggers) {
            const AvailableDevice *entry =
                AvailableDeviceList::findAvailableDevice(list.all(), logger.deviceNumber);
            QVERIFY2(entry, qPrintable(logger.deviceNumber));
            QCOMPARE(entry->address, QString("10.99.0.1"));
            QCOMPARE(entry->port, logger.port);
            QCOMPARE(entry->kind, LINK_TCP);
        }
    }

    void knownLoggersAreUpdatedNotDuplicated()
    {
        SimProcess sim;
        QVERIFY(startSimulator(sim));
        const SimProcess::Logger first = networkLoggers(sim).value(0);
        QVERIFY(!first.deviceNumber.isEmpty());

        AvailableDeviceList list;
        DiscoveryReply stale;
        stale.macAddress = first.deviceNumber;
        stale.ipAddress = QStringLiteral("10.99.0.200");
        stale.port = 1;
        list.mergeDiscoveryReply(stale);
        AvailableDevice *entry = list.all().first();

        NetworkDiscovery discovery(&list);
        discovery.broadcastDevice();
        QTRY_COMPARE(list.all().size(), 2);
        QTRY_COMPARE(entry->address, QString("10.99.0.1"));
        QCOMPARE(list.all().first(), entry);
        QCOMPARE(entry->port, first.port);

        // Both answers of the next broadcast must land in the two existing entries.
        for (AvailableDevice *device : list.all())
            device->address = QStringLiteral("stale");
        discovery.broadcastDevice();
        QTRY_COMPARE(list.all().at(0)->address, QString("10.99.0.1"));
        QTRY_COMPARE(list.all().at(1)->address, QString("10.99.0.1"));
        QCOMPARE(list.all().size(), 2);
    }
};

QTEST_GUILESS_MAIN(SimulatorDiscoveryTest)
#include "tst_simulatordiscovery.moc"
