#include "device/configureddevice.h"
#include "device/devicetypes.h"
#include "dialogs/sensingoptiontelnetdialog.h"
#include "dialogs/sensingoptionusbdialog.h"
#include "tests/support/messageprobe.h"
#include "tests/support/simprocess.h"
#include "tests/support/widgetfinder.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <memory>

namespace {
using Limits = QList<float>;
const Limits LIMITS{0.0f, 50.0f, 0.0f, 100.0f};
const ShownMessage TIMED_OUT{"ERROR", "This command has exceeded the time limit.\nPlease retry."};
const char *const RANGES[] = {"doubleSpinBox_min_ch1", "doubleSpinBox_max_ch1",
                              "doubleSpinBox_min_ch2", "doubleSpinBox_max_ch2"};

Limits committed(const ConfiguredDevice &device)
{
    float limits[4];
    device.alarmRange(limits);
    return {limits[0], limits[1], limits[2], limits[3]};
}

int editableRanges(const QObject *dialog)
{
    int count = 0;
    for (const char *name : RANGES)
        count += child<QDoubleSpinBox>(dialog, name)->isEnabled() ? 1 : 0;
    return count;
}

// Sets the four limits (if given) and clicks "Confirm"; returns the messages then shown.
QList<ShownMessage> confirm(QWidget *dialog, const QList<double> &ranges = {})
{
    closeMessages(dialog);
    for (int i = 0; i < ranges.size(); ++i)
        child<QDoubleSpinBox>(dialog, RANGES[i])->setValue(ranges.at(i));
    QTest::mouseClick(child<QPushButton>(dialog, "pushButton_confirm"), Qt::LeftButton);
    return shownMessages(dialog);
}

// Back to editing: the button, the limit boxes and the device's own limits as they were.
bool editing(const QObject *dialog, const ConfiguredDevice &device)
{
    const auto *button = child<QPushButton>(dialog, "pushButton_confirm");
    return button->text() == QStringLiteral("Confirm") && button->isEnabled() &&
           editableRanges(dialog) == 4 && committed(device) == LIMITS;
}
} // namespace

class SensingOptionTest : public QObject
{
    Q_OBJECT

private:
    SimProcess m_sim;
    SimProcess::Logger m_logger;

    // A network logger on the simulator, connected the way the program connects it: one poll.
    std::unique_ptr<ConfiguredDevice> loggerDevice()
    {
        auto device = std::make_unique<ConfiguredDevice>(m_logger.deviceNumber, LINK_TCP);
        device->setConnection("Dock", "Temp", "Hum", m_logger.address, m_logger.port);
        device->setAlarmRange(0.0f, 50.0f, 0.0f, 100.0f);
        device->setBuzzerAlarm("OFF");
        device->requestData();
        if (!QTest::qWaitFor([&] { return device->isConnected(); }, 5000))
            qWarning() << "the simulated logger did not answer the poll";
        received();
        return device;
    }
    QString received() { return m_sim.command("received tcp0"); }
    // What reached the logger, after a moment for anything sent by mistake to arrive.
    QString receivedLater()
    {
        QTest::qWait(100);
        return received();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_sim.start({"--tcp", "1", "--tcp-base-port", "0"}));
        m_logger = m_sim.logger("tcp0");
        QVERIFY(m_logger.port != 0);
    }
    // Stopping the simulator ends and reaps its process, so no suite leaves one behind.
    void cleanupTestCase()
    {
        const qint64 pid = m_sim.processId();
        QCOMPARE(::kill(pid_t(pid), 0), 0);
        m_sim.stop();
        QCOMPARE(::kill(pid_t(pid), 0), -1);
    }

    // Names, units and ranges apply at once, once every name is given and no minimum is above
    // its maximum; the custom unit is edited in place, up to eleven characters.
    void aUsbLoggerTakesNamesUnitsAndRangesAtOnce()
    {
        ConfiguredDevice device("KX0001", LINK_SERIAL);
        device.setConnection("Freezer", "Temp", "Hum", "/dev/ttyACM0", 23);
        device.setUnits(4, 3);
        device.setCh1Custom("bar");
        device.setAlarmRange(-30.0f, -10.0f, 10.0f, 90.0f);
        device.deviceConnected();
        QPointer<SensingOptionUsbDialog> dialog = new SensingOptionUsbDialog(&device);
        QSignalSpy confirmed(dialog.data(), &SensingOptionUsbDialog::sensingConfirm);
        QCOMPARE(child<QLabel>(dialog, "label_serialnumber")->text(), QStringLiteral("KX0001"));
        auto *unit1 = child<QComboBox>(dialog, "comboBox_unit_ch1");
        auto *unit2 = child<QComboBox>(dialog, "comboBox_unit_ch2");
        QCOMPARE(unit2->currentIndex(), 3);
        QCOMPARE(unit1->currentText(), QStringLiteral("bar"));
        unit1->lineEdit()->selectAll();
        QTest::keyClicks(unit1->lineEdit(), "abcdefghijklmno");
        QCOMPARE(unit1->currentText(), QStringLiteral("abcdefghijk"));
        unit1->setCurrentIndex(0);
        QVERIFY(!unit1->isEditable());
        unit2->setCurrentIndex(4);
        unit2->lineEdit()->selectAll();
        QTest::keyClicks(unit2->lineEdit(), "kPa");

        const char *names[] = {"lineEdit_devicename", "lineEdit_ch1name", "lineEdit_ch2name"};
        for (const char *name : names)
            child<QLineEdit>(dialog, name)->clear();
        const QStringList which = {"Device", "Channel-1", "Channel-2"};
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(confirm(dialog, {1, 2, 3, 4}),
                     (QList<ShownMessage>{{"INFORMATION", "Enter the " + which[i] + " Name."}}));
            child<QLineEdit>(dialog, names[i])->setText("Chiller");
        }
        QCOMPARE(confirm(dialog, {0, 50, 90.5, 90.25}),
                 (QList<ShownMessage>{
                     {"ERROR", "The Channel-2 minimum is above its maximum.\nPlease retry."}}));
        QCOMPARE(confirmed.count(), 0);
        QCOMPARE(device.deviceName(), QStringLiteral("Freezer"));
        QVERIFY(confirm(dialog, {-25.5, -5, 80, 120.25}).isEmpty());
        QCOMPARE(confirmed.count(), 1);
        QCOMPARE(device.deviceName() + device.ch2Name(), QStringLiteral("ChillerChiller"));
        QCOMPARE(device.deviceInterface(), QStringLiteral("/dev/ttyACM0"));
        QCOMPARE(device.ch1Unit(), 0);
        QCOMPARE(device.ch1Custom(), QString());
        QCOMPARE(device.ch2Unit(), 4);
        QCOMPARE(device.ch2Custom(), QStringLiteral("kPa"));
        QCOMPARE(committed(device), (Limits{-25.5f, -5.0f, 80.0f, 120.25f}));
        QTRY_VERIFY(dialog.isNull());

        // Without a connection the ranges stay as they are.
        device.deviceDisconnected();
        dialog = new SensingOptionUsbDialog(&device);
        QCOMPARE(editableRanges(dialog), 0);
        child<QComboBox>(dialog, "comboBox_unit_ch1")->setCurrentIndex(2);
        QVERIFY(confirm(dialog).isEmpty());
        QCOMPARE(device.ch1Unit(), 2);
        QCOMPARE(committed(device), (Limits{-25.5f, -5.0f, 80.0f, 120.25f}));
    }

    // A refused setup keeps the dialog open, and its time-out still follows; changed limits
    // are sent in order and adopted only after the last "OK"; the time-out of the closed
    // dialog then leaves the next exchange alone.
    void changedLimitsGoToTheLoggerBeforeTheyAreAdopted()
    {
        auto device = loggerDevice();
        Limits atSuccess;
        connect(device.get(), &ConfiguredDevice::buzzerSyncSuccess, this,
                [&] { atSuccess = committed(*device); });
        QPointer<SensingOptionTelnetDialog> dialog = new SensingOptionTelnetDialog(device.get());
        dialog->setSyncTimeout(500);
        QSignalSpy confirmed(dialog.data(), &SensingOptionTelnetDialog::sensingConfirm);
        auto *buzzer = child<QComboBox>(dialog, "comboBox_buzzeralarm");
        QCOMPARE(buzzer->currentText(), QStringLiteral("OFF"));
        QCOMPARE(child<QLabel>(dialog, "label_macaddr")->text(), m_logger.deviceNumber);

        child<QLineEdit>(dialog, "lineEdit_devicename")->setText("Renamed");
        QCOMPARE(confirm(dialog, {30, 20, 0, 100}),
                 (QList<ShownMessage>{
                     {"ERROR", "The Channel-1 minimum is above its maximum.\nPlease retry."}}));
        QCOMPARE(device->deviceName(), QStringLiteral("Dock"));
        QCOMPARE(receivedLater(), QStringLiteral("ok "));

        m_sim.command("fault tcp0 notok");
        const ShownMessage failed{"ERROR", "Device Setup Failed.\nPlease retry."};
        confirm(dialog, {1, 2, 3, 4});
        QTRY_COMPARE(shownMessages(dialog), QList<ShownMessage>{failed});
        QVERIFY(editing(dialog, *device));
        QTRY_COMPARE(shownMessages(dialog), (QList<ShownMessage>{failed, TIMED_OUT}));

        m_sim.command("fault tcp0 none");
        received();
        buzzer->setCurrentText("OR");
        confirm(dialog, {20, 30, -10, 85.5});
        auto *button = child<QPushButton>(dialog, "pushButton_confirm");
        QCOMPARE(button->text(), QStringLiteral("Progressing..."));
        QVERIFY(!button->isEnabled());
        QCOMPARE(editableRanges(dialog), 0);
        QCOMPARE(committed(*device), LIMITS);
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(atSuccess, LIMITS);
        QCOMPARE(committed(*device), (Limits{20.0f, 30.0f, -10.0f, 85.5f}));
        QCOMPARE(device->buzzerAlarm(), QStringLiteral("OR"));
        QCOMPARE(device->deviceName(), QStringLiteral("Renamed"));
        QCOMPARE(confirmed.count(), 3);
        QCOMPARE(received(), QStringLiteral("ok ATBMIN1 20.00|ATBMAX1 30.00|ATBMIN2 -10.00|"
                                            "ATBMAX2 85.50|ATBAL OR|ATBSET"));

        m_sim.command("fault tcp0 noanswer");
        device->setPendingAlarmRange(1, 2, 3, 4);
        device->startSyncTelnet();
        QTest::qWait(700);
        QVERIFY(device->syncState() != ConfiguredDevice::STATE_IDLE);
        device->stopSyncTelnet();
        m_sim.command("fault tcp0 none");
    }

    // An unknown stored buzzer setting selects no item, and the logger keeps it.
    void unchangedLimitsAndBuzzerCloseWithoutTalkingToTheLogger()
    {
        auto device = loggerDevice();
        device->setBuzzerAlarm("LOUD");
        QPointer<SensingOptionTelnetDialog> dialog = new SensingOptionTelnetDialog(device.get());
        QCOMPARE(child<QComboBox>(dialog, "comboBox_buzzeralarm")->currentIndex(), -1);
        child<QLineEdit>(dialog, "lineEdit_devicename")->setText("Dock North");
        QVERIFY(confirm(dialog).isEmpty());
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(device->deviceName(), QStringLiteral("Dock North"));
        QCOMPARE(device->devicePort(), m_logger.port);
        QCOMPARE(device->buzzerAlarm(), QStringLiteral("LOUD"));
        QCOMPARE(receivedLater(), QStringLiteral("ok "));
    }

    // A silent logger times out after two seconds and its late "OK" is ignored; a lost
    // connection returns to editing with nothing staged; a disconnected logger takes names and
    // units without traffic.
    void aLoggerThatStopsAnsweringIsToldAboutAndNothingIsAdopted()
    {
        auto device = loggerDevice();
        m_sim.command("fault tcp0 noanswer");
        QPointer<SensingOptionTelnetDialog> dialog = new SensingOptionTelnetDialog(device.get());
        QSignalSpy confirmed(dialog.data(), &SensingOptionTelnetDialog::sensingConfirm);
        QElapsedTimer clock;
        clock.start();
        confirm(dialog, {5, 6, 7, 8});
        QVERIFY(device->syncState() != ConfiguredDevice::STATE_IDLE);
        QTRY_VERIFY_WITH_TIMEOUT(shownMessages(dialog).contains(TIMED_OUT), 3000);
        QVERIFY2(clock.elapsed() >= 1900, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(device->syncState(), int(ConfiguredDevice::STATE_IDLE));
        QVERIFY(editing(dialog, *device));
        emit device->buzzerSyncSuccess();
        QCOMPARE(committed(*device), LIMITS);
        QCOMPARE(confirmed.count(), 1);

        m_sim.command("fault tcp0 none");
        QCOMPARE(m_sim.command("stop tcp0").left(2), QStringLiteral("ok"));
        for (int i = 0; i < 3 && device->isConnected(); ++i) {
            device->requestData();
            QTest::qWait(50);
        }
        QVERIFY(!device->isConnected());
        received();
        child<QComboBox>(dialog, "comboBox_buzzeralarm")->setCurrentText("CH2");
        QCOMPARE(confirm(dialog, {20, 30, -10, 85.5}),
                 (QList<ShownMessage>{{"ERROR", "Loss of network connection.\nPlease retry."}}));
        QVERIFY(editing(dialog, *device));
        QCOMPARE(device->pendingCh1Min(), 0.0f);
        QCOMPARE(device->pendingBuzzerAlarm(), QStringLiteral("OFF"));
        delete dialog;

        dialog = new SensingOptionTelnetDialog(device.get());
        QCOMPARE(editableRanges(dialog), 0);
        QVERIFY(!child<QComboBox>(dialog, "comboBox_buzzeralarm")->isEnabled());
        child<QComboBox>(dialog, "comboBox_unit_ch2")->setCurrentIndex(3);
        QVERIFY(confirm(dialog).isEmpty());
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(device->ch2Unit(), 3);
        QCOMPARE(m_sim.command("start tcp0").left(2), QStringLiteral("ok"));
        QCOMPARE(receivedLater(), QStringLiteral("ok "));
    }
};

QTEST_MAIN(SensingOptionTest)
#include "tst_sensingoption.moc"
