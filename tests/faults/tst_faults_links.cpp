// Loggers that go away while the program records: silent, refusing connections, resetting a
// setup exchange, or a USB port that disappears and comes back on another pseudo-terminal.
#include "app/velmoranmain.h"
#include "device/configureddevice.h"
#include "dialogs/sensingoptiontelnetdialog.h"
#include "discovery/usbenumerator.h"
#include "project/projectfile.h"
#include "store/insertserialdata.h"
#include "tests/faults/recordingrig.h"
#include "tests/support/simprocess.h"
#include "tests/support/tempproject.h"
#include "tests/support/testsettings.h"
#include "view/projectcenter.h"

#include <QDoubleSpinBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>

namespace {
class FakeUsbBus : public UsbEnumerator
{
public:
    QList<UsbPortPair> enumerateUsbLoggers() override { return pairs; }
    QList<UsbPortPair> pairs;
};

bool ok(const QString &reply)
{
    return reply.startsWith(QStringLiteral("ok"));
}

SensingOptionTelnetDialog *openOptionDialog(RecordingRig &rig, ConfiguredDevice *device)
{
    ProjectCenter *center = rig.window()->projectCenter();
    center->slotDeviceClicked(device);
    center->slotPopupSensingOption();
    return center->findChild<SensingOptionTelnetDialog *>();
}

// The limits the device holds (committed), not the ones staged in a dialog.
float committedCh1Min(const ConfiguredDevice *device)
{
    float limits[4];
    device->alarmRange(limits);
    return limits[0];
}
} // namespace

class TestFaultsLinks : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void aSilentLoggerIsMarkedDisconnectedAndRecordedAgainWhenItAnswers();
    void aRefusingLoggerIsMarkedDisconnectedUntilItListensAgain();
    void aResetInTheMiddleOfASetupExchangeEndsItAndPollingGoesOn();
    void closingTheOptionDialogMidExchangeWaitsForTheLoggersOk();
    void aUsbPortThatDisappearsIsReopenedWhereItReappears();

private:
    SimProcess m_sim;
    std::unique_ptr<TempProjectDir> m_dir;
};

void TestFaultsLinks::initTestCase()
{
    isolateSettings();
    // Drifting values keep any two answers of a logger apart, however fast the polls come.
    QVERIFY(m_sim.start({"--tcp", "2", "--tcp-base-port", "0", "--usb", "1", "--drift", "tcp0:1",
                         "--drift", "tcp1:1", "--drift", "usb0:1"}));
}

void TestFaultsLinks::init()
{
    m_dir = std::make_unique<TempProjectDir>();
}

void TestFaultsLinks::cleanup()
{
    for (const char *id : {"tcp0", "tcp1", "usb0"}) {
        m_sim.command(QStringLiteral("fault %1 none").arg(QLatin1String(id)));
        m_sim.command(QStringLiteral("start %1").arg(QLatin1String(id)));
    }
}

void TestFaultsLinks::aSilentLoggerIsMarkedDisconnectedAndRecordedAgainWhenItAnswers()
{
    RecordingRig rig(&m_sim);
    QVERIFY2(rig.open(m_dir->path(), {"tcp0", "tcp1"}), qPrintable(rig.failure()));
    QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}));
    ConfiguredDevice *silent = rig.device("tcp0");
    QVERIFY(silent->isConnected());

    QVERIFY(ok(m_sim.command("fault tcp0 noanswer")));
    // Five unanswered polls are a short gap at one second; the sixth marks it gone.
    for (int poll = 0; poll < 5; ++poll) {
        QVERIFY(rig.pollAndWait({"tcp1"}));
        QVERIFY(silent->isConnected());
    }
    QVERIFY(rig.pollAndWait({"tcp1"}));
    QVERIFY(!silent->isConnected());
    QVERIFY(rig.device("tcp1")->isConnected());
    QVERIFY(silent->ch1Value().isEmpty());

    QVERIFY(ok(m_sim.command("fault tcp0 none")));
    QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}));
    QVERIFY(silent->isConnected());
    QVERIFY(!silent->ch1Value().isEmpty());

    QString why;
    QVERIFY2(rig.everyAnswerStoredOnce({"tcp0", "tcp1"}, &why), qPrintable(why));
    QCOMPARE(integrityCheck(rig.databasePath()), QStringLiteral("ok"));
}

void TestFaultsLinks::aRefusingLoggerIsMarkedDisconnectedUntilItListensAgain()
{
    RecordingRig rig(&m_sim);
    QVERIFY2(rig.open(m_dir->path(), {"tcp0", "tcp1"}), qPrintable(rig.failure()));
    QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}));
    ConfiguredDevice *gone = rig.device("tcp0");

    QVERIFY(ok(m_sim.command("stop tcp0")));
    for (int poll = 0; poll < 6; ++poll)
        QVERIFY(rig.pollAndWait({"tcp1"}));
    QVERIFY(!gone->isConnected());
    QCOMPARE(rig.answeredSinceOpen("tcp1"), 8);

    QVERIFY(ok(m_sim.command("start tcp0")));
    // The poll finds the connection closed and opens a new one; the request follows it.
    QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}));
    QVERIFY(gone->isConnected());
    QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}));

    QString why;
    QVERIFY2(rig.everyAnswerStoredOnce({"tcp0", "tcp1"}, &why), qPrintable(why));
}

void TestFaultsLinks::aResetInTheMiddleOfASetupExchangeEndsItAndPollingGoesOn()
{
    RecordingRig rig(&m_sim);
    QVERIFY2(rig.open(m_dir->path(), {"tcp0", "tcp1"}), qPrintable(rig.failure()));
    QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}));
    ConfiguredDevice *device = rig.device("tcp0");
    QPointer<SensingOptionTelnetDialog> dialog = openOptionDialog(rig, device);
    QVERIFY(dialog);

    // Each "OK" comes late, so the reset lands while the logger is still answering.
    QVERIFY(ok(m_sim.command("fault tcp0 slow 400")));
    dialog->findChild<QDoubleSpinBox *>("doubleSpinBox_min_ch1")->setValue(5);
    auto *confirm = dialog->findChild<QPushButton *>("pushButton_confirm");
    QTest::mouseClick(confirm, Qt::LeftButton);
    QTRY_VERIFY(m_sim.command("setup tcp0").contains("ATBMIN1=5.00"));
    QVERIFY(ok(m_sim.command("reset tcp0")));
    QVERIFY(ok(m_sim.command("fault tcp0 none")));

    const QString timedOut = QStringLiteral("This command has exceeded the time limit.\n"
                                            "Please retry.");
    QTRY_COMPARE_WITH_TIMEOUT(rig.shownMessages("ERROR", timedOut), 1, 4000);
    QCOMPARE(committedCh1Min(device), -1000.0f);
    QVERIFY(confirm->isEnabled());

    // The exchange is over: the logger is polled again on a new connection.
    QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}));
    QVERIFY(device->isConnected());

    QTest::mouseClick(confirm, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), 4000);
    QCOMPARE(committedCh1Min(device), 5.0f);
    QVERIFY(m_sim.command("setup tcp0").endsWith("SET=1"));
    QVERIFY(rig.pollAndWait({"tcp0", "tcp1"}));

    QString why;
    QVERIFY2(rig.everyAnswerStoredOnce({"tcp0", "tcp1"}, &why), qPrintable(why));
}

void TestFaultsLinks::closingTheOptionDialogMidExchangeWaitsForTheLoggersOk()
{
    RecordingRig rig(&m_sim);
    QVERIFY2(rig.open(m_dir->path(), {"tcp0"}), qPrintable(rig.failure()));
    QVERIFY(rig.pollAndWait({"tcp0"}));
    ConfiguredDevice *device = rig.device("tcp0");
    QPointer<SensingOptionTelnetDialog> dialog = openOptionDialog(rig, device);
    QVERIFY(dialog);

    QVERIFY(ok(m_sim.command("fault tcp0 slow 150")));
    dialog->findChild<QDoubleSpinBox *>("doubleSpinBox_min_ch1")->setValue(7);
    QTest::mouseClick(dialog->findChild<QPushButton *>("pushButton_confirm"), Qt::LeftButton);
    QTest::keyClick(dialog, Qt::Key_Escape);
    dialog->close();
    QVERIFY(dialog && dialog->isVisible());

    QTRY_VERIFY_WITH_TIMEOUT(dialog.isNull(), 4000);
    QCOMPARE(committedCh1Min(device), 7.0f);
    QVERIFY(m_sim.command("setup tcp0").contains("ATBMIN1=7.00"));
    QList<DeviceRecord> saved;
    QVERIFY(ProjectFile::parseDeviceList(ProjectFile::readDeviceList(rig.projectPath()), &saved));
    QCOMPARE(saved.size(), 1);
    QCOMPARE(saved.first().ch1Min, 7.0f);
}

void TestFaultsLinks::aUsbPortThatDisappearsIsReopenedWhereItReappears()
{
    auto *bus = new FakeUsbBus;
    const SimProcess::Logger usb = m_sim.logger("usb0");
    bus->pairs = {{usb.address, usb.deviceNumber}};
    RecordingRig rig(&m_sim);
    QVERIFY2(rig.open(m_dir->path(), {"usb0", "tcp0"}, bus), qPrintable(rig.failure()));
    ConfiguredDevice *device = rig.device("usb0");
    QVERIFY(rig.pollAndWait({"usb0", "tcp0"}));
    QVERIFY(device->isConnected());

    QVERIFY(ok(m_sim.command("stop usb0")));
    QTRY_VERIFY_WITH_TIMEOUT(!device->isConnected(), 3000);
    bus->pairs.clear();
    rig.window()->checkConnection();
    QVERIFY(rig.pollAndWait({"tcp0"}));
    QVERIFY(rig.pollAndWait({"tcp0"}));
    QVERIFY(!device->isConnected());

    QVERIFY(ok(m_sim.command("start usb0")));
    // A new pseudo-terminal, which may or may not get the old number back.
    const SimProcess::Logger back = m_sim.logger("usb0");
    bus->pairs = {{back.address, back.deviceNumber}};
    rig.window()->checkConnection();
    QCOMPARE(device->deviceInterface(), back.address);
    QVERIFY(rig.pollAndWait({"usb0", "tcp0"}));
    QVERIFY(device->isConnected());

    QString why;
    QVERIFY2(rig.everyAnswerStoredOnce({"usb0", "tcp0"}, &why), qPrintable(why));
}

QTEST_MAIN(TestFaultsLinks)
#include "tst_faults_links.moc"
