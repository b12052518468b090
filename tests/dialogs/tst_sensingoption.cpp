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
const Limits LOGGER_LIMITS{0.0f, 50.0f, 0.0f, 100.0f};
const Limits USB_LIMITS{-30.0f, -10.0f, 10.0f, 90.0f};
const ShownMessage TIMED_OUT{"ERROR", "This command has exceeded the time limit.\nPlease retry."};

Limits committedLimits(const ConfiguredDevice &device)
{
    float limits[4];
    device.alarmRange(limits);
    return {limits[0], limits[1], limits[2], limits[3]};
}

const char *const RANGE_BOXES[] = {"doubleSpinBox_min_ch1", "doubleSpinBox_max_ch1",
                                   "doubleSpinBox_min_ch2", "doubleSpinBox_max_ch2"};

void setRanges(const QObject *dialog, const QList<double> &values)
{
    for (int i = 0; i < 4; ++i)
        child<QDoubleSpinBox>(dialog, RANGE_BOXES[i])->setValue(values.at(i));
}

int editableRanges(const QObject *dialog)
{
    int count = 0;
    for (const char *name : RANGE_BOXES)
        count += child<QDoubleSpinBox>(dialog, name)->isEnabled() ? 1 : 0;
    return count;
}

void clickConfirm(const QObject *dialog)
{
    QTest::mouseClick(child<QPushButton>(dialog, "pushButton_confirm"), Qt::LeftButton);
}

// The dialog is back to editing: button, limits and the logger's own values as they were.
bool backToEditing(const QObject *dialog, const ConfiguredDevice &device)
{
    const auto *button = child<QPushButton>(dialog, "pushButton_confirm");
    return button->text() == QStringLiteral("Confirm") && button->isEnabled() &&
           editableRanges(dialog) == 4 && committedLimits(device) == LOGGER_LIMITS;
}

std::unique_ptr<ConfiguredDevice> usbDevice(bool connected)
{
    auto device = std::make_unique<ConfiguredDevice>("KX0001", LINK_SERIAL);
    device->setConnection("Freezer", "Temp", "Hum", "/dev/ttyACM0", 23);
    device->setUnits(1, 3);
    device->setAlarmRange(-30.0f, -10.0f, 10.0f, 90.0f);
    if (connected)
        device->deviceConnected();
    return device;
}
} // namespace

class SensingOptionTest : public QObject
{
    Q_OBJECT

private:
    SimProcess m_sim;
    SimProcess::Logger m_logger;

    // A network logger on the simulator, connected the way the program connects it: one poll.
    std::unique_ptr<ConfiguredDevice> loggerDevice(bool connect = true)
    {
        auto device = std::make_unique<ConfiguredDevice>(m_logger.deviceNumber, LINK_TCP);
        device->setConnection("Dock", "Temp", "Hum", m_logger.address, m_logger.port);
        device->setUnits(1, 3);
        device->setAlarmRange(0.0f, 50.0f, 0.0f, 100.0f);
        device->setBuzzerAlarm("OFF");
        if (connect) {
            device->requestData();
            if (!QTest::qWaitFor([&] { return device->isConnected(); }, 5000))
                qWarning() << "the simulated logger did not answer the poll";
        }
        received();
        return device;
    }
    QPointer<SensingOptionTelnetDialog> openOn(ConfiguredDevice *device, int timeoutMs = 500)
    {
        auto *dialog = new SensingOptionTelnetDialog(device);
        dialog->setSyncTimeout(timeoutMs);
        return dialog;
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
    void init()
    {
        QCOMPARE(m_sim.command("fault tcp0 none").left(2), QStringLiteral("ok"));
        m_sim.command("auto tcp0");
    }

    void usbDialogShowsAndAppliesNamesUnitsAndRangesAtOnce()
    {
        auto device = usbDevice(true);
        device->setCh1Unit(4);
        device->setCh1Custom("bar");
        QPointer<SensingOptionUsbDialog> dialog = new SensingOptionUsbDialog(device.get());
        QSignalSpy confirmed(dialog.data(), &SensingOptionUsbDialog::sensingConfirm);
        QCOMPARE(child<QLabel>(dialog, "label_serialnumber")->text(), QStringLiteral("KX0001"));
        QCOMPARE(child<QLineEdit>(dialog, "lineEdit_ch2name")->text(), QStringLiteral("Hum"));
        auto *unit1 = child<QComboBox>(dialog, "comboBox_unit_ch1");
        auto *unit2 = child<QComboBox>(dialog, "comboBox_unit_ch2");
        QStringList texts;
        for (int i = 0; i < unit2->count(); ++i)
            texts.append(unit2->itemText(i));
        const QString degree(QChar(0x00B0));
        QCOMPARE(texts, (QStringList{"Undefined", "Temperature(" + degree + "C)",
                                     "Temperature(" + degree + "F)", "Humidity(%)", "Custom"}));
        QCOMPARE(unit2->currentIndex(), 3);
        QVERIFY(!unit2->isEditable());
        QCOMPARE(child<QDoubleSpinBox>(dialog, "doubleSpinBox_min_ch1")->value(), -30.0);
        QCOMPARE(editableRanges(dialog), 4);

        // The custom unit is edited in place, up to eleven characters.
        QVERIFY(unit1->isEditable());
        QCOMPARE(unit1->currentText(), QStringLiteral("bar"));
        unit1->lineEdit()->selectAll();
        QTest::keyClicks(unit1->lineEdit(), "abcdefghijklmno");
        QCOMPARE(unit1->currentText(), QStringLiteral("abcdefghijk"));
        unit1->setCurrentIndex(0);
        QVERIFY(!unit1->isEditable());
        unit2->setCurrentIndex(4);
        unit2->lineEdit()->selectAll();
        QTest::keyClicks(unit2->lineEdit(), "kPa");
        child<QLineEdit>(dialog, "lineEdit_devicename")->setText("Chiller");
        child<QLineEdit>(dialog, "lineEdit_ch2name")->setText("Pressure");
        setRanges(dialog, {-25.5, -5, 80, 120.25});
        clickConfirm(dialog);

        QCOMPARE(confirmed.count(), 1);
        QCOMPARE(device->deviceName(), QStringLiteral("Chiller"));
        QCOMPARE(device->ch1Name(), QStringLiteral("Temp"));
        QCOMPARE(device->ch2Name(), QStringLiteral("Pressure"));
        QCOMPARE(device->deviceInterface(), QStringLiteral("/dev/ttyACM0"));
        QCOMPARE(device->ch1Unit(), 0);
        QCOMPARE(device->ch1Custom(), QString());
        QCOMPARE(device->ch2Unit(), 4);
        QCOMPARE(device->ch2Custom(), QStringLiteral("kPa"));
        QCOMPARE(committedLimits(*device), (Limits{-25.5f, -5.0f, 80.0f, 120.25f}));
        QTRY_VERIFY(dialog.isNull());
    }

    void missingNamesAreAskedForInOrderAndADisconnectedUsbLoggerKeepsItsRanges()
    {
        auto device = usbDevice(true);
        SensingOptionUsbDialog dialog(device.get());
        QSignalSpy confirmed(&dialog, &SensingOptionUsbDialog::sensingConfirm);
        const char *fields[] = {"lineEdit_devicename", "lineEdit_ch1name", "lineEdit_ch2name"};
        for (const char *field : fields)
            child<QLineEdit>(&dialog, field)->clear();
        setRanges(&dialog, {1, 2, 3, 4});
        const QStringList expected = {"Enter the Device Name.", "Enter the Channel-1 Name.",
                                      "Enter the Channel-2 Name."};
        for (int i = 0; i < 3; ++i) {
            clickConfirm(&dialog);
            QCOMPARE(shownMessages(&dialog),
                     (QList<ShownMessage>{{"INFORMATION", expected.at(i)}}));
            closeMessages(&dialog);
            child<QLineEdit>(&dialog, fields[i])->setText("x");
        }
        QCOMPARE(confirmed.count(), 0);
        QCOMPARE(device->deviceName(), QStringLiteral("Freezer"));
        QCOMPARE(committedLimits(*device), USB_LIMITS);

        auto disconnected = usbDevice(false);
        auto *offline = new SensingOptionUsbDialog(disconnected.get());
        QCOMPARE(editableRanges(offline), 0);
        child<QLineEdit>(offline, "lineEdit_ch1name")->setText("Air");
        child<QComboBox>(offline, "comboBox_unit_ch1")->setCurrentIndex(2);
        clickConfirm(offline);
        QCOMPARE(disconnected->ch1Name(), QStringLiteral("Air"));
        QCOMPARE(disconnected->ch1Unit(), 2);
        QCOMPARE(committedLimits(*disconnected), USB_LIMITS);
    }

    // An unknown stored buzzer setting selects no item, and the logger keeps it.
    void unchangedLimitsAndBuzzerCloseWithoutTalkingToTheLogger()
    {
        auto device = loggerDevice();
        device->setBuzzerAlarm("LOUD");
        QPointer<SensingOptionTelnetDialog> dialog = openOn(device.get());
        QCOMPARE(child<QComboBox>(dialog, "comboBox_buzzeralarm")->currentIndex(), -1);
        QSignalSpy confirmed(dialog.data(), &SensingOptionTelnetDialog::sensingConfirm);
        child<QLineEdit>(dialog, "lineEdit_devicename")->setText("Dock North");
        clickConfirm(dialog);
        QCOMPARE(confirmed.count(), 1);
        QCOMPARE(device->deviceName(), QStringLiteral("Dock North"));
        QCOMPARE(device->devicePort(), m_logger.port);
        QCOMPARE(device->buzzerAlarm(), QStringLiteral("LOUD"));
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(receivedLater(), QStringLiteral("ok "));
    }

    void changedLimitsAreSentInOrderAndAdoptedOnlyAfterTheLastOk()
    {
        auto device = loggerDevice();
        Limits limitsAtSuccess;
        connect(device.get(), &ConfiguredDevice::buzzerSyncSuccess, this,
                [&] { limitsAtSuccess = committedLimits(*device); });
        QPointer<SensingOptionTelnetDialog> dialog = openOn(device.get(), 3000);
        QSignalSpy confirmed(dialog.data(), &SensingOptionTelnetDialog::sensingConfirm);
        auto *buzzer = child<QComboBox>(dialog, "comboBox_buzzeralarm");
        QStringList texts;
        for (int i = 0; i < buzzer->count(); ++i)
            texts.append(buzzer->itemText(i));
        QCOMPARE(texts, (QStringList{"OFF", "CH1", "CH2", "OR", "AND"}));
        QCOMPARE(buzzer->currentText(), QStringLiteral("OFF"));
        QCOMPARE(child<QLabel>(dialog, "label_macaddr")->text(), m_logger.deviceNumber);
        setRanges(dialog, {20, 30, -10, 85.5});
        buzzer->setCurrentText("OR");
        clickConfirm(dialog);

        QCOMPARE(confirmed.count(), 1);
        auto *button = child<QPushButton>(dialog, "pushButton_confirm");
        QCOMPARE(button->text(), QStringLiteral("Progressing..."));
        QVERIFY(!button->isEnabled());
        QVERIFY(!child<QLineEdit>(dialog, "lineEdit_devicename")->isEnabled());
        QCOMPARE(editableRanges(dialog), 0);
        QCOMPARE(committedLimits(*device), LOGGER_LIMITS);

        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(limitsAtSuccess, LOGGER_LIMITS);
        QCOMPARE(committedLimits(*device), (Limits{20.0f, 30.0f, -10.0f, 85.5f}));
        QCOMPARE(device->buzzerAlarm(), QStringLiteral("OR"));
        QCOMPARE(confirmed.count(), 2);
        QCOMPARE(received(), QStringLiteral("ok ATBMIN1 20.00|ATBMAX1 30.00|ATBMIN2 -10.00|"
                                            "ATBMAX2 85.50|ATBAL OR|ATBSET"));
    }

    // The exchange's time-out still runs out after the refusal, while the dialog stays open.
    void aRefusedSetupKeepsTheDialogOpenForAnotherTry()
    {
        auto device = loggerDevice();
        m_sim.command("fault tcp0 notok");
        QPointer<SensingOptionTelnetDialog> dialog = openOn(device.get(), 500);
        setRanges(dialog, {1, 2, 3, 4});
        clickConfirm(dialog);
        const ShownMessage failed{"ERROR", "Device Setup Failed.\nPlease retry."};
        QTRY_COMPARE(shownMessages(dialog), QList<ShownMessage>{failed});
        QVERIFY(backToEditing(dialog, *device));
        QTRY_COMPARE(shownMessages(dialog), (QList<ShownMessage>{failed, TIMED_OUT}));
        delete dialog;
    }

    void aSilentLoggerTimesOutAfterTwoSecondsAndALateSuccessIsIgnored()
    {
        auto device = loggerDevice();
        m_sim.command("fault tcp0 noanswer");
        QPointer<SensingOptionTelnetDialog> dialog = new SensingOptionTelnetDialog(device.get());
        QSignalSpy confirmed(dialog.data(), &SensingOptionTelnetDialog::sensingConfirm);
        setRanges(dialog, {5, 6, 7, 8});
        QElapsedTimer clock;
        clock.start();
        clickConfirm(dialog);
        QVERIFY(device->syncState() != ConfiguredDevice::STATE_IDLE);

        QTRY_VERIFY_WITH_TIMEOUT(shownMessages(dialog).contains(TIMED_OUT), 3000);
        QVERIFY2(clock.elapsed() >= 1900, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(device->syncState(), int(ConfiguredDevice::STATE_IDLE));
        QVERIFY(backToEditing(dialog, *device));

        emit device->buzzerSyncSuccess();
        QCOMPARE(committedLimits(*device), LOGGER_LIMITS);
        QCOMPARE(confirmed.count(), 1);
        QVERIFY(!dialog.isNull());
        delete dialog;
    }

    void theTimeOutOfAClosedDialogLeavesTheNextExchangeAlone()
    {
        auto device = loggerDevice();
        QPointer<SensingOptionTelnetDialog> dialog = openOn(device.get(), 700);
        setRanges(dialog, {11, 12, 13, 14});
        clickConfirm(dialog);
        QTRY_VERIFY(dialog.isNull());

        m_sim.command("fault tcp0 noanswer");
        device->setPendingAlarmRange(1, 2, 3, 4);
        device->startSyncTelnet();
        QTest::qWait(1000);
        QVERIFY(device->syncState() != ConfiguredDevice::STATE_IDLE);
        device->stopSyncTelnet();
    }

    void aLostConnectionReturnsToEditingWithNothingStaged()
    {
        auto device = loggerDevice();
        QPointer<SensingOptionTelnetDialog> dialog = openOn(device.get());
        QCOMPARE(m_sim.command("stop tcp0").left(2), QStringLiteral("ok"));
        for (int i = 0; i < 3 && device->isConnected(); ++i) {
            device->requestData();
            QTest::qWait(50);
        }
        QVERIFY(!device->isConnected());
        received();

        setRanges(dialog, {20, 30, -10, 85.5});
        child<QComboBox>(dialog, "comboBox_buzzeralarm")->setCurrentText("CH2");
        clickConfirm(dialog);
        const ShownMessage lost{"ERROR", "Loss of network connection.\nPlease retry."};
        QCOMPARE(shownMessages(dialog), QList<ShownMessage>{lost});
        QVERIFY(backToEditing(dialog, *device));
        QCOMPARE(device->pendingCh1Min(), 0.0f);
        QCOMPARE(device->pendingCh2Max(), 100.0f);
        QCOMPARE(device->pendingBuzzerAlarm(), QStringLiteral("OFF"));
        QCOMPARE(received(), QStringLiteral("ok "));
        delete dialog;
        QCOMPARE(m_sim.command("start tcp0").left(2), QStringLiteral("ok"));
    }

    void aMinimumAboveItsMaximumIsRefusedAndNothingIsSent_data()
    {
        QTest::addColumn<bool>("network");
        QTest::addColumn<QList<double>>("ranges");
        QTest::addColumn<QString>("message");
        const QList<double> ch1 = {30, 20, 0, 100};
        const QList<double> ch2 = {0, 50, 90.5, 90.25};
        const QString one = "The Channel-1 minimum is above its maximum.\nPlease retry.";
        const QString two = "The Channel-2 minimum is above its maximum.\nPlease retry.";
        QTest::newRow("network, channel 1") << true << ch1 << one;
        QTest::newRow("network, channel 2") << true << ch2 << two;
        QTest::newRow("usb, channel 2") << false << ch2 << two;
    }

    void aMinimumAboveItsMaximumIsRefusedAndNothingIsSent()
    {
        QFETCH(bool, network);
        QFETCH(QList<double>, ranges);
        QFETCH(QString, message);
        auto device = network ? loggerDevice() : usbDevice(true);
        const Limits before = committedLimits(*device);
        std::unique_ptr<QDialog> dialog;
        if (network)
            dialog.reset(new SensingOptionTelnetDialog(device.get()));
        else
            dialog.reset(new SensingOptionUsbDialog(device.get()));
        QSignalSpy confirmed(dialog.get(), SIGNAL(sensingConfirm()));
        child<QLineEdit>(dialog.get(), "lineEdit_devicename")->setText("Renamed");
        setRanges(dialog.get(), ranges);
        clickConfirm(dialog.get());
        QCOMPARE(shownMessages(dialog.get()), (QList<ShownMessage>{{"ERROR", message}}));
        QCOMPARE(confirmed.count(), 0);
        QCOMPARE(committedLimits(*device), before);
        QVERIFY(device->deviceName() != QStringLiteral("Renamed"));
        QCOMPARE(device->syncState(), int(ConfiguredDevice::STATE_IDLE));
        QCOMPARE(receivedLater(), QStringLiteral("ok "));
        closeMessages(dialog.get());
    }

    void aDisconnectedNetworkLoggerTakesNamesAndUnitsWithoutTraffic()
    {
        auto device = loggerDevice(false);
        QPointer<SensingOptionTelnetDialog> dialog = openOn(device.get());
        QCOMPARE(editableRanges(dialog), 0);
        QVERIFY(!child<QComboBox>(dialog, "comboBox_buzzeralarm")->isEnabled());
        child<QLineEdit>(dialog, "lineEdit_ch2name")->setText("RH");
        child<QComboBox>(dialog, "comboBox_unit_ch2")->setCurrentIndex(3);
        clickConfirm(dialog);
        QTRY_VERIFY(dialog.isNull());
        QCOMPARE(device->ch2Name(), QStringLiteral("RH"));
        QCOMPARE(device->ch2Unit(), 3);
        QCOMPARE(receivedLater(), QStringLiteral("ok "));
    }
};

QTEST_MAIN(SensingOptionTest)
#include "tst_sensingoption.moc"
