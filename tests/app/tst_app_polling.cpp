#include "app/alarmsound.h"
#include "app/velmoranmain.h"
#include "device/configureddevice.h"
#include "discovery/usbenumerator.h"
#include "store/insertserialdata.h"
#include "tests/app/appfixture.h"
#include "tests/app/fakesink.h"
#include "tests/app/loggerproject.h"
#include "tests/support/simprocess.h"
#include "tests/support/tempproject.h"
#include "tests/support/testsettings.h"

#include <QLabel>
#include <QTest>

#include <memory>

using namespace AppFixture;

namespace {
class FakeUsbEnumerator : public UsbEnumerator
{
public:
    QList<UsbPortPair> enumerateUsbLoggers() override { return pairs; }
    QList<UsbPortPair> pairs;
};
} // namespace

class TestAppPolling : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        isolateSettings();
        QVERIFY(m_sim.start({"--tcp", "1", "--tcp-base-port", "0", "--usb", "1"}));
    }

    void init()
    {
        clearAppSettings();
        m_dir = std::make_unique<TempProjectDir>();
    }

    void anAlarmPlaysTheSoundUntilItClears()
    {
        QCOMPARE(m_sim.command("auto tcp0").left(2), QStringLiteral("ok"));
        const QString path = m_dir->projectPath("Hot");
        LoggerLimits limits;
        limits.ch1Min = 0;
        limits.ch1Max = 10; // the simulator answers about 20
        QVERIFY(writeLoggerProject(path, {m_sim.logger("tcp0")}, 1000, limits));
        VelmoranMain window;
        auto *sink = new FakeSink;
        window.alarmSound()->setSink(sink);
        window.projectLoaded(path);

        QTRY_COMPARE_WITH_TIMEOUT(sink->starts, 1, 5000);
        QVERIFY(window.configuredDevices().first()->alarm1());
        // Still playing: the next tick leaves it alone.
        const auto *clock = window.findChild<QLabel *>("label_datetime");
        const QString tickBefore = clock->text();
        QTRY_VERIFY_WITH_TIMEOUT(clock->text() != tickBefore, 2500);
        QCOMPARE(sink->starts, 1);
        sink->finishPlayback();
        QTRY_COMPARE_WITH_TIMEOUT(sink->starts, 2, 3000);

        QCOMPARE(m_sim.command("values tcp0 5 45").left(2), QStringLiteral("ok"));
        QTRY_COMPARE_WITH_TIMEOUT(sink->state(), QAudio::StoppedState, 5000);
        QVERIFY(!window.configuredDevices().first()->alarm1());
        QCOMPARE(sink->starts, 2);

        window.slotCloseProject();
        QCOMPARE(m_sim.command("auto tcp0").left(2), QStringLiteral("ok"));
    }

    void aPluggedInUsbLoggerIsReopenedOnItsPortAndSaved()
    {
        const SimProcess::Logger usb = m_sim.logger("usb0");
        QVERIFY(!usb.address.isEmpty());
        SimProcess::Logger stale = usb;
        stale.address = m_dir->filePath("ttyGone");
        const QString path = m_dir->projectPath("Usb");
        QVERIFY(writeLoggerProject(path, {stale}, 1000));

        VelmoranMain window;
        auto *enumerator = new FakeUsbEnumerator;
        window.setUsbEnumerator(enumerator);
        window.projectLoaded(path);
        ConfiguredDevice *device = window.configuredDevices().value(0);
        QVERIFY(device);
        QCOMPARE(device->deviceInterface(), stale.address);

        enumerator->pairs = {{usb.address, usb.deviceNumber}};
        QTRY_COMPARE_WITH_TIMEOUT(device->deviceInterface(), usb.address, 4000);
        QVERIFY(ProjectFile::readDeviceList(path).contains(usb.address.toUtf8()));
        QTRY_VERIFY_WITH_TIMEOUT(device->isConnected(), 4000);
        QCOMPARE(window.availableDevices().size(), 1);

        enumerator->pairs.clear();
        QTRY_VERIFY_WITH_TIMEOUT(window.availableDevices().isEmpty(), 4000);
        window.slotCloseProject();
    }

private:
    SimProcess m_sim;
    std::unique_ptr<TempProjectDir> m_dir;
};

QTEST_MAIN(TestAppPolling)
#include "tst_app_polling.moc"
