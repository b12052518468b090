#include "app/alarmsound.h"
#include "app/velmoranmain.h"
#include "device/abstractdevice.h"
#include "device/configureddevice.h"
#include "project/projectmanager.h"
#include "store/insertserialdata.h"
#include "tests/app/appfixture.h"
#include "tests/app/fakesink.h"
#include "tests/app/loggerproject.h"
#include "tests/support/simprocess.h"
#include "tests/support/tempproject.h"
#include "tests/support/testsettings.h"
#include "view/projectcenter.h"

#include <QTest>

#include <memory>

using namespace AppFixture;

// These cases send the discovery broadcast: they run only inside a private network namespace.
class TestAppEditing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (qgetenv("VELMORAN_IN_NETNS") != "1")
            QSKIP("broadcasts only inside the namespace of scripts/netns-run.sh");
        isolateSettings();
        QVERIFY(m_sim.start({"--tcp", "1", "--tcp-base-port", "0"}));
    }

    void init()
    {
        clearAppSettings();
        m_dir = std::make_unique<TempProjectDir>();
    }

    void creatingAProjectWritesItsKeysAndOpensTheDevicePanel()
    {
        const QString path = m_dir->projectPath("Line1.old");
        VelmoranMain window;
        window.projectCreated(path);

        ProjectInfo info;
        QVERIFY(ProjectFile::readInfo(path, &info));
        QCOMPARE(info.projectName, QStringLiteral("Line1"));
        QCOMPARE(info.databaseName, QStringLiteral("Line1.dat"));
        QCOMPARE(info.dataInterval, 10000);
        QVERIFY(ProjectFile::readDeviceList(path).isEmpty());

        QVERIFY(window.projectManager());
        QVERIFY(!window.projectMain());
        QVERIFY(!window.store());
        QVERIFY(action(&window, "actClose")->isEnabled());
        QVERIFY(!action(&window, "actAddDelete")->isEnabled());
        QVERIFY(!action(&window, "actPlotvane")->isEnabled());

        action(&window, "actClose")->trigger();
        QVERIFY(window.projectMain());
        QVERIFY(!window.projectManager());
    }

    void addDeleteStopsPollingAndReleasesTheStoreUntilConfirmed()
    {
        const QString path = m_dir->projectPath("Line1");
        QVERIFY(writeLoggerProject(path, {m_sim.logger("tcp0")}, 5000));
        VelmoranMain window;
        auto *sink = new FakeSink;
        window.alarmSound()->setSink(sink);
        window.projectLoaded(path);
        QCOMPARE(activeTimersWithInterval(&window, 5000), 1);
        ConfiguredDevice *device = window.configuredDevices().value(0);
        QVERIFY(device);
        QTRY_VERIFY_WITH_TIMEOUT(device->isConnected(), 5000);

        window.alarmSound()->play();
        action(&window, "actAddDelete")->trigger();
        QCOMPARE(activeTimersWithInterval(&window, 5000), 0);
        QVERIFY(!window.store());
        QVERIFY(!window.projectCenter());
        QVERIFY(window.projectManager());
        QVERIFY(!window.isProjectOpen());
        QVERIFY(action(&window, "actClose")->isEnabled());
        QVERIFY(!action(&window, "actAddDelete")->isEnabled());
        QVERIFY(sink->stops >= 1);
        QVERIFY(!device->link() || !device->link()->isOpen());
        QCOMPARE(device->chartView(), nullptr);
        QCOMPARE(device->ch1Item(), nullptr);

        window.projectManager()->slotProjectListConfirm();
        QTRY_VERIFY(!window.projectManager());
        QVERIFY(window.projectCenter());
        QVERIFY(window.store() && window.store()->isConnected());
        QCOMPARE(window.configuredDevices(), QList<ConfiguredDevice *>{device});
        QCOMPARE(activeTimersWithInterval(&window, 5000), 1);
        QVERIFY(
            ProjectFile::readDeviceList(path).contains(m_sim.logger("tcp0").deviceNumber.toUtf8()));
    }

private:
    SimProcess m_sim;
    std::unique_ptr<TempProjectDir> m_dir;
};

QTEST_MAIN(TestAppEditing)
#include "tst_app_editing.moc"
